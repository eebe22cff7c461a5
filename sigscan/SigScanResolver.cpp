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
    SigScanEntry entry;
    entry.name = name;
    entry.symbol = symbol;
    entry.signature = signature;
    entry.signatureLength = signatureLength;
    entry.mask = mask;
    entry.maskLength = maskLength;
    entry.signatureIsHex = signatureIsHex;
    ResolveAll(&entry, 1);
    if (entry.address && route) *route = entry.route;
    return entry.address;
}

namespace {

// What the first pass of ResolveAll learnt about an entry whose export is missing.
struct Unresolved {
    char* exportError = nullptr;  // the loader's message, copied: later loader calls overwrite it
    bool symbolTried = false;
    bool signatureTried = false;
    size_t query = 0;  // its signature's place in the scan, when `scanned`
    bool scanned = false;
    SigScanFailure symbolFailure{SIGSCAN_SYMBOLS_FILE_UNKNOWN};
    SigScanFailure signatureFailure{SIGSCAN_CODE_NOT_FOUND};
};

}  // namespace

void SigScanResolver::ResolveAll(SigScanEntry* entries, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        entries[i].address = nullptr;
        entries[i].route = SIGSCAN_ROUTE_NONE;
    }
    if (!handle_ || count == 0) return;

    // First pass: the export, then the symbol table, of every entry; the signatures still
    // needed are collected, and failures kept for the reports.
    Unresolved* unresolved = new Unresolved[count];
    SignatureQuery* queries = new SignatureQuery[count];
    size_t queryCount = 0;
    for (size_t i = 0; i < count; ++i) {
        SigScanEntry& entry = entries[i];
        const char* loaderError = nullptr;
        if (void* address = FindExport(handle_, entry.symbol, &loaderError)) {
            entry.address = address;
            entry.route = SIGSCAN_ROUTE_EXPORT;
            continue;
        }
        Unresolved& u = unresolved[i];
        u.exportError = loaderError ? strdup(loaderError) : nullptr;
        if (useFallbacks_ && entry.symbol && *entry.symbol) {
            u.symbolTried = true;
            entry.address = FromSymbolTable(entry.symbol, &u.symbolFailure);
            if (entry.address) {
                entry.route = SIGSCAN_ROUTE_SYMBOL_TABLE;
                continue;
            }
        }
        if (useFallbacks_ && entry.signature && entry.signatureLength > 0 && entry.mask && entry.maskLength > 0) {
            u.signatureTried = true;
            if (!entry.signatureIsHex) {
                u.signatureFailure.reason = SIGSCAN_SIGNATURE_NOT_HEX;
            } else if (entry.maskLength > entry.signatureLength) {
                u.signatureFailure.reason = SIGSCAN_MASK_LONGER_THAN_SIGNATURE;
                u.signatureFailure.count = entry.maskLength;
                u.signatureFailure.limit = entry.signatureLength;
            } else {
                u.scanned = true;
                u.query = queryCount;
                queries[queryCount++] = SignatureQuery{entry.signature, entry.mask, entry.maskLength};
            }
        }
    }

    // One scan of the code for every signature still needed (the code is read only then).
    SignatureMatches* matches = nullptr;
    SignatureScanner* scanner = queryCount > 0 ? CodeScanner() : nullptr;
    if (scanner) {
        matches = new SignatureMatches[queryCount];
        scanner->Scan(queries, queryCount, matches);
    }

    // Second pass, in entry order: the signatures' verdicts, then every failed entry's
    // reports. An entry found by its signature after its symbol vanished is not an error.
    for (size_t i = 0; i < count; ++i) {
        SigScanEntry& entry = entries[i];
        Unresolved& u = unresolved[i];
        if (entry.route == SIGSCAN_ROUTE_EXPORT) continue;
        if (u.scanned && matches) {
            const SignatureMatches& found = matches[u.query];
            if (found.refused) {
                u.signatureFailure.reason = SIGSCAN_MASK_FIXES_NO_BYTE;
            } else if (found.count != 1) {
                u.signatureFailure.reason = SIGSCAN_SIGNATURE_NOT_UNIQUE;
                u.signatureFailure.count = found.count;
            } else {
                entry.address = const_cast<unsigned char*>(found.first);
                entry.route = SIGSCAN_ROUTE_SIGNATURE;
            }
        }
        if (!entry.address) {
            if (u.symbolTried) {
                u.symbolFailure.entry = entry.name;
                Report(u.symbolFailure);
            }
            if (u.signatureTried) {
                u.signatureFailure.entry = entry.name;
                Report(u.signatureFailure);
            }
            SigScanFailure missing{SIGSCAN_EXPORT_MISSING};
            missing.entry = entry.name;
            missing.detail = u.exportError;
            Report(missing);
        }
        free(u.exportError);
    }
    delete[] matches;
    delete[] queries;
    delete[] unresolved;
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

SignatureScanner* SigScanResolver::CodeScanner() {
    if (!codeRead_) {
        codeRead_ = true;
        CodeRange ranges[SignatureScanner::kMaxRanges];
        const int count = path_ ? ModuleCodeRanges(loadBase_, path_, ranges, SignatureScanner::kMaxRanges) : 0;
        if (count > 0) scanner_ = new SignatureScanner(ranges, count);
    }
    return scanner_;
}
