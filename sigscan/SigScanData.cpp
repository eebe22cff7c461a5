// The function table and its lookups.
#include "sigscan/SigScanData.h"

#include <stdio.h>
#include <strings.h>

CUtlVector<vrn_sigscan_struct> VRN_SigScan_Data;

void ClearSigScanData() {
    for (int i = 0; i < VRN_SigScan_Data.Count(); ++i) delete[] VRN_SigScan_Data[i].sigBytes;
    VRN_SigScan_Data.Purge();
}

namespace {
// Defined after the table, so destroyed before it: frees the signatures the records own
// when the library unloads.
struct SigScanDataOwner {
    ~SigScanDataOwner() { ClearSigScanData(); }
} s_sigScanDataOwner;
}  // namespace

int GetFuncIndex(const char* name) {
    if (!name) return -1;
    for (int i = 0; i < VRN_SigScan_Data.Count(); ++i) {
        if (strcasecmp(VRN_SigScan_Data[i].funcName, name) == 0) return i;
    }
    return -1;
}

void* GetFuncAddr(const char* name) {
    const int index = GetFuncIndex(name);
    return index < 0 ? nullptr : VRN_SigScan_Data[index].funcAddress;
}

void FormatSignature(const unsigned char* bytes, char* out, int outSize) {
    if (!out || outSize <= 0) return;
    int used = 0;
    out[0] = '\0';
    for (const unsigned char* p = bytes; p && *p; ++p) {
        char piece[5];
        int length = (*p >= 0x20 && *p < 0x7f && *p != '\\') ? snprintf(piece, sizeof(piece), "%c", *p)
                                                             : snprintf(piece, sizeof(piece), "\\x%02X", *p);
        if (used + length >= outSize) break;
        for (int i = 0; i < length; ++i) out[used++] = piece[i];
        out[used] = '\0';
    }
}
