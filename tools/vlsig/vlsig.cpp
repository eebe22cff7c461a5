// vlsig: the operator's tool for the day a game update breaks the signature data file.
//   vlsig check [--json] [--game NAME] DATAFILE LIBRARY
//   vlsig makesig LIBRARY NAME...
//   vlsig update [--game NAME] DATAFILE LIBRARY [-o OUT]
// Exit status: 0 all well, 1 some entry (or function) fails, 2 an input cannot be used.
#include <inttypes.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "tools/vlsig/DataFile.h"
#include "tools/vlsig/DataFileRepair.h"
#include "tools/vlsig/LibraryImage.h"
#include "tools/vlsig/SignatureMaker.h"

namespace {

const char kUsage[] =
    "usage: vlsig check [--json] [--game NAME] DATAFILE LIBRARY\n"
    "       vlsig makesig LIBRARY NAME...\n"
    "       vlsig update [--game NAME] DATAFILE LIBRARY [-o OUT]\n";

int Usage() {
    fputs(kUsage, stderr);
    return 2;
}

// Text from the files, shown so that it cannot break a line or the JSON.
std::string Json(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escape[8];
            snprintf(escape, sizeof(escape), "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Shown(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c >= 0x7F || c == '\\') {
            char escape[8];
            snprintf(escape, sizeof(escape), "\\x%02X", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string Hex(uint64_t value) {
    char text[24];
    snprintf(text, sizeof(text), "0x%" PRIx64, value);
    return text;
}

// The findings about one entry, each a short sentence; empty when there is nothing to say.
std::vector<std::string> Findings(const DataFile& file, const DataEntry& e, const std::string& game) {
    std::vector<std::string> out;
    if (e.block > 0) out.push_back("in block " + std::to_string(e.block + 1) + " \"" + Shown(e.blockName) +
                                   "\", which the plugin never reads (it reads only the first block)");
    else if (!e.read)
        out.push_back(game.empty() ? "in a section or \"sigscan\" key that an earlier one of the same name hides"
                                   : "in a section the plugin does not read for game \"" + Shown(game) + "\"");
    if (e.duplicateOf >= 0) {
        const DataEntry& first = file.entries[e.duplicateOf];
        out.push_back("duplicate name: an earlier entry" +
                      (first.line ? " (line " + std::to_string(first.line) + ")" : std::string()) +
                      " is the one the plugin's lookups find");
    }
    if (!e.sig.empty() && !e.sigHex) out.push_back("the signature is not hexadecimal digit pairs");
    if (!e.sig.empty() && e.mask.size() > e.sigBytes)
        out.push_back("the mask (" + std::to_string(e.mask.size()) + " characters) is longer than the signature (" +
                      std::to_string(e.sigBytes) + " bytes): refused");
    else if (!e.sig.empty() && !e.mask.empty() && e.mask.size() < e.sigBytes)
        out.push_back("the mask covers only " + std::to_string(e.mask.size()) + " of the signature's " +
                      std::to_string(e.sigBytes) + " bytes");
    if (!e.sig.empty() && e.mask.empty()) out.push_back("the signature has no mask: never scanned");
    if (!e.symbol.empty() && !e.exported && !e.inSymbolTable) out.push_back("the symbol is not in the library");
    if (!e.symbol.empty() && !e.exported && e.inSymbolTable)
        out.push_back(e.symbolInLibrary ? "the symbol is not exported (found in the full symbol table)"
                                        : "the symbol's address lies outside the library's segments");
    if (e.verdict == SIG_NOT_UNIQUE) out.push_back("the signature matches " + std::to_string(e.sigMatches) + " places");
    if (e.verdict == SIG_NO_MATCH) out.push_back("the signature matches nowhere");
    if (e.verdict == SIG_ELSEWHERE)
        out.push_back("DANGER: the signature matches once, at " + Hex(e.sigAddress) +
                      ", not at the symbol's function (" + Hex(e.symbolAddress) + ")");
    return out;
}

const char* Status(const DataEntry& e) {
    if (!e.Counts()) return e.enabled ? "unread" : "disabled";
    return e.Broken() ? "BROKEN" : e.Stale() ? "stale" : "ok";
}

void PrintTable(const DataFile& file, const std::string& library, const std::string& game) {
    printf("vlsig check: %s against %s\n", Shown(file.path).c_str(), Shown(library).c_str());
    for (const std::string& error : file.keyValueErrors) printf("key-value reader: %s\n", Shown(error).c_str());
    size_t nameWidth = 5, sectionWidth = 7, symbolWidth = 6;
    for (const DataEntry& e : file.entries) {
        nameWidth = std::max(nameWidth, Shown(e.name).size());
        sectionWidth = std::max(sectionWidth, Shown(e.section).size());
        symbolWidth = std::max(symbolWidth, Shown(e.symbol).size());
    }
    printf("%5s  %-*s  %-*s  %-*s  %-8s  %-12s  %-27s  %s\n", "line", int(nameWidth), "entry", int(sectionWidth),
           "section", int(symbolWidth), "symbol", "status", "found by", "signature", "matches");
    for (const DataEntry& e : file.entries) {
        printf("%5d  %-*s  %-*s  %-*s  %-8s  %-12s  %-27s  %zu\n", e.line, int(nameWidth), Shown(e.name).c_str(),
               int(sectionWidth), Shown(e.section).c_str(), int(symbolWidth), Shown(e.symbol).c_str(), Status(e),
               EntryRouteName(e.route), SignatureVerdictName(e.verdict), e.sigMatches);
        for (const std::string& finding : Findings(file, e, game)) printf("       - %s\n", finding.c_str());
    }
}

void PrintJson(const DataFile& file, const std::string& library, const std::string& game, int status) {
    printf("{\n  \"datafile\": %s,\n  \"library\": %s,\n  \"game\": %s,\n  \"status\": %d,\n",
           Json(file.path).c_str(), Json(library).c_str(), Json(game).c_str(), status);
    printf("  \"keyValueErrors\": [");
    for (size_t i = 0; i < file.keyValueErrors.size(); ++i)
        printf("%s%s", i ? ", " : "", Json(file.keyValueErrors[i]).c_str());
    printf("],\n  \"keyValueErrorPositions\": false,\n  \"entries\": [\n");
    for (size_t i = 0; i < file.entries.size(); ++i) {
        const DataEntry& e = file.entries[i];
        printf("    {\"name\": %s, \"block\": %d, \"blockName\": %s, \"section\": %s, \"line\": %d, "
               "\"enabled\": %s, \"read\": %s, \"status\": \"%s\", \"duplicateOfLine\": %d,\n",
               Json(e.name).c_str(), e.block + 1, Json(e.blockName).c_str(), Json(e.section).c_str(), e.line,
               e.enabled ? "true" : "false", e.read ? "true" : "false", Status(e),
               e.duplicateOf >= 0 ? std::max(file.entries[e.duplicateOf].line, 0) : -1);
        printf("     \"symbol\": %s, \"exported\": %s, \"inSymbolTable\": %s, \"symbolAddress\": %s, "
               "\"route\": \"%s\",\n",
               Json(e.symbol).c_str(), e.exported ? "true" : "false", e.inSymbolTable ? "true" : "false",
               e.exported || e.inSymbolTable ? Json(Hex(e.symbolAddress)).c_str() : "null", EntryRouteName(e.route));
        printf("     \"sig\": %s, \"mask\": %s, \"sigHex\": %s, \"sigBytes\": %zu, \"maskLength\": %zu, "
               "\"signature\": \"%s\", \"sigMatches\": %zu, \"sigAddress\": %s,\n",
               Json(e.sig).c_str(), Json(e.mask).c_str(), e.sigHex ? "true" : "false", e.sigBytes, e.mask.size(),
               SignatureVerdictName(e.verdict), e.sigMatches,
               e.sigMatches == 1 ? Json(Hex(e.sigAddress)).c_str() : "null");
        printf("     \"findings\": [");
        const std::vector<std::string> findings = Findings(file, e, std::string());
        for (size_t f = 0; f < findings.size(); ++f) printf("%s%s", f ? ", " : "", Json(findings[f]).c_str());
        printf("]}%s\n", i + 1 < file.entries.size() ? "," : "");
    }
    printf("  ]\n}\n");
}

struct Summary {
    int counted = 0, ok = 0, stale = 0, broken = 0;
};
Summary Summarize(const DataFile& file) {
    Summary s;
    for (const DataEntry& e : file.entries) {
        if (!e.Counts()) continue;
        ++s.counted;
        if (e.Broken()) ++s.broken;
        else if (e.Stale()) ++s.stale;
        else ++s.ok;
    }
    return s;
}

bool OpenLibrary(LibraryImage& image, const char* path) {
    if (image.Open(path)) return true;
    fprintf(stderr, "vlsig: %s: %s\n", Shown(path).c_str(), image.Error().c_str());
    return false;
}

bool ReadInputs(const char* dataPath, const char* libraryPath, const std::string& game, DataFile* file,
                LibraryImage& image) {
    if (!ReadDataFile(dataPath, game.c_str(), file)) {
        fprintf(stderr, "vlsig: %s: %s\n", Shown(dataPath).c_str(), file->error.c_str());
        for (const std::string& error : file->keyValueErrors)
            fprintf(stderr, "key-value reader: %s\n", Shown(error).c_str());
        return false;
    }
    if (!OpenLibrary(image, libraryPath)) return false;
    CheckEntries(image, file);
    return true;
}

int Check(int argc, char** argv) {
    bool json = false;
    std::string game;
    std::vector<const char*> paths;
    for (int i = 0; i < argc; ++i) {
        if (strcmp(argv[i], "--json") == 0) json = true;
        else if (strcmp(argv[i], "--game") == 0 && i + 1 < argc) game = argv[++i];
        else paths.push_back(argv[i]);
    }
    if (paths.size() != 2) return Usage();
    DataFile file;
    LibraryImage image;
    if (!ReadInputs(paths[0], paths[1], game, &file, image)) return 2;
    const Summary s = Summarize(file);
    const int status = s.broken > 0 ? 1 : 0;
    if (json) {
        PrintJson(file, paths[1], game, status);
    } else {
        PrintTable(file, paths[1], game);
        printf("%zu entries; %d enabled and read: %d ok, %d with a stale signature, %d broken\n", file.entries.size(),
               s.counted, s.ok, s.stale, s.broken);
    }
    return status;
}

int MakeSig(int argc, char** argv) {
    if (argc < 2) return Usage();
    LibraryImage image;
    if (!OpenLibrary(image, argv[0])) return 2;
    InstructionMasker masker(image);
    if (!masker.Ready()) {
        fprintf(stderr, "vlsig: the x86 decoder cannot be started\n");
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const char* name = argv[i];
        uint64_t address = 0, size = 0;
        if (!image.FindInSymbolTable(name, &address, &size) && !image.FindExport(name, &address)) {
            fprintf(stderr, "vlsig: %s: not in the library's symbols\n", Shown(name).c_str());
            status = 1;
            continue;
        }
        MadeSignature made;
        if (!MakeSignature(image, masker, address, size, &made)) {
            fprintf(stderr, "vlsig: %s: %s\n", Shown(name).c_str(), made.error.c_str());
            status = 1;
            continue;
        }
        printf("\"%s\"\n{\n\t\"enabled\"\t\"1\"\n\t\"sig\"\t\t\"%s\"\n\t\"mask\"\t\t\"%s\"\n\t\"symbol\"\t\"%s\"\n}\n",
               Shown(name).c_str(), made.Hex().c_str(), made.mask.c_str(), Shown(name).c_str());
    }
    return status;
}

int Update(int argc, char** argv) {
    std::string game, out;
    std::vector<const char*> paths;
    for (int i = 0; i < argc; ++i) {
        if (strcmp(argv[i], "--game") == 0 && i + 1 < argc) game = argv[++i];
        else if (strcmp(argv[i], "-o") == 0 && i + 1 < argc) out = argv[++i];
        else paths.push_back(argv[i]);
    }
    if (paths.size() != 2) return Usage();
    if (out.empty()) out = std::string(paths[0]) + ".new";
    DataFile file;
    LibraryImage image;
    if (!ReadInputs(paths[0], paths[1], game, &file, image)) return 2;
    InstructionMasker masker(image);
    std::vector<EntryRepair> repairs;
    std::string text;
    RepairDataFile(image, masker, file, &repairs, &text);

    FILE* output = fopen(out.c_str(), "wb");
    if (!output || fwrite(text.data(), 1, text.size(), output) != text.size() || fclose(output) != 0) {
        fprintf(stderr, "vlsig: %s: cannot be written\n", Shown(out).c_str());
        return 2;
    }
    // The proof: the copy reads back with the same entries, changed only where listed,
    // and each repaired entry now resolves with a signature that finds it once.
    DataFile again;
    bool verified = ReadDataFile(out.c_str(), game.c_str(), &again) && again.entries.size() == file.entries.size();
    if (verified) CheckEntries(image, &again);
    int status = 0;
    printf("vlsig update: %s -> %s\n", Shown(file.path).c_str(), Shown(out).c_str());
    for (const EntryRepair& repair : repairs) {
        const DataEntry& before = file.entries[repair.entry];
        if (verified) {
            const DataEntry& after = again.entries[repair.entry];
            verified = after.sig == repair.sig && after.mask == repair.mask && after.symbol == repair.symbol &&
                       (!repair.repaired || after.route != SIGSCAN_ROUTE_NONE);
        }
        if (!repair.repaired) {
            printf("not repaired %s (line %d): %s\n", Shown(before.name).c_str(), before.line, repair.reason.c_str());
            status = 1;
            continue;
        }
        printf("repaired %s (line %d):", Shown(before.name).c_str(), before.line);
        if (repair.symbol != before.symbol)
            printf(" symbol \"%s\" -> \"%s\"", Shown(before.symbol).c_str(), Shown(repair.symbol).c_str());
        if (repair.sig != before.sig)
            printf(" sig \"%s\" -> \"%s\", mask \"%s\" -> \"%s\"", Shown(before.sig).c_str(), repair.sig.c_str(),
                   Shown(before.mask).c_str(), repair.mask.c_str());
        printf("\n");
    }
    if (repairs.empty()) printf("nothing to repair\n");
    if (!verified) {
        fprintf(stderr, "vlsig: %s: the written copy does not read back as intended\n", Shown(out).c_str());
        return 2;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const char* command = argv[1];
    if (strcmp(command, "check") == 0) return Check(argc - 2, argv + 2);
    if (strcmp(command, "makesig") == 0) return MakeSig(argc - 2, argv + 2);
    if (strcmp(command, "update") == 0) return Update(argc - 2, argv + 2);
    return Usage();
}
