// Tests of the key-value binary form: the exact bytes of each entry, the byte-order flag,
// round trips both ways, truncated and hostile input, the nesting bound and depth.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "support/ConsoleCapture.h"
#include "support/ExactBuffer.h"
#include "support/KeyValuesDump.h"
#include "support/KeyValuesLeakTest.h"
#include "support/SmallStack.h"
#include "tier1/KeyValues.h"
#include "tier1/UtlBuffer.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Written(KeyValues* root, bool reverse = false) {
    CUtlBuffer buf;
    buf.SetLittleEndian(reverse);
    EXPECT_TRUE(root->WriteAsBinary(buf));
    const unsigned char* base = static_cast<const unsigned char*>(buf.Base());
    return Bytes(base, base + buf.TellPut());
}

// Bytes built from pieces: numbers are bytes, strings are their characters and a 0,
// byte vectors their bytes.
struct Piece {
    Piece(int byte) : bytes{static_cast<unsigned char>(byte)} {}
    Piece(const char* text) : bytes(text, text + strlen(text) + 1) {}
    Piece(const Bytes& bytes) : bytes(bytes) {}
    Bytes bytes;
};
Bytes Make(std::initializer_list<Piece> pieces) {
    Bytes out;
    for (const Piece& p : pieces) out.insert(out.end(), p.bytes.begin(), p.bytes.end());
    return out;
}

class KeyValuesBinaryTest : public KeyValuesLeakTest {
protected:
    // Reads `data` into a new root that the fixture owns; the result of ReadAsBinary in *ok.
    KeyValues* Read(const Bytes& data, bool* ok = nullptr) {
        ExactBuffer in(data);
        KeyValues* root = Owned(new KeyValues("old"));
        bool result = root->ReadAsBinary(in.buf);
        if (ok) *ok = result;
        return root;
    }
};

TEST_F(KeyValuesBinaryTest, EntriesHaveTheirExactBytes) {
    // Each entry in a root section "k": its type, name and value, then the two lists' ends.
    struct Case {
        const char* what;
        void (*set)(KeyValues*);
        Bytes bytes;
    } cases[] = {
        {"string", [](KeyValues* k) { k->SetString("s", "hi"); }, Make({1, "s", "hi"})},
        {"empty string", [](KeyValues* k) { k->SetString("e", ""); }, Make({1, "e", 0})},
        {"int", [](KeyValues* k) { k->SetInt("n", 5); }, Make({2, "n", 5, 0, 0, 0})},
        {"negative int", [](KeyValues* k) { k->SetInt("i", -2); }, Make({2, "i", 0xFE, 0xFF, 0xFF, 0xFF})},
        {"float", [](KeyValues* k) { k->SetFloat("f", 1.0f); }, Make({3, "f", 0, 0, 0x80, 0x3F})},
        {"pointer", [](KeyValues* k) { k->SetPtr("p", reinterpret_cast<void*>(0x12345678)); },
         Make({4, "p", 0x78, 0x56, 0x34, 0x12})},
        {"wide", [](KeyValues* k) { k->SetWString("w", L"text"); }, Make({5, "w"})},
        {"colour", [](KeyValues* k) { k->SetColor("c", Color(10, 20, 30, 40)); },
         Make({6, "c", 0x0A, 0x14, 0x1E, 0x28})},
        {"64-bit", [](KeyValues* k) { k->SetUint64("u", 0x0102030405060708ull); },
         Make({7, "u", 8, 7, 6, 5, 4, 3, 2, 1})},
        {"empty section", [](KeyValues* k) { k->FindKey("x", true); }, Make({0, "x", 8})},
    };
    for (const Case& c : cases) {
        KeyValues* key = Owned(new KeyValues("k"));
        c.set(key);
        EXPECT_EQ(Written(key), Make({0, "k", c.bytes, 8, 8})) << c.what;
    }
}

TEST_F(KeyValuesBinaryTest, ByteOrderFlagReversesNumbersOnWritingOnly) {
    KeyValues* root = Owned(new KeyValues("k"));
    root->SetInt("i", 1);
    root->SetColor("c", Color(1, 2, 3, 4));
    root->SetUint64("u", 0x0102030405060708ull);
    const Bytes reversed = Make({0, "k", 2, "i", 0, 0, 0, 1, 6, "c", 1, 2, 3, 4, 7, "u", 1, 2, 3, 4, 5, 6, 7, 8, 8, 8});
    EXPECT_EQ(Written(root, true), reversed) << "a colour is four single bytes, never reversed";
    KeyValues* back = Read(reversed);
    EXPECT_EQ(back->GetInt("i"), 0x01000000) << "the reader does not reverse";
    EXPECT_EQ(back->GetUint64("u"), 0x0807060504030201ull);
    EXPECT_TRUE(back->GetColor("c") == Color(1, 2, 3, 4));
}

TEST_F(KeyValuesBinaryTest, TreesRoundTripWithEveryTypeTheFormatCarries) {
    KeyValues* root = Owned(new KeyValues("root"));
    root->SetString("s", "text with \"quotes\" and \\");
    root->SetString("empty", "");
    root->SetInt("i", -2147483647 - 1);
    root->SetFloat("f", -0.0f);
    float nan;
    const unsigned int nanBits = 0x7FA00001u;  // a signalling NaN with a payload
    memcpy(&nan, &nanBits, sizeof(nan));
    root->SetFloat("nan", nan);
    root->SetPtr("p", reinterpret_cast<void*>(0xDEADBEEF));
    root->SetColor("c", Color(255, 0, 128, 7));
    root->SetUint64("u", 0xFFFFFFFFFFFFFFFFull);
    root->SetWString("w", L"wide");
    root->FindKey("a/b/c", true)->SetInt("deep", 3);
    root->FindKey("a/empty", true);
    root->CreateKey("")->SetString(nullptr, "unnamed");
    // The longest name and text the binary form keeps: 1022 characters.
    std::string longName(1022, 'n');
    root->SetString(longName.c_str(), std::string(1022, 'v').c_str());
    KeyValues* second = new KeyValues("second", "x", "1");
    root->SetNextKey(second);
    second->SetNextKey(new KeyValues("third"));

    const Bytes bytes = Written(root);
    bool ok = false;
    KeyValues* back = Read(bytes, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(DumpKeyValues(back, kDumpSiblings), DumpKeyValues(root, kDumpSiblings))
        << "every field the format carries";
    EXPECT_TRUE(back->FindKey("a/empty") && !back->FindKey("a/empty")->GetFirstSubKey())
        << "an empty section reads back without children";
    EXPECT_EQ(back->GetDataType("w"), KeyValues::TYPE_WSTRING);
    ASSERT_NE(back->GetNextKey(), nullptr);
    EXPECT_STREQ(back->GetNextKey()->GetName(), "second");
    EXPECT_EQ(Written(back), bytes) << "tree -> binary -> tree -> binary gives the same bytes";
}

TEST_F(KeyValuesBinaryTest, BytesRoundTripIdentically) {
    const Bytes inputs[] = {
        Make({0, "r", 2, "n", 5, 0, 0, 0, 8, 8}),
        Make({0, "r", 0, "empty", 8, 1, "s", 0, 8, 0, "next", 8, 0, "", 8, 8}),
        Make({9, "unknown", 200, "high", 5, "w", 7, "u", 1, 2, 3, 4, 5, 6, 7, 8, 3, "f", 1, 0, 0x80, 0x7F, 8}),
    };
    for (const Bytes& input : inputs) {
        bool ok = false;
        KeyValues* tree = Read(input, &ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(Written(tree), input);
    }
    KeyValues* unknown = Read(inputs[2]);
    EXPECT_EQ(unknown->GetDataType(), 9);
    EXPECT_EQ(static_cast<unsigned char>(unknown->GetNextKey()->GetDataType()), 200) << "stored as it is";
    EXPECT_EQ(unknown->GetNextKey()->GetNextKey()->GetNextKey()->GetUint64(), 0x0807060504030201ull)
        << "the entry after a 64-bit value is read in its place";
    // An empty list leaves the root a nameless section, which is written as an entry:
    // a tree always has its root.
    bool ok = false;
    KeyValues* empty = Read(Make({8}), &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(empty->GetNameSymbol(), -1);
    EXPECT_EQ(empty->GetFirstSubKey(), nullptr);
    EXPECT_EQ(Written(empty), Make({0, "", 8, 8}));
}

TEST_F(KeyValuesBinaryTest, NamesAndTextsKeepAtMost1022Characters) {
    // Read into a 1024-byte token with a limit of 1023: one less than the text reader keeps.
    for (int length : {1021, 1022, 1023, 1024, 3000}) {
        const std::string name(static_cast<size_t>(length), 'n');
        const std::string text(static_cast<size_t>(length), 't');
        bool ok = false;
        KeyValues* tree = Read(Make({1, name.c_str(), text.c_str(), 2, "after", 1, 0, 0, 0, 8}), &ok);
        EXPECT_TRUE(ok) << length;
        const size_t kept = length < 1022 ? length : 1022;
        EXPECT_EQ(std::string(tree->GetName()), name.substr(0, kept));
        EXPECT_EQ(std::string(tree->GetString()), text.substr(0, kept));
        ASSERT_NE(tree->GetNextKey(), nullptr) << "the rest is skipped, not read as entries";
        EXPECT_EQ(tree->GetNextKey()->GetInt(), 1);
    }
}

TEST_F(KeyValuesBinaryTest, RefusesTextAndInvalidBuffersWithoutChangingAnything) {
    KeyValues* root = Owned(new KeyValues("r", "k", 1));
    CUtlBuffer text(0, 0, CUtlBuffer::BUFFER_TEXT);
    EXPECT_FALSE(root->WriteAsBinary(text));
    EXPECT_EQ(text.TellPut(), 0);
    text.PutString("garbage");
    EXPECT_FALSE(root->ReadAsBinary(text));
    EXPECT_EQ(text.TellGet(), 0);

    CUtlBuffer invalid;
    invalid.GetChar();  // reading from nothing sets the error bit
    ASSERT_FALSE(invalid.IsValid());
    EXPECT_FALSE(root->ReadAsBinary(invalid));
    EXPECT_FALSE(root->WriteAsBinary(invalid));
    EXPECT_EQ(invalid.TellPut(), 0);
    EXPECT_STREQ(root->GetName(), "r");
    EXPECT_EQ(root->GetInt("k"), 1);

    // Running out of room: what fitted stays, the result is false.
    unsigned char memory[6];
    CUtlBuffer small(memory, sizeof(memory), 0);
    EXPECT_FALSE(root->WriteAsBinary(small));
    EXPECT_EQ(Bytes(memory, memory + 6), Make({0, "r", 2, "k"}));
}

TEST_F(KeyValuesBinaryTest, TruncatedInputFailsKeepingWhatWasRead) {
    const Bytes whole =
        Make({0, "r", 1, "s", "text", 7, "u", 1, 2, 3, 4, 5, 6, 7, 8, 0, "sub", 3, "f", 0, 0, 0x80, 0x3F, 8, 8});
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        bool ok = true;
        Read(Bytes(whole.begin(), whole.begin() + cut), &ok);
        EXPECT_FALSE(ok) << cut;
    }
    // Cut inside the 64-bit value: the key keeps its type and name.
    bool ok = true;
    KeyValues* tree = Read(Bytes(whole.begin(), whole.begin() + 15), &ok);
    EXPECT_FALSE(ok);
    EXPECT_STREQ(tree->GetString("s"), "text");
    EXPECT_EQ(tree->GetDataType("u"), KeyValues::TYPE_UINT64);
    // A name without its 0 byte at the end of the data.
    KeyValues* cutName = Read(Bytes{2, 'a', 'b'}, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(cutName->GetDataType(), KeyValues::TYPE_INT);
}

TEST_F(KeyValuesBinaryTest, NestingIsBoundedOnReading) {
    auto nested = [](int depth) {
        Bytes bytes;
        for (int i = 0; i < depth; ++i) bytes.insert(bytes.end(), {0, 'k', 0});
        bytes.insert(bytes.end(), static_cast<size_t>(depth) + 1, 8);
        return bytes;
    };
    ConsoleCapture console;
    bool ok = false;
    // Sections at depths 0 to kMaxBinaryNesting: the deepest a text can give.
    Read(nested(KeyValues::kMaxBinaryNesting + 1), &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(console.Text(), "");

    const Bytes tooDeep = nested(KeyValues::kMaxBinaryNesting + 2);
    ExactBuffer in(tooDeep);
    KeyValues* tree = Owned(new KeyValues("old"));
    EXPECT_FALSE(tree->ReadAsBinary(in.buf));
    EXPECT_EQ(console.Text(), "KeyValues::ReadAsBinary: lists nested deeper than 256\n");
    EXPECT_TRUE(in.buf.IsValid());
    EXPECT_EQ(in.buf.TellGet(), 3 * (KeyValues::kMaxBinaryNesting + 1) + 1) << "stopped after the type byte";
    int depth = 0;
    KeyValues* node = tree;
    for (; node->GetFirstSubKey(); node = node->GetFirstSubKey()) ++depth;
    EXPECT_EQ(depth, KeyValues::kMaxBinaryNesting);
    EXPECT_EQ(node->GetDataType(), KeyValues::TYPE_NONE);
    EXPECT_STREQ(node->GetName(), "k");

    // Every tree the text reader can build reads back from binary: blocks as deep as it
    // allows, and the empty section it leaves for a block nested deeper.
    std::string text;
    for (int i = 0; i < KeyValues::kMaxBlockNesting; ++i) text += "k { ";
    text += "v 1 deeper { x 1 } ";
    for (int i = 0; i < KeyValues::kMaxBlockNesting; ++i) text += "} ";
    KeyValues* fromText = Owned(new KeyValues("t"));
    fromText->LoadFromBuffer("deep.txt", text.c_str());
    console.Clear();
    Read(Written(fromText), &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(console.Text(), "");
}

// A recursive writer would overflow the small stack long before this depth.
TEST_F(KeyValuesBinaryTest, DeepTreesAreWrittenWithoutRecursion) {
    const int depth = 100000;
    size_t size = 0;
    bool ok = false;
    RunWithSmallStack(256 * 1024, [&] {
        KeyValues* root = new KeyValues("k");
        KeyValues* node = root;
        for (int i = 0; i < depth; ++i) node = node->CreateKey("k");
        node->SetInt("leaf", 1);
        CUtlBuffer buf;
        ok = root->WriteAsBinary(buf);
        size = static_cast<size_t>(buf.TellPut());
        root->deleteThis();
    });
    EXPECT_TRUE(ok);
    // Each section: type, "k", 0 and its end marker; the leaf entry; the top end marker.
    EXPECT_EQ(size, static_cast<size_t>(depth + 1) * 4 + 10 + 1);
}

}  // namespace
