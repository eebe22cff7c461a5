// Resolving game functions by symbol in the game's server library
// ("<game dir>/bin/server_i486.so"). The library is opened a second time through the dynamic loader
// for the duration of the resolution step only; the engine keeps its own handle, so the
// resolved addresses stay valid after Dispose.
#pragma once

#include "tier0/platform.h"

// The loader handle of the game server library while a SigScan holds it open, null
// otherwise. Despite the name it is a handle, not a load address: the name is exported
// and other server code links against it, so it stays.
extern VL_EXPORT void* g_BaseAddr;

class SigScan {
public:
    // Opens the library (GetBaseAddress). On failure prints a second line,
    // "SigScan ERROR: There was a error getting base address", and sets `failed`.
    SigScan();

    // Opens "<game dir>/bin/server_i486.so" into g_BaseAddr. On failure prints one
    // "SigScan ERROR: " line with the reason and returns false. A game directory whose
    // library path does not fit the 512-byte path buffer is refused rather than
    // truncated (a truncated path could name a different file).
    bool GetBaseAddress();

    // The address of `symbol` in the open library, or null. `name` (the table entry's
    // name) is used only in the error line printed when the symbol is missing, where it
    // and the loader's text are escaped as CConsoleLine does. Null without a message
    // when the library is not open.
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
