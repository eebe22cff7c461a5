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

// Rebuilds the name index of GetFuncIndex and GetFuncAddr from VRN_SigScan_Data. Whoever
// changes the table (fills, clears, or swaps in a rebuilt one) calls this afterwards;
// UTIL_PrecacheOffsets and ClearSigScanData do. A lookup that finds the table's record
// count or storage changed since the last rebuild rebuilds first, so a missed call costs
// time, not a wrong answer, unless records were rewritten in place. An empty table holds
// no index memory, so emptying the table at library unload releases it.
void RebuildSigScanIndex();
// The index lookup behind GetFuncIndex: the first record, in table order, whose name
// equals `name` ignoring letter case (strcasecmp), or -1 (also for null).
int FindSigScanRecord(const char* name);

// Reads "addons/vorlane/sigscan_info.dat" through the engine's file system, opens the
// game server library and resolves every enabled entry of the "default" section, then
// of the section named by the game's description, numbering the resolved ones 1, 2, ...
// across both; then sets `te` and closes the library again. Returns false, after one
// console message, when the file cannot be read (the table is then empty); an
// unopenable library or unresolved entries still return true.
//
// The table always describes the latest call: a second call (a second Load without the
// library being reloaded) rebuilds it rather than appending a second set of records,
// whose lookups would never be reached and whose addresses may be stale.
bool UTIL_PrecacheOffsets();

// Builds the table anew from the data file, as the loading step does, without losing
// the current one on failure: when the file cannot be read or the game library cannot be
// opened, returns false with the reason in *why and the current table (and `te`) stay as
// they were. On success the old records and their signatures are released, the new ones
// take their place, `te` is read again, and *located / *enabled receive the number of
// records and of enabled entries seen. Addresses into the game library stay valid either
// way; pointers to the old records or signatures do not.
bool UTIL_ReloadOffsets(int* located, int* enabled, const char** why);

// How record `index` was found (a SigScanRoute: export, symbol table, signature) when
// the table was built with the fallbacks on; -1 otherwise or for a bad index.
int GetFuncRoute(int index);

// Position of the first record whose name equals `name` ignoring letter case, or -1.
// Constant time: the lookups go through a name index kept beside the table.
int GetFuncIndex(const char* name);
// Address of that record, or null.
void* GetFuncAddr(const char* name);
