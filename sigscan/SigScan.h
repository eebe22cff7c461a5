// Resolving game functions by symbol in the game's server library
// ("<game dir>/bin/server_i486.so"), and decoding the hexadecimal signature texts of the
// signature data file. The library is opened a second time through the dynamic loader
// for the duration of the resolution step only; the engine keeps its own handle, so the
// resolved addresses stay valid after Dispose.
#pragma once

#include "tier0/platform.h"

// The loader handle of the game server library while a SigScan holds it open, null
// otherwise. Despite the name it is a handle, not a load address.
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
    // name) is used only in the error line printed when the symbol is missing. Null
    // without a message when the library is not open.
    void* FindSymbolAddress(const char* name, const char* symbol);

    // Resolution by symbol name: the signature bytes, mask and mask length are accepted
    // for the table's sake and do not take part. Null, silently, when the open failed.
    void* FindFunctionAddresss(const char* name, unsigned char* sigBytes, const char* mask, unsigned int maskLength,
                               const char* symbol);

    // Closes the library if open; g_BaseAddr is null afterwards in every case.
    void Dispose();

    bool failed;
};

// The value of two hexadecimal digit characters, high * 16 + low. Digits above '9' count
// as toupper(c) - 55 and all others as c - 48; nothing is validated, so non-digits give
// values outside 0..15 (StrToHexStr truncates the combination to a byte).
int H2toI(int high, int low);

// Decodes pairs of hexadecimal digits into a new zero-terminated byte string, owned by
// the caller (array delete). An odd trailing digit is dropped rather than combined with
// the terminator. Never null for a non-null text; a null text decodes as "".
unsigned char* StrToHexStr(const char* text);
