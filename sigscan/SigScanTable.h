// The table of located game functions, numbered in resolution order, and its lookups by
// entry name. Plugin code reaches a game function only through an entry name, never a
// symbol: the data file maps names to symbols.
#pragma once

#include <stddef.h>

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
static_assert(offsetof(vrn_sigscan_struct, sigMask) == 1036, "signature pointer, then the mask");
static_assert(offsetof(vrn_sigscan_struct, funcAddress) == 3088, "the address last");

// The table: filled by the loading step only, never shrunk while the library is loaded,
// and emptied (signatures freed) when the library unloads.
extern VL_EXPORT CUtlVector<vrn_sigscan_struct> VRN_SigScan_Data;

// Frees every record's signature and empties the table, releasing its storage (and the
// name index's).
void ClearSigScanData();

// How record `index` was found (a SigScanRoute: export, symbol table, signature) when
// the table was built with the fallbacks on; -1 otherwise or for a bad index.
int GetFuncRoute(int index);

// Position of the first record whose name equals `name` ignoring letter case, or -1.
// Constant time: the lookups go through a name index kept beside the table.
int GetFuncIndex(const char* name);
// Address of that record, or null.
void* GetFuncAddr(const char* name);

// The address the table holds for the entry "te" (the game's temporary-entity object),
// set by every table build; null until the first. Nothing in the plugin reads it.
extern VL_EXPORT void* te;
