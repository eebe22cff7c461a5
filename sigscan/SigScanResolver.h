// Finding game functions in the game's server library ("<game dir>/bin/server_i486.so"):
// by the symbol the library exports, and, when the operator turned the fallbacks on, by
// the library file's full symbol table and then by a masked byte signature in its code.
// The library is opened a second time through the dynamic loader for the duration of a
// resolution only; the engine keeps its own handle, so resolved addresses stay valid
// after it is closed again. Failures are reported as values (SigScanFailure.h).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "sigscan/ElfSymbols.h"
#include "sigscan/SigScanFailure.h"
#include "sigscan/SignatureScanner.h"
#include "tier0/platform.h"

// The loader handle of the game server library while a resolution holds it open, null
// otherwise. Despite the name it is a handle, not a load address: the name is exported
// and other server code links against it, so it stays.
extern VL_EXPORT void* g_BaseAddr;

// Opens "<game dir>/bin/server_i486.so" (kGameServerLibrary: "bin/server_amd64.so" in
// the 64-bit build; the game directory from `engine`) into
// g_BaseAddr and returns it. On failure g_BaseAddr is null and *failure (when given)
// says why: the loader's message, or a game directory whose library path does not fit
// the 512-byte path buffer (refused rather than truncated: a truncated path could name a
// different file).
void* OpenGameLibrary(SigScanFailure* failure);
// Closes g_BaseAddr if open; it is null afterwards in every case.
void CloseGameLibrary();

// The address `symbol` (null reads as "") is exported under by the library behind
// `handle`, or null with the loader's message in *loaderError (when given; valid until
// the next loader call). The one export lookup of the system.
void* FindExport(void* handle, const char* symbol, const char** loaderError);

// How an entry was found.
enum SigScanRoute {
    SIGSCAN_ROUTE_NONE = -1,  // not recorded: the table was built from exports alone
    SIGSCAN_ROUTE_EXPORT,
    SIGSCAN_ROUTE_SYMBOL_TABLE,
    SIGSCAN_ROUTE_SIGNATURE,
};
// "export", "symbol table" or "signature" ("unknown" for any other value).
const char* SigScanRouteName(SigScanRoute route);

// One entry to resolve: what Resolve takes, and what ResolveAll finds for it. The texts
// and bytes stay the caller's.
struct SigScanEntry {
    const char* name = nullptr;
    const char* symbol = nullptr;
    const unsigned char* signature = nullptr;
    size_t signatureLength = 0;
    const char* mask = nullptr;
    size_t maskLength = 0;
    bool signatureIsHex = true;
    void* address = nullptr;                  // null when every route failed
    SigScanRoute route = SIGSCAN_ROUTE_NONE;  // how it was found, when it was
};

// One resolution pass: opens the library on construction and closes it on destruction.
// The library file and its code are examined only when an entry needs the fallbacks,
// and then once for the whole pass.
class SigScanResolver {
public:
    // `report` (may be null) receives every failure of the pass. When the library cannot
    // be opened it receives the reason and then SIGSCAN_NO_BASE_ADDRESS, and every
    // Resolve of the pass fails without a report.
    SigScanResolver(bool useFallbacks, ISigScanReport* report);
    ~SigScanResolver();
    SigScanResolver(const SigScanResolver&) = delete;
    SigScanResolver& operator=(const SigScanResolver&) = delete;

    bool LibraryOpened() const { return handle_ != nullptr; }

    // The address of entry `name`: its exported `symbol`; with the fallbacks, else the
    // symbol in the file's full symbol table (an empty symbol skips it), else the single
    // place where the first `maskLength` characters of `mask` match the signature's
    // bytes (`signatureLength` decoded bytes, zero bytes included; skipped without a
    // signature or a mask; refused with SIGSCAN_SIGNATURE_NOT_HEX when `signatureIsHex`
    // says the text it was decoded from is not hexadecimal digit pairs). Stores the route
    // in *route on success. When every route fails, reports one failure per fallback that
    // was tried (symbol table first), then SIGSCAN_EXPORT_MISSING, and returns null.
    void* Resolve(const char* name, const char* symbol, const unsigned char* signature, size_t signatureLength,
                  const char* mask, size_t maskLength, SigScanRoute* route, bool signatureIsHex = true);

    // Resolves entries[0 .. count) as Resolve would one after another: the same
    // addresses, routes and reports, in entry order. The signatures of every entry that
    // reaches its signature are searched with one scan of the code, after the exports
    // and symbol tables of all entries were looked up and before anything is reported.
    // Each entry's address and route are set (null and SIGSCAN_ROUTE_NONE when it fails).
    void ResolveAll(SigScanEntry* entries, size_t count);

private:
    // Fills *failure (reason and details) when it returns null.
    void* FromSymbolTable(const char* symbol, SigScanFailure* failure);
    // The scanner over the library's code, made on first use; null when the code
    // segments were not found.
    SignatureScanner* CodeScanner();
    void Report(const SigScanFailure& failure);

    void* handle_;
    bool useFallbacks_;
    ISigScanReport* report_;
    uintptr_t loadBase_ = 0;
    const char* path_ = nullptr;  // the loader's own copy, valid while the library is open
    bool symbolsRead_ = false;
    bool symbolsOpen_ = false;
    ElfSymbolTable symbols_;
    SignatureScanner* scanner_ = nullptr;
    bool codeRead_ = false;
};
