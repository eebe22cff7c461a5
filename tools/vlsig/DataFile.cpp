// Reading and checking the signature data file.
#include "tools/vlsig/DataFile.h"

#include <ctype.h>
#include <stdint.h>
#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <memory>
#include <vector>

#include "sigscan/SignatureText.h"
#include "tier1/IBaseFileSystem.h"
#include "tier1/KeyValues.h"

// The runtime library's console hook (present in the runtime the tool is built with;
// weak, so that a runtime without it leaves the reader's reports on the console).
extern "C" void HostTier0_SetOutputHook(void (*hook)(const char* text, void* context), void* context)
    __attribute__((weak));

namespace {

// The key-value reader's file system: real files, by the path as given (an #include is
// resolved beside the including file by the reader itself).
class DiskFileSystem final : public IFileSystemApi {
public:
    int Read(void* output, int size, FileHandle_t file) override {
        return size > 0 ? static_cast<int>(fread(output, 1, static_cast<size_t>(size), static_cast<FILE*>(file))) : 0;
    }
    int Write(const void*, int, FileHandle_t) override { return 0; }
    FileHandle_t Open(const char* name, const char* options, const char*) override {
        if (!name || !options || strchr(options, 'w') || strchr(options, 'a') || strchr(options, '+')) return nullptr;
        return fopen(name, "rb");
    }
    void Close(FileHandle_t file) override { fclose(static_cast<FILE*>(file)); }
    unsigned int Size(FileHandle_t file) override {
        FILE* f = static_cast<FILE*>(file);
        const long at = ftell(f);
        if (at < 0 || fseek(f, 0, SEEK_END) != 0) return 0;
        const long size = ftell(f);
        fseek(f, at, SEEK_SET);
        return size < 0 || size > 0x7FFFFFFF ? 0 : static_cast<unsigned int>(size);
    }
    bool GetOptimalReadAlignment(FileHandle_t, unsigned int*) override { return false; }
    void* AllocOptimalReadBuffer(FileHandle_t, unsigned int size, unsigned int) override { return malloc(size); }
    int ReadEx(void* output, int destSize, int size, FileHandle_t file) override {
        return Read(output, size < destSize ? size : destSize, file);
    }
    void FreeOptimalReadBuffer(void* buffer) override { free(buffer); }
};

void DiscardOutput(const char*, void*) {}

// "<file>:<line>:<column>: <message>" (the position left out when the reader gives none).
void RecordReport(const char* message, const char* fileName, int line, int column, void* context) {
    auto* reports = static_cast<std::vector<std::string>*>(context);
    std::string report = fileName ? fileName : "";
    if (line > 0) report += ":" + std::to_string(line) + ":" + std::to_string(column);
    reports->push_back(report + ": " + (message ? message : ""));
}

// ---- where the entries lie in the text ----------------------------------------------
// A second walk over the main file's text with the reader's token rules (white space,
// "//" comments, quoted strings without escapes, braces, words), only to find the text
// spans of the values. It is checked against the tree the reader built: when the two
// disagree anywhere, no position is used.

struct Token {
    size_t begin = 0, end = 0;
    bool quoted = false;
};

struct Node {
    Token name, value;
    bool block = false;
    std::vector<Node> children;
};

class Locator {
public:
    explicit Locator(const std::string& text) : t_(text) {}

    bool Next(Token* token) {
        for (;;) {
            while (pos_ < t_.size() && isspace(static_cast<unsigned char>(t_[pos_]))) ++pos_;
            if (pos_ >= t_.size()) return false;
            if (t_.compare(pos_, 2, "//") != 0) break;
            const size_t lineFeed = t_.find('\n', pos_ + 2);
            if (lineFeed == std::string::npos) return false;
            pos_ = lineFeed + 1;
        }
        token->quoted = false;
        const char c = t_[pos_];
        if (c == '"') {
            const size_t close = t_.find('"', pos_ + 1);
            token->quoted = true;
            token->begin = pos_ + 1;
            token->end = close == std::string::npos ? t_.size() : close;
            pos_ = close == std::string::npos ? t_.size() : close + 1;
            return true;
        }
        token->begin = pos_;
        if (c == '{' || c == '}') {
            token->end = ++pos_;
            return true;
        }
        while (pos_ < t_.size() && !strchr("\"{}", t_[pos_]) && t_[pos_] != '\0' &&
               !isspace(static_cast<unsigned char>(t_[pos_])))
            ++pos_;
        token->end = pos_;
        return true;
    }
    bool Is(const Token& token, char brace) const {
        return !token.quoted && token.end == token.begin + 1 && t_[token.begin] == brace;
    }
    std::string Text(const Token& token) const { return t_.substr(token.begin, token.end - token.begin); }

    // The body of a block after its "{"; false on anything the reader would report.
    bool Body(Node* node, int depth) {
        if (depth > 64) return false;
        Token name;
        while (Next(&name)) {
            if (Is(name, '}')) return true;
            if (name.begin == name.end && name.quoted) return false;
            Node child;
            child.name = name;
            if (!Next(&child.value) || Is(child.value, '}')) return false;
            if (Is(child.value, '{')) {
                child.block = true;
                if (!Body(&child, depth + 1)) return false;
            }
            node->children.push_back(std::move(child));
        }
        return false;
    }
    // The main file's blocks; false when the text holds anything the reader reports.
    bool Blocks(std::vector<Node>* blocks) {
        Token token;
        while (Next(&token)) {
            if (strcasecmp(Text(token).c_str(), "#include") == 0) {
                if (!Next(&token)) return false;
                continue;
            }
            Node block;
            block.name = token;
            Token brace;
            if (!Next(&brace) || !Is(brace, '{') || !Body(&block, 0)) return false;
            blocks->push_back(std::move(block));
        }
        return true;
    }

    int Line(size_t at) const { return 1 + static_cast<int>(std::count(t_.begin(), t_.begin() + at, '\n')); }

private:
    const std::string& t_;
    size_t pos_ = 0;
};

TextSpan ValueSpan(const Locator& locator, const Node& entry, const char* key) {
    TextSpan span;
    for (const Node& child : entry.children) {
        if (strcasecmp(locator.Text(child.name).c_str(), key) != 0) continue;
        if (child.block) return span;  // the reader's GetString gives "" for a section
        span.found = true;
        span.begin = child.value.begin;
        span.end = child.value.end;
        return span;
    }
    return span;
}

bool IsSigscanKey(const char* name) { return strcasecmp(name, "sigscan") == 0; }

// Places the located entries on the listed ones; false when the two walks disagree.
bool Locate(DataFile* file) {
    Locator locator(file->text);
    std::vector<Node> blocks;
    if (!locator.Blocks(&blocks)) return false;
    size_t next = 0;
    for (size_t b = 0; b < blocks.size(); ++b) {
        for (const Node& section : blocks[b].children) {
            if (!section.block) continue;
            for (const Node& sigscan : section.children) {
                if (!sigscan.block || !IsSigscanKey(locator.Text(sigscan.name).c_str())) continue;
                for (const Node& entry : sigscan.children) {
                    if (!entry.block) continue;
                    if (next >= file->entries.size()) return false;
                    DataEntry& listed = file->entries[next++];
                    if (listed.block != static_cast<int>(b) || listed.name != locator.Text(entry.name)) return false;
                    listed.line = locator.Line(entry.name.begin);
                    listed.sigSpan = ValueSpan(locator, entry, "sig");
                    listed.maskSpan = ValueSpan(locator, entry, "mask");
                    listed.symbolSpan = ValueSpan(locator, entry, "symbol");
                    auto same = [&](const TextSpan& span, const std::string& value) {
                        return span.found ? file->text.compare(span.begin, span.end - span.begin, value) == 0
                                          : value.empty();
                    };
                    if (!same(listed.sigSpan, listed.sig) || !same(listed.maskSpan, listed.mask) ||
                        !same(listed.symbolSpan, listed.symbol))
                        return false;
                }
            }
        }
    }
    // Entries of included files come after the main file's and have no positions here.
    for (size_t i = next; i < file->entries.size(); ++i) {
        if (file->entries[i].block < static_cast<int>(blocks.size())) return false;
    }
    return true;
}

}  // namespace

const char* EntryRouteName(SigScanRoute route) {
    return route == SIGSCAN_ROUTE_NONE ? "none" : SigScanRouteName(route);
}

const char* SignatureVerdictName(SignatureVerdict verdict) {
    switch (verdict) {
        case SIG_ABSENT: return "no signature";
        case SIG_UNUSABLE: return "unusable";
        case SIG_NO_MATCH: return "no match";
        case SIG_NOT_UNIQUE: return "not unique";
        case SIG_AT_SYMBOL: return "unique, at the symbol";
        case SIG_ELSEWHERE: return "unique, at ANOTHER function";
        case SIG_UNIQUE_NO_SYMBOL: return "unique";
    }
    return "unknown";
}

bool ReadDataFile(const char* path, const char* game, DataFile* file) {
    *file = DataFile();
    file->path = path ? path : "";
    FILE* raw = path ? fopen(path, "rb") : nullptr;
    if (!raw) {
        file->error = "the data file cannot be opened";
        return false;
    }
    char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), raw)) > 0) file->text.append(chunk, got);
    fclose(raw);

    DiskFileSystem fileSystem;
    KeyValues* tree = new KeyValues("kdadmin_sigs");  // the plugin's root name
    // The reader's reports, each with the file, line and column it was found at; what it
    // prints goes nowhere (the tool shows the reports itself).
    if (HostTier0_SetOutputHook) HostTier0_SetOutputHook(DiscardOutput, nullptr);
    g_KeyValuesErrorStack.SetListener(RecordReport, &file->keyValueErrors);
    const bool loaded = tree->LoadFromFile(&fileSystem, path, nullptr);
    g_KeyValuesErrorStack.SetListener(nullptr, nullptr);
    if (HostTier0_SetOutputHook) HostTier0_SetOutputHook(nullptr, nullptr);
    if (!loaded) {
        tree->deleteThis();
        file->error = "the key-value reader cannot read the data file";
        return false;
    }

    KeyValues* defaultSection = tree->FindKey("default");
    KeyValues* gameSection = game && *game ? tree->FindKey(game) : nullptr;
    int blockIndex = 0;
    for (KeyValues* block = tree; block; block = block->GetNextKey(), ++blockIndex) {
        for (KeyValues* section = block->GetFirstSubKey(); section; section = section->GetNextKey()) {
            if (section->GetDataType() != KeyValues::TYPE_NONE) continue;
            // The plugin takes the first section of each name it asks for, and its first "sigscan".
            const bool sectionRead = blockIndex == 0 && (section == defaultSection || section == gameSection ||
                                                         (!(game && *game) && tree->FindKey(section->GetName()) == section));
            KeyValues* readSigscan = section->FindKey("sigscan");
            for (KeyValues* sigscan = section->GetFirstSubKey(); sigscan; sigscan = sigscan->GetNextKey()) {
                if (sigscan->GetDataType() != KeyValues::TYPE_NONE || !IsSigscanKey(sigscan->GetName())) continue;
                for (KeyValues* entry = sigscan->GetFirstSubKey(); entry; entry = entry->GetNextKey()) {
                    if (entry->GetDataType() != KeyValues::TYPE_NONE) continue;
                    DataEntry listed;
                    listed.block = blockIndex;
                    listed.blockName = block->GetName();
                    listed.section = section->GetName();
                    listed.name = entry->GetName();
                    listed.read = sectionRead && sigscan == readSigscan;
                    listed.enabled = entry->GetInt("enabled", 0) != 0;
                    listed.sig = entry->GetString("sig", "");
                    listed.mask = entry->GetString("mask", "");
                    listed.symbol = entry->GetString("symbol", "");
                    file->entries.push_back(listed);
                }
            }
        }
    }
    tree->deleteThis();

    for (size_t i = 0; i < file->entries.size(); ++i) {
        DataEntry& entry = file->entries[i];
        for (size_t j = 0; j < i && entry.duplicateOf < 0; ++j) {
            const DataEntry& earlier = file->entries[j];
            if (strcasecmp(earlier.name.c_str(), entry.name.c_str()) != 0) continue;
            const bool sameSection = earlier.block == entry.block && earlier.section == entry.section;
            if (sameSection || (earlier.Counts() && entry.Counts())) entry.duplicateOf = static_cast<int>(j);
        }
    }
    file->located = Locate(file);
    if (!file->located) {
        for (DataEntry& entry : file->entries) {
            entry.line = 0;
            entry.sigSpan = entry.maskSpan = entry.symbolSpan = TextSpan();
        }
    }
    return true;
}

void CheckEntries(LibraryImage& image, DataFile* file) {
    // The signatures as the resolver takes them: the decoded bytes (zero bytes too)
    // compared under the mask's characters, refused when not hexadecimal, without a
    // mask, with a mask longer than the signature or without a fixed byte. All of them
    // are searched with one scan of the code.
    std::vector<std::unique_ptr<unsigned char[]>> decoded(file->entries.size());
    std::vector<SignatureQuery> queries;
    std::vector<size_t> queryOf(file->entries.size(), SIZE_MAX);
    for (size_t i = 0; i < file->entries.size(); ++i) {
        DataEntry& entry = file->entries[i];
        entry.sigHex = IsHexSignatureText(entry.sig.c_str());
        entry.sigBytes = entry.sig.size() / 2;
        if (entry.sig.empty() || !entry.sigHex || entry.mask.empty() || entry.mask.size() > entry.sigBytes) continue;
        decoded[i].reset(StrToHexStr(entry.sig.c_str()));
        queryOf[i] = queries.size();
        queries.push_back(SignatureQuery{decoded[i].get(), entry.mask.c_str(), entry.mask.size()});
    }
    std::vector<SignatureMatches> matches(queries.size());
    image.Scanner().Scan(queries.data(), queries.size(), matches.data());

    for (size_t i = 0; i < file->entries.size(); ++i) {
        DataEntry& entry = file->entries[i];
        entry.libraryHasSymbolTable = image.Elf().HasSymbolTable();
        entry.exported = image.FindExport(entry.symbol.c_str(), &entry.symbolAddress);
        uint64_t tableAddress = 0;
        entry.inSymbolTable = image.FindInSymbolTable(entry.symbol.c_str(), &tableAddress, &entry.symbolSize);
        if (!entry.exported && entry.inSymbolTable) entry.symbolAddress = tableAddress;
        const bool symbolKnown = entry.exported || entry.inSymbolTable;
        entry.symbolInLibrary = symbolKnown && image.Contains(entry.symbolAddress);

        entry.sigMatches = 0;
        if (entry.sig.empty()) {
            entry.verdict = SIG_ABSENT;
        } else if (queryOf[i] == SIZE_MAX || matches[queryOf[i]].refused) {
            entry.verdict = SIG_UNUSABLE;
        } else {
            const SignatureMatches& found = matches[queryOf[i]];
            entry.sigMatches = found.count;
            if (entry.sigMatches == 0) {
                entry.verdict = SIG_NO_MATCH;
            } else if (entry.sigMatches > 1) {
                entry.verdict = SIG_NOT_UNIQUE;
            } else {
                image.AddressOf(found.first, &entry.sigAddress);
                entry.verdict = !symbolKnown ? SIG_UNIQUE_NO_SYMBOL
                                : entry.sigAddress == entry.symbolAddress ? SIG_AT_SYMBOL
                                                                          : SIG_ELSEWHERE;
            }
        }

        // The plugin's order with its fallbacks on; a symbol-table address outside the
        // library's segments is refused as the resolver refuses it.
        if (entry.exported) {
            entry.route = SIGSCAN_ROUTE_EXPORT;
        } else if (entry.inSymbolTable && entry.symbolInLibrary) {
            entry.route = SIGSCAN_ROUTE_SYMBOL_TABLE;
        } else if (entry.sigMatches == 1) {
            entry.route = SIGSCAN_ROUTE_SIGNATURE;
        } else {
            entry.route = SIGSCAN_ROUTE_NONE;
        }
    }
}
