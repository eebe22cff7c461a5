// In-place repair of the data file's text.
#include "tools/vlsig/DataFileRepair.h"

#include <algorithm>

void RepairDataFile(LibraryImage& image, InstructionMasker& masker, const DataFile& file,
                    std::vector<EntryRepair>* repairs, std::string* text) {
    repairs->clear();
    *text = file.text;
    struct Edit {
        size_t begin, end;
        std::string value;
    };
    std::vector<Edit> edits;
    for (size_t i = 0; i < file.entries.size(); ++i) {
        const DataEntry& entry = file.entries[i];
        if (!entry.Broken() && !entry.Stale()) continue;
        EntryRepair repair;
        repair.entry = i;
        repair.sig = entry.sig;
        repair.mask = entry.mask;
        repair.symbol = entry.symbol;
        uint64_t address = 0, size = 0;
        bool found = image.FindInSymbolTable(entry.symbol.c_str(), &address, &size);
        if (!found && image.FindExport(entry.symbol.c_str(), &address)) found = true;
        if (!file.located) {
            repair.reason = "the file's text could not be matched to its entries";
        } else if (found) {
            MadeSignature made;
            if (!entry.sigSpan.found || !entry.maskSpan.found) {
                repair.reason = "the entry has no \"sig\" or \"mask\" value to replace";
            } else if (!MakeSignature(image, masker, address, size, &made)) {
                repair.reason = made.error;
            } else {
                repair.sig = made.Hex();
                repair.mask = made.mask;
                repair.repaired = true;
                edits.push_back({entry.sigSpan.begin, entry.sigSpan.end, repair.sig});
                edits.push_back({entry.maskSpan.begin, entry.maskSpan.end, repair.mask});
            }
        } else if (entry.verdict == SIG_UNIQUE_NO_SYMBOL) {
            // Renamed: the old signature still finds one function; take its name.
            const char* name = image.Elf().FunctionAt(entry.sigAddress);
            if (!name) {
                repair.reason = "the signature's match starts no named function";
            } else if (!entry.symbolSpan.found) {
                repair.reason = "the entry has no \"symbol\" value to replace";
            } else {
                repair.symbol = name;
                repair.repaired = true;
                edits.push_back({entry.symbolSpan.begin, entry.symbolSpan.end, repair.symbol});
            }
        } else {
            repair.reason = "its symbol is not in the library and its signature finds no single function";
        }
        repairs->push_back(repair);
    }
    std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.begin > b.begin; });
    for (const Edit& edit : edits) text->replace(edit.begin, edit.end - edit.begin, edit.value);
}
