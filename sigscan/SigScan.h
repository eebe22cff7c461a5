// The resolver object other server code knows: opens the game server library, looks
// symbols up by name, and prints its own "SigScan ERROR: " lines (the texts of
// SigScanFailure.h). The function table is built through SigScanResolver instead, which
// reports failures as values and adds the fallbacks; both share the open and the one
// export lookup, so they cannot disagree.
#pragma once

#include "sigscan/SigScanResolver.h"

class SigScan {
public:
    // Opens the library (GetBaseAddress). On failure prints a second line,
    // "SigScan ERROR: There was a error getting base address", and sets `failed`.
    SigScan();

    // Opens "<game dir>/bin/server_i486.so" into g_BaseAddr (OpenGameLibrary). On
    // failure prints one "SigScan ERROR: " line with the reason and returns false.
    bool GetBaseAddress();

    // The address of `symbol` in the open library, or null. `name` (the table entry's
    // name) is used only in the error line printed when the symbol is missing, where it
    // and the loader's text are escaped. Null without a message when the library is not
    // open.
    void* FindSymbolAddress(const char* name, const char* symbol);

    // Resolution by symbol name: the signature bytes, mask and mask length are accepted
    // for the table's sake and do not take part. Null, silently, when the open failed.
    // The three s are the operation's established name, kept as other code knows it.
    void* FindFunctionAddresss(const char* name, unsigned char* sigBytes, const char* mask, unsigned int maskLength,
                               const char* symbol);

    // Closes the library if open; g_BaseAddr is null afterwards in every case.
    void Dispose();

    bool failed;
};
