// Round-trip fuzz target for the key-value writers and the binary reader. Each input is
// read twice, from exact-size copies (a read past the data is caught by the sanitizers):
//   - as the binary form: the tree written back and read again must be the same tree;
//     a list read whole is written back as the same bytes, or shorter only where a
//     name or text was longer than a token; the tree also goes through the text writer;
//   - as text: the tree written as text and read again must be the same tree less what
//     text cannot carry (empty texts, sections left without children); written as
//     binary and read again it must be the same tree, kept source texts aside.
// Every node and allocator block must be given back at the end.
// Input: byte 0 holds flags (bit 0: escapes on; bit 1: a second binary write with the
// byte-order flag set); the rest is the data.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <utility>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "host/tier0/HostTier0.h"
#include "host/vstdlib/HostVstdlib.h"
#include "tests/support/ExactBuffer.h"
#include "tier1/KeyValues.h"
#include "tier1/UtlBuffer.h"

namespace {

bool SameBits(float a, float b) { return memcmp(&a, &b, sizeof(a)) == 0; }

// Name, type and the value the binary form carries. The float's bits are read from the
// text-free getters: both sides pass through the same conversions.
bool SameValue(KeyValues* a, KeyValues* b) {
    // Names by text: a node without a name is written with the empty one.
    if (strcmp(a->GetName(), b->GetName()) != 0 || a->GetDataType() != b->GetDataType()) return false;
    switch (a->GetDataType()) {
        case KeyValues::TYPE_STRING: return strcmp(a->GetString(), b->GetString()) == 0;
        case KeyValues::TYPE_INT: return a->GetInt() == b->GetInt();
        case KeyValues::TYPE_FLOAT: return SameBits(a->GetFloat(), b->GetFloat());
        case KeyValues::TYPE_PTR: return a->GetPtr() == b->GetPtr();
        case KeyValues::TYPE_COLOR: return a->GetColor() == b->GetColor();
        case KeyValues::TYPE_UINT64: return a->GetUint64() == b->GetUint64();
        default: return true;
    }
}

// Two chains (each node, its children, then its later siblings) side by side.
bool SameBinaryTrees(KeyValues* a, KeyValues* b) {
    std::vector<std::pair<KeyValues*, KeyValues*>> pending{{a, b}};
    while (!pending.empty()) {
        KeyValues* x = pending.back().first;
        KeyValues* y = pending.back().second;
        pending.pop_back();
        if (!x || !y) {
            if (x != y) return false;
            continue;
        }
        if (!SameValue(x, y)) return false;
        pending.push_back({x->GetNextKey(), y->GetNextKey()});
        pending.push_back({x->GetFirstSubKey(), y->GetFirstSubKey()});
    }
    return true;
}

// Whether the text writer writes anything for `key` (a child of some block).
bool WrittenAsText(KeyValues* key) {
    if (key->GetFirstSubKey()) return true;
    switch (key->GetDataType()) {
        case KeyValues::TYPE_STRING: return *key->GetString() != '\0';
        case KeyValues::TYPE_INT:
        case KeyValues::TYPE_FLOAT:
        case KeyValues::TYPE_UINT64: return true;
        default: return false;
    }
}

// `read` is `original` (a tree read from text) written as text and read again: its
// children are the original's that were written, in order, with the same names, types
// and texts; a block becomes a section.
bool SameTextTrees(KeyValues* original, KeyValues* read) {
    std::vector<std::pair<KeyValues*, KeyValues*>> pending{{original, read}};
    while (!pending.empty()) {
        KeyValues* x = pending.back().first;
        KeyValues* y = pending.back().second;
        pending.pop_back();
        if (x->GetNameSymbol() != y->GetNameSymbol()) return false;
        if (x->GetFirstSubKey() || x == original) {
            if (y->GetDataType() != KeyValues::TYPE_NONE) return false;
            KeyValues* child = y->GetFirstSubKey();
            for (KeyValues* c = x->GetFirstSubKey(); c; c = c->GetNextKey()) {
                if (!WrittenAsText(c)) continue;
                if (!child) return false;
                pending.push_back({c, child});
                child = child->GetNextKey();
            }
            if (child) return false;
            continue;
        }
        if (x->GetDataType() != y->GetDataType() || y->GetFirstSubKey()) return false;
        const char* xText = x->GetSourceText() ? x->GetSourceText() : x->GetString();
        const char* yText = y->GetSourceText() ? y->GetSourceText() : y->GetString();
        if (strcmp(xText, yText) != 0) return false;
        if (x->GetDataType() == KeyValues::TYPE_FLOAT && !SameBits(x->GetFloat(), y->GetFloat())) return false;
        if (x->GetDataType() == KeyValues::TYPE_INT && x->GetInt() != y->GetInt()) return false;
    }
    return true;
}

std::vector<uint8_t> WriteBinary(KeyValues* tree, bool reverse) {
    CUtlBuffer out;
    out.SetLittleEndian(reverse);
    FUZZ_CHECK(tree->WriteAsBinary(out));
    const uint8_t* base = static_cast<const uint8_t*>(out.Base());
    return std::vector<uint8_t>(base, base + out.TellPut());
}

KeyValues* ReadBinary(const std::vector<uint8_t>& bytes, bool* ok) {
    ExactBuffer in(bytes);
    KeyValues* tree = new KeyValues("old");
    *ok = tree->ReadAsBinary(in.buf);
    return tree;
}

std::vector<char> WriteText(KeyValues* tree) {
    CUtlBuffer out(0, 0, CUtlBuffer::BUFFER_TEXT);
    FUZZ_CHECK(tree->RecursiveSaveToFile(out, 0));
    const char* base = static_cast<const char*>(out.Base());
    return std::vector<char>(base, base + out.TellPut());
}

KeyValues* ReadText(const char* text, size_t size, bool escapes) {
    ExactBuffer in(text, size, CUtlBuffer::BUFFER_TEXT);
    KeyValues* tree = new KeyValues("root");
    tree->UsesEscapeSequences(escapes);
    tree->LoadFromBuffer("fuzz.txt", in.buf);
    return tree;
}

void CheckBinary(const uint8_t* data, size_t size, bool escapes, bool reverse) {
    ExactBuffer in(data, size, 0);
    KeyValues* first = new KeyValues("old");
    const bool ok = first->ReadAsBinary(in.buf);
    const size_t consumed = static_cast<size_t>(in.buf.TellGet());

    const std::vector<uint8_t> bytes = WriteBinary(first, false);
    if (ok && data[0] != KeyValues::TYPE_END_OF_LIST) {
        // Only a name or text longer than a token can make the stream shorter.
        FUZZ_CHECK(bytes.size() <= consumed);
        if (bytes.size() == consumed) FUZZ_CHECK(memcmp(bytes.data(), data, consumed) == 0);
    }
    bool secondOk = false;
    KeyValues* second = ReadBinary(bytes, &secondOk);
    FUZZ_CHECK(secondOk || !ok);  // a tree read whole is read whole again
    if (secondOk) {
        FUZZ_CHECK(SameBinaryTrees(first, second));
        FUZZ_CHECK(WriteBinary(second, false) == bytes);
    }
    if (reverse) FUZZ_CHECK(WriteBinary(first, true).size() == bytes.size());
    second->deleteThis();

    // Whatever it holds, the tree can be written as text and read back.
    first->UsesEscapeSequences(escapes);
    std::vector<char> text = WriteText(first);
    KeyValues* fromText = ReadText(text.data(), text.size(), escapes);
    fromText->deleteThis();
    first->deleteThis();
}

void CheckText(const uint8_t* data, size_t size, bool escapes) {
    // Without escapes a quoted string reads the byte 127 as a 0 character, so no text
    // holding one survives being written in quotes: such bytes are left out of the text.
    std::vector<char> text(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size);
    if (!escapes) {
        for (char& c : text) {
            if (c == 127) c = 'x';
        }
    }
    KeyValues* first = ReadText(text.data(), text.size(), escapes);

    std::vector<char> written = WriteText(first);
    KeyValues* second = ReadText(written.data(), written.size(), escapes);
    FUZZ_CHECK(SameTextTrees(first, second));
    second->deleteThis();

    bool ok = false;
    KeyValues* binary = ReadBinary(WriteBinary(first, false), &ok);
    FUZZ_CHECK(ok);
    FUZZ_CHECK(SameBinaryTrees(first, binary));
    binary->deleteThis();
    first->deleteThis();
}

void Discard(const char*, void*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > 65536) return 0;
    HostTier0_SetOutputHook(&Discard, nullptr);
    HostTier0_SetDeveloperLevel(0);  // reports are not formatted: cascades stay fast
    const bool escapes = data[0] & 1;
    const bool reverse = (data[0] & 2) != 0;
    const int nodesBefore = HostVstdlib_LiveKeyValues();
    const int blocksBefore = HostTier0_LiveAllocations();

    CheckBinary(data + 1, size - 1, escapes, reverse);
    CheckText(data + 1, size - 1, escapes);

    FUZZ_CHECK(HostVstdlib_LiveKeyValues() == nodesBefore);
    FUZZ_CHECK(HostTier0_LiveAllocations() == blocksBefore);
    HostTier0_SetOutputHook(nullptr, nullptr);
    HostTier0_SetDeveloperLevel(1);
    return 0;
}
