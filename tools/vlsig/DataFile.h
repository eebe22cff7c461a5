// The signature data file as the vlsig tool examines it: read with the project's own
// key-value reader exactly as the plugin reads it, every entry of every block listed with
// where it sits in the text, and each entry checked against a library file the way the
// plugin resolves it with its fallbacks on (export, else symbol table, else a signature
// that matches exactly once).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "sigscan/SigScanResolver.h"
#include "tools/vlsig/LibraryImage.h"

// Where the text of one value lies in the file: [begin, end) of its characters (inside
// the quotes when quoted). `found` is false when the entry has no such key.
struct TextSpan {
    bool found = false;
    size_t begin = 0;
    size_t end = 0;
};

// The route of an entry, as the plugin's resolver names it; "none" when it does not resolve.
const char* EntryRouteName(SigScanRoute route);

// What the entry's signature finds in the library.
enum SignatureVerdict {
    SIG_ABSENT,          // no signature text
    SIG_UNUSABLE,        // not hexadecimal, no mask, mask longer than the signature or without a fixed byte
    SIG_NO_MATCH,        // matches nowhere
    SIG_NOT_UNIQUE,      // matches more than once
    SIG_AT_SYMBOL,       // matches once, at the symbol's address
    SIG_ELSEWHERE,       // matches once, at another address than the symbol's: the dangerous case
    SIG_UNIQUE_NO_SYMBOL,  // matches once; the symbol is not in the library to compare with
};
const char* SignatureVerdictName(SignatureVerdict verdict);

struct DataEntry {
    // Where it is.
    int block = 0;            // 0 for the file's first block; later ones are never read
    std::string blockName;
    std::string section;      // e.g. "default" or a game's description
    std::string name;
    int line = 0;             // 1-based line of the entry's name in the file; 0 when unknown
    bool read = false;        // in a section (and "sigscan" key) the plugin reads
    bool enabled = false;
    int duplicateOf = -1;     // index of an earlier entry with the same name the plugin would also take
    std::string sig, mask, symbol;
    TextSpan sigSpan, maskSpan, symbolSpan;

    // What it finds (filled by CheckEntries).
    bool sigHex = false;
    size_t sigBytes = 0;
    bool exported = false, inSymbolTable = false;
    uint64_t symbolAddress = 0;
    uint64_t symbolSize = 0;
    bool symbolInLibrary = false;  // the symbol's address lies in a loaded segment
    size_t sigMatches = 0;
    uint64_t sigAddress = 0;
    SignatureVerdict verdict = SIG_ABSENT;
    bool libraryHasSymbolTable = false;  // a symbol missing from it is gone, not stripped
    SigScanRoute route = SIGSCAN_ROUTE_NONE;

    // Counted for the exit status: enabled and read.
    bool Counts() const { return enabled && read; }
    // Does not resolve the way the plugin would.
    bool Broken() const { return Counts() && route == SIGSCAN_ROUTE_NONE; }
    // Resolves, but its signature does not find it once at the symbol.
    // (A unique match whose symbol a stripped library cannot confirm is not stale.)
    bool Stale() const {
        return Counts() && !Broken() && verdict != SIG_ABSENT && verdict != SIG_AT_SYMBOL &&
               !(verdict == SIG_UNIQUE_NO_SYMBOL && !libraryHasSymbolTable);
    }
};

struct DataFile {
    std::string path;
    std::string text;                     // the file's bytes
    std::vector<DataEntry> entries;       // in file order
    std::vector<std::string> keyValueErrors;  // the reader's reports: "<file>:<line>:<column>: <message>"
    std::string error;                    // why the file cannot be used; empty when it can
    bool located = false;                 // the entries' text positions are known (needed by update)
};

// Reads `path` with the key-value reader (the plugin's root name, #include resolved as
// the plugin's loader does) and lists its entries; `game` names the game's description
// section ("" when unknown: every section of the first block counts as read). False,
// with file->error, when the file cannot be read.
bool ReadDataFile(const char* path, const char* game, DataFile* file);

// Fills the "what it finds" facts of every entry against `image`.
void CheckEntries(LibraryImage& image, DataFile* file);
