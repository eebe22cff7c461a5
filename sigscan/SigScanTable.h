// The table of located game functions, numbered in resolution order, and its lookups by
// entry name. Plugin code reaches a game function only through an entry name, never a
// symbol: the data file maps names to symbols.
#pragma once

#include <stddef.h>

#include "sigscan/SigScanResolver.h"
#include "tier0/platform.h"
#include "tier1/UtlVector.h"

// One resolved entry. Plain data, copied by value into the table.
struct vrn_sigscan_struct {
    char funcName[1025];      // entry name, at most 1024 characters, zero-filled after
    int funcIndex;            // 1-based ordinal among all resolved entries
    unsigned char* sigBytes;  // decoded signature (array new), kept for the table's life
    char sigMask[1025];
    char symbolName[1025];
    void* funcAddress;  // never null in a stored record
};
static_assert(offsetof(vrn_sigscan_struct, funcIndex) == 1028, "name field, then the index");
static_assert(offsetof(vrn_sigscan_struct, sigBytes) == 1032, "index, then the signature pointer");
static_assert(offsetof(vrn_sigscan_struct, sigMask) == VL_LAYOUT(1036, 1040), "signature pointer, then the mask");
static_assert(offsetof(vrn_sigscan_struct, funcAddress) == VL_LAYOUT(3088, 3096), "the address last");
static_assert(sizeof(vrn_sigscan_struct) == VL_LAYOUT(3092, 3104), "records follow each other with no gap");

// The table: replaced whole by the loading step only (InstallSigScanTable), and emptied
// (signatures freed) when the library unloads.
extern VL_EXPORT CUtlVector<vrn_sigscan_struct> VRN_SigScan_Data;

// Frees every record's signature and empties the table, releasing its storage (and the
// name index's); `te` becomes null.
void ClearSigScanData();

// Frees the signatures of `records` and empties it (for a table that was not installed).
void FreeSigScanRecords(CUtlVector<vrn_sigscan_struct>& records);

// Gives up the current table (its signatures are freed) and takes `records` and their
// `routes` (same positions, or empty for a table built from exports alone) in their
// place, without copying; both arguments are left empty. Then rebuilds the name index
// and sets `te` from the new table's "te" entry. Pointers to the old records or
// signatures are invalid afterwards; pointers to the new records stay valid.
void InstallSigScanTable(CUtlVector<vrn_sigscan_struct>& records, CUtlVector<SigScanRoute>& routes);

// How record `index` was found when the table was built with the fallbacks on;
// SIGSCAN_ROUTE_NONE otherwise or for a bad index.
SigScanRoute GetFuncRoute(int index);

// Position of the first record whose name equals `name` ignoring letter case, or -1.
// Constant time: the lookups go through a name index kept beside the table.
int GetFuncIndex(const char* name);
// Address of that record, or null.
void* GetFuncAddr(const char* name);

// The address the table holds for the entry "te" (the game's temporary-entity object, a
// data symbol), set by every InstallSigScanTable; null until the first and when there
// is no such entry. The address itself, not a pointer read from it: the symbol names the
// object. Nothing in the plugin reads it.
extern VL_EXPORT void* te;
