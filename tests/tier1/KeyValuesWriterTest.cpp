// Tests of the key-value text writer: the exact layout, what each type writes (or does
// not), escapes per block, kept source texts, write failures, depth, and text round trips.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/ConsoleCapture.h"
#include "support/KeyValuesDump.h"
#include "support/KeyValuesLeakTest.h"
#include "support/MemoryFileSystem.h"
#include "support/SmallStack.h"
#include "tier1/KeyValues.h"
#include "tier1/UtlBuffer.h"

namespace {

std::string Saved(KeyValues* root, int indent = 0) {
    CUtlBuffer buf(0, 0, CUtlBuffer::BUFFER_TEXT);
    EXPECT_TRUE(root->RecursiveSaveToFile(buf, indent));
    return std::string(static_cast<const char*>(buf.Base()), static_cast<size_t>(buf.TellPut()));
}

class KeyValuesWriterTest : public KeyValuesLeakTest {
protected:
    // A new root loaded from `text`, owned by the fixture.
    KeyValues* Load(const std::string& text, bool escapes = false) {
        KeyValues* root = Owned(new KeyValues("unnamed"));
        root->UsesEscapeSequences(escapes);
        root->LoadFromBuffer("t.txt", text.c_str());
        return root;
    }
};

TEST_F(KeyValuesWriterTest, WritesTheTabbedLayoutToBufferAndFileAlike) {
    KeyValues* root = Owned(new KeyValues("cfg"));
    root->SetString("a", "x");
    root->SetInt("n", 5);
    root->SetFloat("s/f", 0.5f);
    const std::string nineLines =
        "\"cfg\"\n"
        "{\n"
        "\t\"a\"\t\t\"x\"\n"
        "\t\"n\"\t\t\"5\"\n"
        "\t\"s\"\n"
        "\t{\n"
        "\t\t\"f\"\t\t\"0.500000\"\n"
        "\t}\n"
        "}\n";
    EXPECT_EQ(Saved(root), nineLines);

    EXPECT_EQ(Saved(root, 2),
              "\t\t\"cfg\"\n\t\t{\n\t\t\t\"a\"\t\t\"x\"\n\t\t\t\"n\"\t\t\"5\"\n\t\t\t\"s\"\n\t\t\t{\n"
              "\t\t\t\t\"f\"\t\t\"0.500000\"\n\t\t\t}\n\t\t}\n");
    EXPECT_EQ(Saved(root, -3), nineLines) << "a negative indent counts as 0";
    EXPECT_EQ(Saved(root, 70).substr(0, 71), std::string(70, '\t') + "\"") << "indents longer than one run";

    // Both destinations at once receive the same bytes; automatic tabs of a text buffer
    // never add to them, and the tree is not changed by writing (n stays an int).
    MemoryFileSystem fs;
    CUtlBuffer buf(0, 0, CUtlBuffer::BUFFER_TEXT);
    buf.PushTab();
    EXPECT_TRUE(root->RecursiveSaveToFile(&fs, fs.Open("out.txt", "wb", nullptr), &buf, 0));
    EXPECT_EQ(fs.files["out.txt"], nineLines);
    EXPECT_EQ(std::string(static_cast<const char*>(buf.Base()), static_cast<size_t>(buf.TellPut())), nineLines);
    EXPECT_EQ(root->GetDataType("n"), KeyValues::TYPE_INT);

    // The root's later siblings are not written.
    root->SetNextKey(new KeyValues("sibling", "k", "v"));
    EXPECT_EQ(Saved(root), nineLines);
}

TEST_F(KeyValuesWriterTest, EachTypeWritesItsValueOrNothing) {
    KeyValues* root = Owned(new KeyValues("r"));
    root->SetString("empty", "");
    root->FindKey("emptySection", true);
    int target = 0;
    root->SetPtr("ptr", &target);
    root->SetWString("wide", L"text");
    root->SetColor("c1", Color(1, 2, 3, 4));
    root->SetInt("neg", -2147483647 - 1);
    root->SetFloat("big", -1.25e10f);
    root->SetUint64("one", 1);
    root->SetUint64("order", 0x0102030405060708ull);
    root->SetColor("c2", Color(5, 6, 7, 8));
    KeyValues* valued = root->CreateKey("valued");
    valued->SetStringValue("dropped");
    valued->SetInt("inside", 1);  // a value key with a child is written as a block
    valued->SetInt(nullptr, 9);

    ConsoleCapture console;
    EXPECT_EQ(Saved(root),
              "\"r\"\n{\n"
              "\t\"empty\"\t\t\"\"\n"
              "\t\"emptySection\"\n\t{\n\t}\n"
              "\t\"neg\"\t\t\"-2147483648\"\n"
              "\t\"big\"\t\t\"-12499999744.000000\"\n"
              "\t\"one\"\t\t\"0100000000000000\"\n"
              "\t\"order\"\t\t\"0807060504030201\"\n"
              "\t\"valued\"\n\t{\n\t\t\"inside\"\t\t\"1\"\n\t}\n"
              "}\n");
    const std::string message = "KeyValues::RecursiveSaveToFile: TODO, missing code for TYPE_COLOR.\n";
    EXPECT_EQ(console.Text(), message + message) << "once per colour key";

    // The 64-bit text reads back by the ordinary typing rule, not as a 64-bit value.
    KeyValues* back = Load(Saved(root));
    EXPECT_EQ(back->GetDataType("one"), KeyValues::TYPE_INT);
    EXPECT_EQ(back->GetInt("one"), 2147483647) << "100000000000000, saturated";
    EXPECT_EQ(back->GetDataType("order"), KeyValues::TYPE_INT);
    EXPECT_STREQ(back->GetString("order"), "0807060504030201");
}

TEST_F(KeyValuesWriterTest, ConvertsQuotesAlwaysAndBackslashesWithEscapes) {
    struct Case {
        bool escapes;
        const char* value;
        const char* written;
    } cases[] = {
        {false, "say \"hi\"", "say \\\"hi\\\""},    {true, "say \"hi\"", "say \\\"hi\\\""},
        {false, "c:\\dir\\", "c:\\dir\\"},          {true, "c:\\dir\\", "c:\\\\dir\\\\"},
        {true, "tab\tline\nend", "tab\tline\nend"},  // nothing else changes
    };
    for (const Case& c : cases) {
        KeyValues* root = Owned(new KeyValues("r"));
        root->UsesEscapeSequences(c.escapes);
        root->SetString("k", c.value);
        EXPECT_EQ(Saved(root), std::string("\"r\"\n{\n\t\"k\"\t\t\"") + c.written + "\"\n}\n") << c.value;
        KeyValues* back = Load(Saved(root), c.escapes);
        if (c.escapes || !strchr(c.value, '"')) {
            EXPECT_STREQ(back->GetString("k"), c.value) << "reads back unchanged";
        } else {
            EXPECT_STREQ(back->GetString("k"), "say \\") << "without escapes a quote cannot be read back";
        }
    }

    // Every name is converted, numbers' names too, each line by the setting of the block
    // holding it; the root's own name line by the root's setting.
    KeyValues* root = Owned(new KeyValues("r\\oot"));
    root->UsesEscapeSequences(true);
    KeyValues* sub = root->CreateKey("s\\ub");  // written by the root's setting (on)
    sub->UsesEscapeSequences(false);
    sub->SetInt("i\\\"nt", 1);  // written by sub's setting (off)
    root->SetFloat("f\"", 1.5f);
    EXPECT_EQ(Saved(root),
              "\"r\\\\oot\"\n{\n"
              "\t\"s\\\\ub\"\n\t{\n\t\t\"i\\\\\"nt\"\t\t\"1\"\n\t}\n"
              "\t\"f\\\"\"\t\t\"1.500000\"\n"
              "}\n");

    // A long text with many quotes goes out whole through the scratch area, and runs of
    // escapes at either parity meet every edge of it.
    std::string longText(5000, 'a');
    for (size_t i = 0; i < longText.size(); i += 3) longText[i] = '"';
    KeyValues* big = Owned(new KeyValues("r"));
    big->UsesEscapeSequences(true);
    for (const std::string& text : {longText, std::string(700, '"'), "a" + std::string(700, '"')}) {
        big->SetString("k", text.c_str());
        std::string escaped;
        for (char c : text) escaped += c == '"' ? "\\\"" : std::string(1, c);
        EXPECT_EQ(Saved(big), "\"r\"\n{\n\t\"k\"\t\t\"" + escaped + "\"\n}\n") << text.substr(0, 2);
    }
}

TEST_F(KeyValuesWriterTest, NumbersReadFromTextAreWrittenWithTheirText) {
    const char* text =
        "root { sig 5589E5 long 1234567890123456 hex 0x10 oct 007 exp 1e3 pad \" 5\" big 99999999999 "
        "f 2.50 nan nan inf -inf word x5 s { deeper 5589E55383EC14 } }";
    KeyValues* first = Load(text);
    first->SetInt("code", 7);  // set by code: written by the type's rule
    const std::string saved = Saved(first);
    for (const char* value :
         {"\"5589E5\"", "\"1234567890123456\"", "\"0x10\"", "\"007\"", "\"1e3\"", "\" 5\"", "\"99999999999\"",
          "\"2.50\"", "\"nan\"", "\"-inf\"", "\"x5\"", "\"5589E55383EC14\"", "\"code\"\t\t\"7\""}) {
        EXPECT_NE(saved.find(value), std::string::npos) << value << " in\n" << saved;
    }
    EXPECT_EQ(first->GetDataType("sig"), KeyValues::TYPE_FLOAT) << "writing changes no key";

    // text -> tree -> text -> tree: equal trees, types and kept texts, and the second
    // text is the first.
    KeyValues* second = Load(saved);
    EXPECT_EQ(Saved(second), saved) << "the second text is the first";
    EXPECT_STREQ(second->FindKey("code")->GetSourceText(), "7");
    for (KeyValues* tree : {first, second}) tree->RemoveSubKey(Owned(tree->FindKey("code")));
    EXPECT_EQ(DumpKeyValues(second, kDumpSourceText), DumpKeyValues(first, kDumpSourceText));
}

TEST_F(KeyValuesWriterTest, WriteFailuresStopTheWriteAndAreReported) {
    KeyValues* root = Owned(new KeyValues("cfg", "a", "x"));
    MemoryFileSystem fs;
    std::string& written = fs.files["cfg/out.txt"];
    ConsoleCapture console;
    EXPECT_TRUE(root->SaveToFile(&fs, "cfg/out.txt", "MOD"));
    EXPECT_EQ(written, "\"cfg\"\n{\n\t\"a\"\t\t\"x\"\n}\n");
    EXPECT_EQ(fs.opened, (std::vector<std::string>{"cfg/out.txt"}));
    EXPECT_EQ(fs.pathIds, (std::vector<std::string>{"MOD"}));
    EXPECT_EQ(fs.modes, (std::vector<std::string>{"wb"}));
    EXPECT_EQ(fs.openFiles, 0);
    EXPECT_EQ(console.Text(), "");

    // A file system that takes one byte less than the whole text.
    const int whole = static_cast<int>(written.size());
    fs.writeLimit = whole - 1;
    EXPECT_FALSE(root->SaveToFile(&fs, "cfg/out.txt", nullptr));
    EXPECT_EQ(written.size(), static_cast<size_t>(whole - 1));
    EXPECT_EQ(fs.openFiles, 0) << "closed after a failed write too";
    EXPECT_EQ(console.Text(), "KeyValues::SaveToFile: couldn't write file \"cfg/out.txt\" in path \"NULL\".\n");
    fs.writeLimit = whole;
    EXPECT_TRUE(root->SaveToFile(&fs, "cfg/out.txt", nullptr)) << "an exact fit is no failure";

    // Failing from the start: nothing more is asked of the file system after the first
    // short write.
    fs.writeLimit = 0;
    fs.writeCalls = 0;
    EXPECT_FALSE(root->SaveToFile(&fs, "cfg/out.txt", nullptr));
    EXPECT_EQ(fs.writeCalls, 1);

    // A buffer that cannot grow keeps what fitted and reports the rest.
    char memory[8];
    CUtlBuffer small(memory, sizeof(memory), CUtlBuffer::BUFFER_TEXT);
    EXPECT_FALSE(root->RecursiveSaveToFile(small, 0));
    EXPECT_FALSE(small.IsValid());
    EXPECT_EQ(std::string(memory, 8), "\"cfg\"\n{\n");
}

TEST_F(KeyValuesWriterTest, UnopenableFilesAreReportedAndNothingIsWritten) {
    KeyValues* root = Owned(new KeyValues("cfg", "a", "x"));
    MemoryFileSystem fs;
    fs.refuseWrites = true;
    ConsoleCapture console;
    EXPECT_FALSE(root->SaveToFile(&fs, "cfg/locked.txt", nullptr));
    EXPECT_FALSE(root->SaveToFile(&fs, "cfg/locked.txt", "GAME"));
    EXPECT_FALSE(root->SaveToFile(&fs, nullptr, nullptr));
    EXPECT_FALSE(root->SaveToFile(nullptr, "cfg/x.txt", "MOD"));
    EXPECT_EQ(console.Lines(), (std::vector<std::string>{
                                   "KeyValues::SaveToFile: couldn't open file \"cfg/locked.txt\" in path \"NULL\".",
                                   "KeyValues::SaveToFile: couldn't open file \"cfg/locked.txt\" in path \"GAME\".",
                                   "KeyValues::SaveToFile: couldn't open file \"NULL\" in path \"NULL\".",
                                   "KeyValues::SaveToFile: couldn't open file \"cfg/x.txt\" in path \"MOD\".",
                               }));
    EXPECT_EQ(fs.opened.size(), 2u) << "a null name is never handed to the file system";
    EXPECT_TRUE(fs.files.empty());
    EXPECT_EQ(fs.writeCalls, 0);
}

// A recursive writer would overflow the small stack long before this depth.
TEST_F(KeyValuesWriterTest, DeepTreesAreWrittenWithoutRecursion) {
    const int depth = 3000;
    size_t size = 0;
    std::string tail;
    RunWithSmallStack(128 * 1024, [&] {
        KeyValues* root = new KeyValues("k");
        KeyValues* node = root;
        for (int i = 0; i < depth; ++i) node = node->CreateKey("k");
        node->SetInt("leaf", 1);
        CUtlBuffer buf(0, 0, CUtlBuffer::BUFFER_TEXT);
        EXPECT_TRUE(root->RecursiveSaveToFile(buf, 0));
        size = static_cast<size_t>(buf.TellPut());
        tail = std::string(static_cast<const char*>(buf.Base()) + size - 4, 4);
        root->deleteThis();
    });
    // Levels 0..depth each write a name line, "{" and "}" with their tabs (3 n + 8 bytes
    // at level n), and the leaf line at level depth + 1 takes depth + 1 + 12 bytes.
    size_t expected = 0;
    for (size_t n = 0; n <= depth; ++n) expected += 3 * n + 8;
    expected += depth + 1 + 12;
    EXPECT_EQ(size, expected);
    EXPECT_EQ(tail, "}\n}\n");
}

// Real files from public game repositories (the shared corpus beside the project, or
// VL_KEYVALUES_CORPUS): load, save and load again gives the same tree, empty values and
// empty sections included, and a second save writes the same text.
TEST_F(KeyValuesWriterTest, RealFilesRoundTripThroughTextWithoutLosingKeys) {
    const char* configured = getenv("VL_KEYVALUES_CORPUS");
    const std::filesystem::path corpus = configured ? configured : VL_SOURCE_DIR "/../shared/corpora/keyvalues";
    if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no key-value corpus at " << corpus;
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
        const std::filesystem::path& path = entry.path();
        if (!entry.is_regular_file() || path.extension() == ".tsv" || path.parent_path().filename() == "binary")
            continue;
        std::ifstream in(path, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ConsoleCapture quiet;  // some files have errors; the reader reports them and goes on
        // Every top-level block, as a file of several blocks is written.
        auto savedChain = [](KeyValues* root) {
            std::string text;
            for (KeyValues* block = root; block; block = block->GetNextKey()) text += Saved(block);
            return text;
        };
        KeyValues* first = Load(text);
        const std::string saved = savedChain(first);
        KeyValues* second = Load(saved);
        // Compared as booleans: a failure names the file, not megabytes of dump.
        EXPECT_TRUE(DumpKeyValues(second, kDumpSiblings) == DumpKeyValues(first, kDumpSiblings)) << path;
        EXPECT_TRUE(savedChain(second) == saved) << path;
        ++files;
    }
    EXPECT_GE(files, 70);
}

}  // namespace
