// Building the function table from the signature data file: reading it, resolving each
// enabled entry in the game server library, and swapping the result in.
#pragma once

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
