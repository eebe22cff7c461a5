// Opening the game server library and resolving entries by export, symbol table and
// signature.
#include "sigscan/SigScanResolver.h"

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "engine/EngineInterfaces.h"
#include "engine/PlatformFiles.h"

void* g_BaseAddr = nullptr;

void* OpenGameLibrary(SigScanFailure* failure) {
    char gameDir[512] = "";
    if (engine) engine->GetGameDir(gameDir, sizeof(gameDir));
    gameDir[sizeof(gameDir) - 1] = '\0';

    char path[512];
    const int needed = snprintf(path, sizeof(path), "%s/%s", gameDir, kGameServerLibrary);
    g_BaseAddr = nullptr;
    if (needed < 0 || needed >= static_cast<int>(sizeof(path))) {
        if (failure) {
            *failure = SigScanFailure{SIGSCAN_GAME_DIR_TOO_LONG};
            failure->count = needed < 0 ? 0 : static_cast<size_t>(needed);
        }
        return nullptr;
    }
    g_BaseAddr = dlopen(path, RTLD_NOW);
    if (!g_BaseAddr && failure) {
        *failure = SigScanFailure{SIGSCAN_LIBRARY_NOT_OPENED};
        failure->detail = dlerror();
    }
    return g_BaseAddr;
}

void CloseGameLibrary() {
    if (g_BaseAddr) dlclose(g_BaseAddr);
    g_BaseAddr = nullptr;
}

void* FindExport(void* handle, const char* symbol, const char** loaderError) {
    if (loaderError) *loaderError = nullptr;
    if (!handle) return nullptr;
    dlerror();  // clear any stale error so the message is this lookup's
    void* address = dlsym(handle, symbol ? symbol : "");
    if (!address && loaderError) *loaderError = dlerror();
    return address;
}

const char* SigScanRouteName(SigScanRoute route) {
    switch (route) {
        case SIGSCAN_ROUTE_EXPORT: return "export";
        case SIGSCAN_ROUTE_SYMBOL_TABLE: return "symbol table";
        case SIGSCAN_ROUTE_SIGNATURE: return "signature";
        default: return "unknown";
    }
}

SigScanResolver::SigScanResolver(bool useFallbacks, ISigScanReport* report)
    : handle_(nullptr), useFallbacks_(useFallbacks), report_(report) {
    SigScanFailure failure{SIGSCAN_NO_BASE_ADDRESS};
    handle_ = OpenGameLibrary(&failure);
    if (!handle_) {
        Report(failure);
        Report(SigScanFailure{SIGSCAN_NO_BASE_ADDRESS});
        return;
    }
    if (useFallbacks_) ModuleOfHandle(handle_, &loadBase_, &path_);
}

SigScanResolver::~SigScanResolver() {
    delete scanner_;
    CloseGameLibrary();
}

void SigScanResolver::Report(const SigScanFailure& failure) {
    if (report_) report_->OnFailure(failure);
}

void* SigScanResolver::Resolve(const char* name, const char* symbol, const unsigned char* signature,
                               size_t signatureLength, const char* mask, size_t maskLength, SigScanRoute* route,
                               bool signatureIsHex) {
    if (!handle_) return nullptr;
    const char* loaderError = nullptr;
    if (void* address = FindExport(handle_, symbol, &loaderError)) {
        if (route) *route = SIGSCAN_ROUTE_EXPORT;
        return address;
    }
    // The fallbacks call the loader again, which may overwrite its message.
    char* exportError = loaderError ? strdup(loaderError) : nullptr;
    SigScanFailure symbolFailure{SIGSCAN_SYMBOLS_FILE_UNKNOWN};
    SigScanFailure signatureFailure{SIGSCAN_CODE_NOT_FOUND};
    bool symbolTried = false;
    bool signatureTried = false;
    void* address = nullptr;
    if (useFallbacks_ && symbol && *symbol) {
        symbolTried = true;
        address = FromSymbolTable(symbol, &symbolFailure);
        if (address && route) *route = SIGSCAN_ROUTE_SYMBOL_TABLE;
    }
    if (!address && useFallbacks_ && signature && signatureLength > 0 && mask && maskLength > 0) {
        signatureTried = true;
        if (signatureIsHex) {
            address = FromSignature(signature, signatureLength, mask, maskLength, &signatureFailure);
        } else {
            signatureFailure.reason = SIGSCAN_SIGNATURE_NOT_HEX;
        }
        if (address && route) *route = SIGSCAN_ROUTE_SIGNATURE;
    }
    if (!address) {
        // Reasons are reported only when every route failed: an entry found by its
        // signature after its symbol vanished is not an error.
        if (symbolTried) {
            symbolFailure.entry = name;
            Report(symbolFailure);
        }
        if (signatureTried) {
            signatureFailure.entry = name;
            Report(signatureFailure);
        }
        SigScanFailure missing{SIGSCAN_EXPORT_MISSING};
        missing.entry = name;
        missing.detail = exportError;
        Report(missing);
    }
    free(exportError);
    return address;
}

void* SigScanResolver::FromSymbolTable(const char* symbol, SigScanFailure* failure) {
    if (!symbolsRead_) {
        symbolsRead_ = true;
        symbolsOpen_ = path_ && symbols_.Open(path_);
    }
    if (!symbolsOpen_) {
        failure->reason = path_ ? SIGSCAN_SYMBOLS_UNUSABLE : SIGSCAN_SYMBOLS_FILE_UNKNOWN;
        failure->detail = symbols_.Error();
        return nullptr;
    }
    uintptr_t value = 0;
    if (!symbols_.Find(symbol, &value)) {
        failure->reason = SIGSCAN_SYMBOL_NOT_IN_TABLE;
        failure->symbol = symbol;
        return nullptr;
    }
    // The file on disk may not be the one that was mapped (replaced since): an address
    // outside the library's own segments is never handed out.
    const uintptr_t address = loadBase_ + value;
    if (value == 0 || !ModuleContains(loadBase_, path_, address)) {
        failure->reason = SIGSCAN_SYMBOL_OUTSIDE_LIBRARY;
        return nullptr;
    }
    return reinterpret_cast<void*>(address);
}

void* SigScanResolver::FromSignature(const unsigned char* signature, size_t signatureLength, const char* mask,
                                     size_t maskLength, SigScanFailure* failure) {
    if (maskLength > signatureLength) {
        failure->reason = SIGSCAN_MASK_LONGER_THAN_SIGNATURE;
        failure->count = maskLength;
        failure->limit = signatureLength;
        return nullptr;
    }
    if (!codeRead_) {
        codeRead_ = true;
        CodeRange ranges[SignatureScanner::kMaxRanges];
        const int count = path_ ? ModuleCodeRanges(loadBase_, path_, ranges, SignatureScanner::kMaxRanges) : 0;
        if (count > 0) scanner_ = new SignatureScanner(ranges, count);
    }
    if (!scanner_) {
        failure->reason = SIGSCAN_CODE_NOT_FOUND;
        return nullptr;
    }
    const unsigned char* first = nullptr;
    bool refused = false;
    const size_t matches = scanner_->Count(signature, mask, maskLength, &first, &refused);
    if (refused) {
        failure->reason = SIGSCAN_MASK_FIXES_NO_BYTE;
        return nullptr;
    }
    if (matches != 1) {
        failure->reason = SIGSCAN_SIGNATURE_NOT_UNIQUE;
        failure->count = matches;
        return nullptr;
    }
    return const_cast<unsigned char*>(first);
}
