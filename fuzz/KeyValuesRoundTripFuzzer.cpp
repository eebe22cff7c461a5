// Round-trip fuzz target for the key-value writers and the binary reader. Each input is
// read twice, from exact-size copies (a read past the data is caught by the sanitizers):
//   - as the binary form: the tree written back and read again must be the same tree;
//     a list read whole is written back as the same bytes, or shorter only where a
//     name or text was longer than a token; the tree also goes through the text writer;
//   - as text: the tree written as text and read again must be the same tree less what
//     text cannot carry (pointers, wide texts, colours); written as binary and read
//     again it must be the same tree, kept source texts aside, with names and texts cut
//     to the 1022 characters the binary form keeps.
// Every node and allocator block must be given back at the end.
// Input: byte 0 holds flags (bit 0: escapes on; bit 1: a second binary write with the
// byte-order flag set); the rest is the data.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "fuzz/FuzzCheck.h"
#include "host/tier0/HostTier0.h"
#include "host/vstdlib/HostVstdlib.h"
#include "tests/support/ExactBuffer.h"
#include "tests/support/KeyValuesDump.h"
#include "tier1/KeyValues.h"
#include "tier1/UtlBuffer.h"

namespace {

// What the binary form carries of a whole chain: names (a node without a name is
// written with the empty one), types and values.
std::string BinaryDump(KeyValues* root) { return DumpKeyValues(root, kDumpSiblings); }

// Whether the text writer writes anything for `key` (a child of some block): empty texts
// and sections without children are written too.
bool WrittenAsText(KeyValues* key) {
    if (key->GetFirstSubKey()) return true;
    switch (key->GetDataType()) {
        case KeyValues::TYPE_NONE:
        case KeyValues::TYPE_STRING:
        case KeyValues::TYPE_INT:
        case KeyValues::TYPE_FLOAT:
        case KeyValues::TYPE_UINT64: return true;
        default: return false;
    }
}

// What the text form carries of `tree` (read from text, so its blocks are sections and
// its numbers keep their texts), rendered with the numbers' texts: a copy without the
// children the writer leaves out, decided on the tree as it is (a block whose children
// are all left out is still written, empty).
std::string TextDump(KeyValues* tree) {
    KeyValues* copy = tree->MakeCopy();
    std::vector<KeyValues*> pending{copy};
    while (!pending.empty()) {
        KeyValues* node = pending.back();
        pending.pop_back();
        for (KeyValues* child = node->GetFirstSubKey(); child;) {
            KeyValues* next = child->GetNextKey();
            if (WrittenAsText(child)) {
                pending.push_back(child);
            } else {
                node->RemoveSubKey(child);
                child->deleteThis();
            }
            child = next;
        }
    }
    std::string dump = DumpKeyValues(copy, kDumpSourceText);
    copy->deleteThis();
    return dump;
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

// `dump` with every quoted name or text cut to the 1022 characters the binary form
// keeps (the dump quotes each with '"' and writes '"' and '\\' as two characters, other
// bytes outside printable ASCII as four, "\\xNN").
std::string CutToBinaryBound(const std::string& dump) {
    std::string cut;
    size_t i = 0;
    while (i < dump.size()) {
        if (dump[i] != '"') {
            cut += dump[i++];
            continue;
        }
        cut += dump[i++];
        size_t characters = 0;
        while (i < dump.size() && dump[i] != '"') {
            const size_t piece = dump[i] != '\\' ? 1 : dump.compare(i + 1, 1, "x") == 0 ? 4 : 2;
            if (characters++ < 1022) cut.append(dump, i, piece);
            i += piece;
        }
        if (i < dump.size()) cut += dump[i++];
    }
    return cut;
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
        FUZZ_CHECK(BinaryDump(second) == BinaryDump(first));
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
    // The tree written as text and read again: the children that were written, in order,
    // with the same names, types and texts.
    FUZZ_CHECK(DumpKeyValues(second, kDumpSourceText) == TextDump(first));
    second->deleteThis();

    bool ok = false;
    KeyValues* binary = ReadBinary(WriteBinary(first, false), &ok);
    FUZZ_CHECK(ok);
    FUZZ_CHECK(BinaryDump(binary) == CutToBinaryBound(BinaryDump(first)));
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
