// The symbol-table and signature fallbacks of the resolution step.
#include "sigscan/SigScanFallback.h"

#include <dlfcn.h>
#include <link.h>
#include <stdint.h>
#include <stdio.h>

#include "tier0/commandline.h"
#include "tier0/dbg.h"
#include "tier1/ConsoleLine.h"

bool SigScanFallbackEnabled() {
    ICommandLine* commandLine = CommandLine_Tier0();
    return commandLine && commandLine->FindParm("-vl_sigscan_fallback") != 0;
}

const char* SigScanRouteName(int route) {
    switch (route) {
        case SIGSCAN_ROUTE_EXPORT: return "export";
        case SIGSCAN_ROUTE_SYMBOL_TABLE: return "symbol table";
        case SIGSCAN_ROUTE_SIGNATURE: return "signature";
        default: return "unknown";
    }
}

SigScanFallback::SigScanFallback(void* handle) : handle_(handle) {
    link_map* map = nullptr;
    if (handle_ && dlinfo(handle_, RTLD_DI_LINKMAP, &map) == 0 && map) {
        loadBase_ = map->l_addr;
        path_ = map->l_name;
    }
}

SigScanFallback::~SigScanFallback() { delete scanner_; }

namespace {

// "SigScan ERROR: <route> fallback failed for function "<name>": <why>["<symbol>"]". The
// name and symbol come from the data file: escaped, so they cannot forge lines.
void PrintFailure(const char* route, const char* name, const char* why, const char* symbol) {
    CConsoleLine line;
    line.Append("SigScan ERROR: ");
    line.Append(route);
    line.Append(" fallback failed for function \"");
    line.AppendEscaped(name, SIZE_MAX);
    line.Append("\": ");
    line.Append(why);
    if (symbol) {
        line.Append("\"");
        line.AppendEscaped(symbol, SIZE_MAX);
        line.Append("\"");
    }
    line.End();
}

}  // namespace

void* SigScanFallback::Find(const char* name, const char* symbol, const unsigned char* signature,
                            size_t signatureLength, const char* mask, size_t maskLength, int* route) {
    if (!handle_) return nullptr;
    symbolWhy_[0] = '\0';
    signatureWhy_[0] = '\0';
    missingSymbol_ = nullptr;
    if (symbol && *symbol) {
        dlerror();
        if (void* address = dlsym(handle_, symbol)) {
            if (route) *route = SIGSCAN_ROUTE_EXPORT;
            return address;
        }
        if (void* address = FromSymbolTable(symbol)) {
            if (route) *route = SIGSCAN_ROUTE_SYMBOL_TABLE;
            return address;
        }
    }
    if (signature && signatureLength > 0 && mask && maskLength > 0) {
        if (void* address = FromSignature(signature, signatureLength, mask, maskLength)) {
            if (route) *route = SIGSCAN_ROUTE_SIGNATURE;
            return address;
        }
    }
    // Reasons are printed only when every route failed: an entry found by its signature
    // after its symbol vanished is not an error.
    if (symbolWhy_[0]) PrintFailure("symbol table", name, symbolWhy_, missingSymbol_);
    if (signatureWhy_[0]) PrintFailure("signature", name, signatureWhy_, nullptr);
    return nullptr;
}

void* SigScanFallback::FromSymbolTable(const char* symbol) {
    if (!symbolsRead_) {
        symbolsRead_ = true;
        symbolsOpen_ = path_ && symbols_.Open(path_);
    }
    if (!symbolsOpen_) {
        snprintf(symbolWhy_, sizeof(symbolWhy_), "%s", path_ ? symbols_.Error() : "the library file is not known");
        return nullptr;
    }
    uint32_t value = 0;
    if (!symbols_.Find(symbol, &value)) {
        snprintf(symbolWhy_, sizeof(symbolWhy_), "no symbol ");
        missingSymbol_ = symbol;
        return nullptr;
    }
    // The file on disk may not be the one that was mapped (replaced since): an address
    // outside the library's own segments is never handed out.
    const uintptr_t address = loadBase_ + value;
    if (value == 0 || !ModuleContains(loadBase_, path_, address)) {
        snprintf(symbolWhy_, sizeof(symbolWhy_), "the symbol lies outside the loaded library");
        return nullptr;
    }
    return reinterpret_cast<void*>(address);
}

void* SigScanFallback::FromSignature(const unsigned char* signature, size_t signatureLength, const char* mask,
                                     size_t maskLength) {
    if (maskLength > signatureLength) {
        snprintf(signatureWhy_, sizeof(signatureWhy_), "the mask has %u characters but the signature only %u bytes",
                 static_cast<unsigned>(maskLength), static_cast<unsigned>(signatureLength));
        return nullptr;
    }
    if (!codeRead_) {
        codeRead_ = true;
        CodeRange ranges[SignatureScanner::kMaxRanges];
        const int count = path_ ? ModuleCodeRanges(loadBase_, path_, ranges, SignatureScanner::kMaxRanges) : 0;
        if (count > 0) scanner_ = new SignatureScanner(ranges, count);
    }
    if (!scanner_) {
        snprintf(signatureWhy_, sizeof(signatureWhy_), "the library's code was not found");
        return nullptr;
    }
    const unsigned char* first = nullptr;
    bool refused = false;
    const size_t matches = scanner_->Count(signature, mask, maskLength, &first, &refused);
    if (refused) {
        snprintf(signatureWhy_, sizeof(signatureWhy_), "the mask fixes no byte");
        return nullptr;
    }
    if (matches != 1) {
        snprintf(signatureWhy_, sizeof(signatureWhy_), "the signature matched %u places, it must match exactly one",
                 static_cast<unsigned>(matches));
        return nullptr;
    }
    return const_cast<unsigned char*>(first);
}
