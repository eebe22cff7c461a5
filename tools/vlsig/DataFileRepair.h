// Repairing a data file after a game update: for each entry that does not resolve, or
// whose signature no longer finds its function once, a new signature made at the
// function its symbol names (or, when the symbol is gone but the old signature still
// finds one function, that function's new symbol). The text is edited in place: only
// the values replaced change, every other byte stays.
#pragma once

#include <string>
#include <vector>

#include "tools/vlsig/DataFile.h"
#include "tools/vlsig/SignatureMaker.h"

struct EntryRepair {
    size_t entry;  // index in DataFile::entries
    bool repaired = false;
    std::string sig, mask, symbol;  // the new values (equal to the old ones where unchanged)
    std::string reason;             // why it was not repaired
};

// Fills *repairs for every broken or stale entry and *text with the repaired copy of the
// file's text. Needs file.located (else every repair fails with a reason, text unchanged).
void RepairDataFile(LibraryImage& image, InstructionMasker& masker, const DataFile& file,
                    std::vector<EntryRepair>* repairs, std::string* text);
