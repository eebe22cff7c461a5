// Fuzz target for the key-value text reader. Three checks per input:
//   - tokens: ReadToken, which scans the whole text at once (handing tokens on where they
//     lie), must give the same tokens, quoting, cursor and validity as the same scan done
//     through CUtlBuffer's checked primitives (EatWhiteSpace, EatCPPComment,
//     GetDelimitedString, byte peeks), which share its scanning rules (UtlTextScan.h);
//   - typing: every value in a loaded tree must have the type, value and kept text that
//     the plain rule (strtol and strtod on the value, how far each got) gives;
//   - loading: the same input loaded twice, and through a file instead of a buffer, must
//     give equal trees, and destroying them must give back every node.
// Input: byte 0 holds flags (bit 0: escapes on; bit 1: report alignment 64 for reads);
// the rest is the text. Its 0-separated pieces are also the files "cfg/f0.txt",
// "cfg/f1.txt", ... of an in-memory file system, so "#include f1.txt" reaches them.
#include <ctype.h>
#include <limits.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "host/tier0/HostTier0.h"
#include "host/vstdlib/HostVstdlib.h"
#include "tests/support/ExactBuffer.h"
#include "tests/support/KeyValuesDump.h"
#include "tests/support/MemoryFileSystem.h"
#include "tier1/IBaseFileSystem.h"
#include "tier1/KeyValues.h"
#include "tier1/UtlBuffer.h"
#include "tier1/UtlCharConversion.h"

namespace {

// The token scan written with the buffer's own primitives.
bool ReferenceToken(CUtlBuffer& buf, bool escapes, bool& quoted, std::string& token) {
    quoted = false;
    token.clear();
    if (!buf.IsValid()) return false;
    for (;;) {
        buf.EatWhiteSpace();
        if (!buf.IsValid()) return false;
        if (!buf.EatCPPComment()) break;
    }
    const char* c = static_cast<const char*>(buf.PeekGet(1, 0));
    if (!c) return false;
    if (*c == '"') {
        quoted = true;
        char text[1024];
        buf.GetDelimitedString(escapes ? GetCStringCharConversion() : GetNoEscCharConversion(), text, sizeof(text));
        token = text;
        return true;
    }
    if (*c == '{' || *c == '}') {
        token = *c;
        buf.SeekGet(CUtlBuffer::SEEK_FROM_CURRENT, 1);
        return true;
    }
    while ((c = static_cast<const char*>(buf.PeekGet(1, 0))) != nullptr && *c != 0 && *c != '"' && *c != '{' &&
           *c != '}' && !isspace(static_cast<unsigned char>(*c))) {
        if (token.size() < 1023) token += *c;
        buf.SeekGet(CUtlBuffer::SEEK_FROM_CURRENT, 1);
    }
    return true;
}

void CheckTokens(const uint8_t* data, size_t size, bool escapes) {
    ExactBuffer ours(data, size, CUtlBuffer::BUFFER_TEXT), reference(data, size, CUtlBuffer::BUFFER_TEXT);
    KeyValues reader("reader");
    reader.UsesEscapeSequences(escapes);
    for (int i = 0; i < 1024; ++i) {
        bool quoted = false, refQuoted = false;
        std::string refToken;
        const char* token = reader.ReadToken(ours.buf, quoted);
        bool refFound = ReferenceToken(reference.buf, escapes, refQuoted, refToken);
        FUZZ_CHECK((token != nullptr) == refFound);
        FUZZ_CHECK(ours.buf.TellGet() == reference.buf.TellGet());
        FUZZ_CHECK(ours.buf.IsValid() == reference.buf.IsValid());
        if (!token) return;
        FUZZ_CHECK(refToken == token);
        FUZZ_CHECK(quoted == refQuoted);
        if (!*token && !quoted) return;  // a 0 byte: never consumed
    }
}

// The typing rule as written, for comparison with the reader's faster paths.
void CheckTyping(KeyValues* key) {
    KeyValues::DataType type = key->GetDataType();
    if (type != KeyValues::TYPE_INT && type != KeyValues::TYPE_FLOAT) {
        FUZZ_CHECK(type == KeyValues::TYPE_STRING || type == KeyValues::TYPE_NONE);
        if (type == KeyValues::TYPE_STRING) {
            const char* text = key->GetString();
            if (!*text) return;
            char* intEnd;
            char* floatEnd;
            strtol(text, &intEnd, 10);
            strtod(text, &floatEnd);
            FUZZ_CHECK(!(floatEnd > intEnd && *floatEnd == 0) && *intEnd != 0);
        }
        return;
    }
    const char* text = key->GetSourceText();
    FUZZ_CHECK(text != nullptr && *text);
    char* intEnd;
    char* floatEnd;
    // The value a 32-bit long's strtol gives, on either architecture: saturated at the int range.
    const long long integer = std::clamp<long long>(strtoll(text, &intEnd, 10), INT_MIN, INT_MAX);
    double real = strtod(text, &floatEnd);
    if (floatEnd > intEnd && *floatEnd == 0) {
        FUZZ_CHECK(type == KeyValues::TYPE_FLOAT);
        float expected = static_cast<float>(real), actual = key->GetFloat();
        FUZZ_CHECK(memcmp(&expected, &actual, sizeof(float)) == 0 || (expected != expected && actual != actual));
    } else {
        FUZZ_CHECK(*intEnd == 0 && type == KeyValues::TYPE_INT && key->GetInt() == integer);
    }
    FUZZ_CHECK(strcmp(key->GetString(), text) == 0);  // the text it was read from
}

// Every node of a loaded chain (each node, its children, then its later siblings) has
// the loading root's escape setting and is typed by the plain rule.
void CheckLoadedTree(KeyValues* root, bool escapes) {
    std::vector<KeyValues*> pending{root};
    while (!pending.empty()) {
        KeyValues* key = pending.back();
        pending.pop_back();
        FUZZ_CHECK(key->UsesEscapeSequences() == escapes);
        CheckTyping(key);
        if (key->GetNextKey()) pending.push_back(key->GetNextKey());
        if (key->GetFirstSubKey()) pending.push_back(key->GetFirstSubKey());
    }
}

// Names, types, values, kept texts and escape settings of a whole loaded chain.
std::string Dump(KeyValues* root) { return DumpKeyValues(root, kDumpSiblings | kDumpSourceText | kDumpEscapes); }

KeyValues* LoadBuffer(const uint8_t* data, size_t size, bool escapes, MemoryFileSystem* fs) {
    ExactBuffer text(data, size, CUtlBuffer::BUFFER_TEXT);
    KeyValues* root = new KeyValues("root");
    root->UsesEscapeSequences(escapes);
    root->LoadFromBuffer("cfg/f0.txt", text.buf, fs);
    return root;
}

void Discard(const char*, void*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 65536) return 0;
    HostTier0_SetOutputHook(&Discard, nullptr);  // reports are formatted, then dropped
    HostTier0_SetDeveloperLevel(0);
    const bool escapes = data[0] & 1;
    const uint8_t* text = data + 1;
    const size_t length = size - 1;

    MemoryFileSystem fs;
    fs.reportsAlignment = (data[0] & 2) != 0;
    fs.alignment = 64;
    size_t start = 0;
    for (int file = 0; file < 4 && start <= length; ++file) {
        const void* zero = memchr(text + start, 0, length - start);
        size_t end = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - text) : length;
        fs.files["cfg/f" + std::to_string(file) + ".txt"] =
            std::string(reinterpret_cast<const char*>(text) + start, end - start);
        start = end + 1;
    }

    CheckTokens(text, length, escapes);
    HostTier0_SetDeveloperLevel(1);

    // Reports are formatted for the first load only; the others skip them (developer
    // level 0), which keeps inputs that cascade into hundreds of reports fast to run.
    const int nodesBefore = HostVstdlib_LiveKeyValues();
    KeyValues* first = LoadBuffer(text, length, escapes, &fs);
    HostTier0_SetDeveloperLevel(0);
    KeyValues* second = LoadBuffer(text, length, escapes, &fs);
    CheckLoadedTree(first, escapes);
    const std::string firstDump = Dump(first);
    FUZZ_CHECK(Dump(second) == firstDump);
    second->deleteThis();

    // Through the file system: file f0 is the text up to its first 0 byte, so when the
    // text holds none, loading the file must give the same tree as loading the buffer.
    KeyValues* fromFile = new KeyValues("root");
    fromFile->UsesEscapeSequences(escapes);
    FUZZ_CHECK(fromFile->LoadFromFile(&fs, "cfg/f0.txt"));
    if (!memchr(text, 0, length)) FUZZ_CHECK(Dump(fromFile) == firstDump);
    fromFile->deleteThis();
    first->deleteThis();

    FUZZ_CHECK(HostVstdlib_LiveKeyValues() == nodesBefore);
    FUZZ_CHECK(fs.openFiles == 0 && fs.liveBuffers == 0);
    HostTier0_SetOutputHook(nullptr, nullptr);
    HostTier0_SetDeveloperLevel(1);
    return 0;
}
