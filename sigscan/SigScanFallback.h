// The opt-in fallbacks for game functions the server library does not export. With
// "-vl_sigscan_fallback" on the process command line, an entry whose symbol is not among
// the library's exports is looked up in the full symbol table of the library file, and
// then, when the entry carries a signature and a mask, found by scanning the library's
// code for a place where the signature matches exactly once. Without the parameter none
// of this runs and the table is built from exports alone.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "sigscan/ElfSymbols.h"
#include "sigscan/SignatureScanner.h"

// Whether the operator asked for the fallbacks, read from the runtime's command line.
bool SigScanFallbackEnabled();

// How an entry was found.
enum SigScanRoute {
    SIGSCAN_ROUTE_EXPORT,
    SIGSCAN_ROUTE_SYMBOL_TABLE,
    SIGSCAN_ROUTE_SIGNATURE,
};
// "export", "symbol table" or "signature".
const char* SigScanRouteName(int route);

// One resolution pass over one open library. The library file and its code are examined
// only when an entry needs them, and then once for the whole pass.
class SigScanFallback {
public:
    // `handle`: the dynamic loader's handle of the open library (null: every Find fails).
    explicit SigScanFallback(void* handle);
    ~SigScanFallback();
    SigScanFallback(const SigScanFallback&) = delete;
    SigScanFallback& operator=(const SigScanFallback&) = delete;

    // The address of entry `name`: its exported `symbol`, else the symbol in the full
    // symbol table, else the single place where the first `maskLength` bytes of the
    // signature match under the mask. `signatureLength` is the number of decoded bytes
    // (zero bytes included). Prints nothing on success and stores the route in *route;
    // when every route fails, prints one "SigScan ERROR: " line per fallback that was
    // tried, with its reason, and returns null. An empty symbol skips the symbol routes.
    void* Find(const char* name, const char* symbol, const unsigned char* signature, size_t signatureLength,
               const char* mask, size_t maskLength, int* route);

private:
    // Each leaves its reason for failing in symbolWhy_ / signatureWhy_.
    void* FromSymbolTable(const char* symbol);
    void* FromSignature(const unsigned char* signature, size_t signatureLength, const char* mask, size_t maskLength);

    void* handle_;
    uintptr_t loadBase_ = 0;
    const char* path_ = nullptr;  // the loader's own copy, valid while the library is open
    bool symbolsRead_ = false;
    bool symbolsOpen_ = false;
    ElfSymbolTable symbols_;
    SignatureScanner* scanner_ = nullptr;
    bool codeRead_ = false;
    char symbolWhy_[160] = "";
    char signatureWhy_[160] = "";
    const char* missingSymbol_ = nullptr;  // the symbol the table lacks, for the message
};
