// The plugin's steps that build the function table: on every Load, and on
// "vl_sigscan_reload". Each builds the table from the data file (sigscan/) and prints
// every failure as one console line, in the order the build met them.
#pragma once

// Whether the operator asked for the fallbacks ("-vl_sigscan_fallback" on the process
// command line): entries whose symbol is not exported are then also looked up in the
// library file's symbol table and by their signature.
bool SigScanFallbackEnabled();

// Builds the table anew from "addons/vorlane/sigscan_info.dat" and installs it, then
// sets `te`. Returns false, after one console message, when the file cannot be read (the
// table is then empty); an unopenable library or unresolved entries still return true,
// after their lines. The table always describes the latest call: a second call (a second
// Load without the library being reloaded) replaces it rather than appending a second
// set of records, whose lookups would never be reached and whose addresses may be stale.
bool UTIL_PrecacheOffsets();

// Builds the table anew as the loading step does, without losing the current one on
// failure: when the file cannot be read, the game library cannot be opened, the key-value
// reader reported errors in the file (a truncated or damaged file), or the file has no
// enabled entry while the current table holds records, returns false with the reason in
// *why and the current table (and `te`) stay as they were. On
// success the new table is installed, and *located / *enabled receive the number of
// records and of enabled entries seen. Addresses into the game library stay valid either
// way; pointers to the old records or signatures do not.
bool UTIL_ReloadOffsets(int* located, int* enabled, const char** why);
