// Building a function table from the signature data file: reading
// "addons/vorlane/sigscan_info.dat" through the engine's file system and resolving each
// enabled entry in the game server library. Builds into the caller's vectors; the
// caller decides whether to install the result (SigScanTable.h) and what to print.
#pragma once

#include "sigscan/SigScanFailure.h"
#include "sigscan/SigScanTable.h"

// The data file's path under the game directory, as the file system is asked for it.
#define SIGSCAN_DATA_FILE "addons/vorlane/sigscan_info.dat"

struct SigScanTableBuild {
    CUtlVector<vrn_sigscan_struct> records;  // numbered 1, 2, ... in resolution order
    CUtlVector<SigScanRoute> routes;         // same positions; empty without the fallbacks
    int enabled = 0;                         // enabled entries seen
    int keyValueErrors = 0;                  // errors the key-value reader reported for the file
    bool libraryOpened = false;
    // Set by the caller: when the reader reports errors, resolve nothing (the library is
    // not opened) and return with the count, so that no line is printed for entries of
    // a file that will be refused.
    bool stopAtKeyValueErrors = false;

    SigScanTableBuild() = default;
    SigScanTableBuild(const SigScanTableBuild&) = delete;
    SigScanTableBuild& operator=(const SigScanTableBuild&) = delete;
    // Frees the signatures of records still held (not installed).
    ~SigScanTableBuild() { FreeSigScanRecords(records); }
};

// Reads the data file and resolves every enabled entry of its "default" section, then of
// the section named by the game's description (`gamedll`; "" without it), into `build`
// (which must be empty); the signatures of all the entries that get as far as their
// signature are searched with one scan of the library's code. Every failure goes to
// `report` (may be null) in entry order; blocks after the file's first (which are never
// read: an #include adds its blocks there) are reported once, first, as
// SIGSCAN_BLOCKS_NOT_READ. Returns false when
// the file cannot be read (SIGSCAN_DATA_FILE_UNREADABLE; the build stays empty); an
// unopenable library or unresolved entries still return true.
bool BuildSigScanTable(SigScanTableBuild& build, bool useFallbacks, ISigScanReport* report);
