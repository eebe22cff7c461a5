// Tests of the key-value text reader: value typing, blocks and chains, nesting limits, error
// reports with their key context, escapes, token limits, includes and whole-file reads.
#include <gtest/gtest.h>
#include <limits.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/tier0/HostTier0.h"
#include "support/ConsoleCapture.h"
#include "support/ExactBuffer.h"
#include "support/KeyValuesDump.h"
#include "support/KeyValuesLeakTest.h"
#include "support/MemoryFileSystem.h"
#include "support/SmallStack.h"
#include "tier1/IBaseFileSystem.h"
#include "tier1/KeyValues.h"
#include "tier1/KeyValuesText.h"
#include "tier1/UtlBuffer.h"

namespace {

class KeyValuesReaderTest : public KeyValuesLeakTest {
protected:
    void TearDown() override {
        HostTier0_SetDeveloperLevel(1);
        KeyValuesLeakTest::TearDown();
    }
};

// A root loaded from `text` (includes read from `fs`), released by the destructor.
struct Loaded {
    explicit Loaded(const std::string& text, bool escapes = false, const char* name = "t.txt",
                    IBaseFileSystem* fs = nullptr)
        : root(new KeyValues("unnamed")) {
        root->UsesEscapeSequences(escapes);
        root->LoadFromBuffer(name, text.c_str(), fs);
    }
    ~Loaded() { root->deleteThis(); }
    KeyValues* operator->() const { return root; }
    KeyValues* root;
};

std::vector<std::string> ChainNames(KeyValues* kv) {
    std::vector<std::string> names;
    for (; kv; kv = kv->GetNextKey()) names.push_back(kv->GetName());
    return names;
}

std::vector<std::string> ErrorLines(const ConsoleCapture& console) {
    std::vector<std::string> errors;
    for (const std::string& line : console.Lines()) {
        if (line.rfind("KeyValues Error: ", 0) == 0) errors.push_back(line);
    }
    return errors;
}

}  // namespace

TEST_F(KeyValuesReaderTest, ValuesAreTypedByHowFarStrtolAndStrtodRead) {
    EXPECT_EQ(DumpKeyValues(Loaded("root { \"a\" \"1\" b 2.5 c \"x y\" d \"\" }").root),
              "\"root\" none\n  \"a\" int 1\n  \"b\" float 2.5 (0x40200000)\n  \"c\" string \"x y\"\n"
              "  \"d\" string \"\"\n");

    struct Case {
        const char* text;
        KeyValues::DataType type;
        double value;  // the int or float value
    };
    const Case cases[] = {
        {"12abc", KeyValues::TYPE_STRING, 0},
        {"1e3", KeyValues::TYPE_FLOAT, 1000},
        {"0.5", KeyValues::TYPE_FLOAT, 0.5},
        {"0x10", KeyValues::TYPE_FLOAT, 16},
        {"-7", KeyValues::TYPE_INT, -7},
        {"007", KeyValues::TYPE_INT, 7},
        {"+5", KeyValues::TYPE_INT, 5},
        {"12 ", KeyValues::TYPE_STRING, 0},
        {" 12", KeyValues::TYPE_INT, 12},
        {"-", KeyValues::TYPE_STRING, 0},
        {".", KeyValues::TYPE_STRING, 0},
        {"1.", KeyValues::TYPE_FLOAT, 1},
        {"1e", KeyValues::TYPE_STRING, 0},
        {"0x", KeyValues::TYPE_STRING, 0},
        {"1,5", KeyValues::TYPE_STRING, 0},
        {"5589E583EC", KeyValues::TYPE_STRING, 0},
        {"_12", KeyValues::TYPE_STRING, 0},
        {"inf", KeyValues::TYPE_FLOAT, HUGE_VAL},
        {"-Infinity", KeyValues::TYPE_FLOAT, -HUGE_VAL},
        {"1e400", KeyValues::TYPE_FLOAT, HUGE_VAL},
        {"2147483647", KeyValues::TYPE_INT, INT_MAX},
        {"-2147483648", KeyValues::TYPE_INT, INT_MIN},
        {"2147483648", KeyValues::TYPE_INT, INT_MAX},
        {"-5557565364711359", KeyValues::TYPE_INT, INT_MIN},
        {"5589E5", KeyValues::TYPE_FLOAT, 558900000.0},
        {"5557565364711359", KeyValues::TYPE_INT, INT_MAX},
    };
    for (const Case& c : cases) {
        Loaded one(std::string("r { v \"") + c.text + "\" }");
        SCOPED_TRACE(c.text);
        ASSERT_EQ(one->GetDataType("v"), c.type);
        if (c.type == KeyValues::TYPE_INT) {
            EXPECT_EQ(one->GetInt("v"), static_cast<int>(c.value));
        }
        if (c.type == KeyValues::TYPE_FLOAT) {
            EXPECT_FLOAT_EQ(one->GetFloat("v"), static_cast<float>(c.value));
        }
        // Every value reads back as its own text, and a number stays a number.
        EXPECT_STREQ(one->GetString("v"), c.text);
        EXPECT_EQ(one->GetDataType("v"), c.type);
    }
    Loaded nan("r { v nan }");
    EXPECT_EQ(nan->GetDataType("v"), KeyValues::TYPE_FLOAT);
    EXPECT_TRUE(isnan(nan->GetFloat("v")));
}

TEST_F(KeyValuesReaderTest, BlocksNestAndTopLevelBlocksFormAChain) {
    // A quoted brace is text, repeated names make new keys in order, and "#include" is a
    // directive only at the top level.
    EXPECT_EQ(DumpKeyValues(Loaded("a { b { c 1 } \"q\" \"{\" b { c 2 } #include x }").root),
              "\"a\" none\n  \"b\" none\n    \"c\" int 1\n  \"q\" string \"{\"\n  \"b\" none\n    \"c\" int 2\n"
              "  \"#include\" string \"x\"\n");
    EXPECT_EQ(DumpKeyValues(Loaded("first { x 1 } second { y 2 }").root, kDumpSiblings),
              "\"first\" none\n  \"x\" int 1\n\"second\" none\n  \"y\" int 2\n");
    EXPECT_EQ(DumpKeyValues(Loaded("a { // note\n b 1 // more\n// whole line\n c \"//x\" }//").root),
              "\"a\" none\n  \"b\" int 1\n  \"c\" string \"//x\"\n");

    // Loading adds to what is there: children after the old ones, blocks before the old
    // later siblings (which stay owned by the chain).
    KeyValues* root = Owned(new KeyValues("old"));
    root->SetInt("kept", 1);
    root->SetNextKey(new KeyValues("tail"));
    root->LoadFromBuffer("t", "new { added 2 } more { }");
    EXPECT_EQ(ChainNames(root), (std::vector<std::string>{"new", "more", "tail"}));
    EXPECT_STREQ(root->GetFirstSubKey()->GetName(), "kept");
    EXPECT_EQ(root->GetInt("added"), 2);

    EXPECT_TRUE(Loaded("").root->IsEmpty());
    // A UTF-8 byte-order mark is skipped at the start of the text only, and counts as no
    // key-value error (the report count is what a caller checks).
    const std::string mark = "\xEF\xBB\xBF";
    const int reportsBefore = g_KeyValuesErrorStack.GetReportCount();
    EXPECT_EQ(DumpKeyValues(Loaded(mark + "root { a 1 } second { }").root, kDumpSiblings),
              "\"root\" none\n  \"a\" int 1\n\"second\" none\n");
    EXPECT_EQ(g_KeyValuesErrorStack.GetReportCount(), reportsBefore);
    EXPECT_TRUE(Loaded(mark).root->IsEmpty());
    EXPECT_EQ(std::string(Loaded(mark.substr(0, 2) + "x { }")->GetName()), mark.substr(0, 2) + "x") << "a part is text";
    EXPECT_EQ(ChainNames(Loaded("a { } " + mark + "b { }").root).back(), mark + "b") << "only at the start";
    KeyValues untouched("u");
    EXPECT_TRUE(untouched.LoadFromBuffer("t", static_cast<const char*>(nullptr)));
    EXPECT_STREQ(untouched.GetName(), "u");
}

TEST_F(KeyValuesReaderTest, NestingIsBoundedAndNeverRecurses) {
    // kMaxBlockNesting open blocks load; one more is reported and skipped, and reading
    // goes on after it in the enclosing block.
    auto nestedText = [](int blocks) {
        std::string text;
        for (int i = 0; i < blocks; ++i) text += "k" + std::to_string(i) + " { ";
        text += "v 1 } after 2 ";
        for (int i = 1; i < blocks; ++i) text += "} ";
        return text;
    };
    auto pathTo = [](int depth) {
        std::string path = "k1";
        for (int i = 2; i <= depth; ++i) path += "/k" + std::to_string(i);
        return path;
    };
    const int limit = KeyValues::kMaxBlockNesting;
    {
        ConsoleCapture console;
        Loaded deepest(nestedText(limit));
        EXPECT_EQ(deepest->GetInt((pathTo(limit - 1) + "/v").c_str()), 1);
        EXPECT_EQ(deepest->GetInt((pathTo(limit - 2) + "/after").c_str()), 2);
        EXPECT_EQ(console.Text(), "");
    }
    {
        ConsoleCapture console;
        Loaded tooDeep(nestedText(limit + 1));
        ASSERT_NE(tooDeep->FindKey(pathTo(limit).c_str()), nullptr);
        EXPECT_TRUE(tooDeep->IsEmpty(pathTo(limit).c_str()));
        EXPECT_EQ(tooDeep->GetInt((pathTo(limit - 1) + "/after").c_str()), 2);
        EXPECT_EQ(
            ErrorLines(console),
            std::vector<std::string>{"KeyValues Error: RecursiveLoadFromBuffer:  block nested too deep in file t.txt"});
    }

    // A hundred thousand braces on a small stack: reported, bounded, nothing leaked.
    RunWithSmallStack(256 * 1024, [] {
        ConsoleCapture console;
        Loaded braces("a " + std::string(100000, '{'));
        std::vector<std::string> errors = ErrorLines(console);
        ASSERT_EQ(errors.size(), 1u + KeyValues::kMaxBlockNesting);
        EXPECT_EQ(errors[0], "KeyValues Error: RecursiveLoadFromBuffer:  block nested too deep in file t.txt");
        EXPECT_EQ(errors[1], "KeyValues Error: RecursiveLoadFromBuffer:  got EOF instead of keyname in file t.txt");
    });
}

TEST_F(KeyValuesReaderTest, ErrorsAreReportedWithTheKeysThatWereOpen) {
    struct Case {
        std::string text;
        std::vector<std::string> lines;
        const char* file = "cfg.txt";
    };
    const Case cases[] = {
        {"root { sub { key } }",
         {"KeyValues Error: RecursiveLoadFromBuffer:  got } in key in file cfg.txt", "root, sub, "}},
        {"a { b 1", {"KeyValues Error: RecursiveLoadFromBuffer:  got EOF instead of keyname in file cfg.txt", "a, "}},
        {"a { b", {"KeyValues Error: RecursiveLoadFromBuffer:  got NULL key in file cfg.txt", "a, "}},
        {"a b", {"KeyValues Error: LoadFromBuffer: missing { in file cfg.txt", ""}},
        {"first { x 1 } second y", {"KeyValues Error: LoadFromBuffer: missing { in file cfg.txt", "(*first*), "}},
        {"a { b { c 1 } d }",
         {"KeyValues Error: RecursiveLoadFromBuffer:  got } in key in file cfg.txt", "a, d, (*b*), "}},
        {"#include", {"KeyValues Error: #include is NULL  in file cfg.txt", ""}},
        {"a { b " + std::string(1030, 'w') + " }", {"KeyValues Error:  ReadToken overflow in file cfg.txt", "a, "}},
        // Key names come from the file: a line feed in one cannot forge a report line.
        {"\"a\nKeyValues Error: forged\" { b",
         {"KeyValues Error: RecursiveLoadFromBuffer:  got NULL key in file cfg.txt",
          "a\\x0AKeyValues Error: forged, "}},
        // Nor can a file name.
        {"a b",
         {"KeyValues Error: LoadFromBuffer: missing { in file cfg\\x0D\\x0AKeyValues Error: forged.txt", ""},
         "cfg\r\nKeyValues Error: forged.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ConsoleCapture console;
        Loaded kv(c.text, false, c.file);
        EXPECT_EQ(console.Lines(), c.lines);
    }

    // The tree keeps what was read before an error, keys without values included.
    {
        ConsoleCapture console;
        Loaded unclosed("a { b 1");
        EXPECT_EQ(unclosed->GetInt("b"), 1);
        Loaded braceValue("a { b } c { d 1 }");
        EXPECT_EQ(braceValue->GetDataType("b"), KeyValues::TYPE_NONE);
        EXPECT_EQ(ChainNames(braceValue.root), (std::vector<std::string>{"a", "c"}));
        Loaded noBrace("a b");
        EXPECT_TRUE(noBrace->IsEmpty());
    }

    // Only the first 64 levels are shown: 40 open blocks show their first 32 keys.
    std::string deep, context;
    for (int i = 0; i < 40; ++i) deep += "k" + std::to_string(i) + " { ";
    for (int i = 0; i < 32; ++i) context += "k" + std::to_string(i) + ", ";
    {
        ConsoleCapture console;
        Loaded kv(deep + "x }");
        ASSERT_GE(console.Lines().size(), 2u);
        EXPECT_EQ(console.Lines()[1], context);
    }

    // File names are printed as text, never as a format; a null one shows as "NULL", and
    // after a load the error stack names no file.
    {
        ConsoleCapture console;
        KeyValues kv("n");
        kv.LoadFromBuffer("%s%n%s.txt", "a b");
        kv.LoadFromBuffer(nullptr, "a b");
        EXPECT_EQ(ErrorLines(console),
                  (std::vector<std::string>{"KeyValues Error: LoadFromBuffer: missing { in file %s%n%s.txt",
                                            "KeyValues Error: LoadFromBuffer: missing { in file NULL"}));
        EXPECT_STREQ(g_KeyValuesErrorStack.GetFilename(), "");
        EXPECT_EQ(g_KeyValuesErrorStack.GetDepth(), 0);
    }
    {
        HostTier0_SetDeveloperLevel(0);
        ConsoleCapture console;
        Loaded quiet("a { b }");
        EXPECT_EQ(console.Text(), "");
    }

    // A listener hears each report with the file and where reading stood: the line, and
    // the column of the next unread byte, counted from 1 (here just past "}" and the end).
    {
        HostTier0_SetDeveloperLevel(1);
        std::vector<std::string> heard;
        g_KeyValuesErrorStack.SetListener(
            [](const char* message, const char* file, int line, int column, void* context) {
                static_cast<std::vector<std::string>*>(context)->push_back(
                    std::string(file) + ":" + std::to_string(line) + ":" + std::to_string(column) + " " + message);
            },
            &heard);
        ConsoleCapture console;
        Loaded kv("a\n{\n\tb }\n\n\tc 1", false, "cfg.txt");
        g_KeyValuesErrorStack.SetListener(nullptr, nullptr);
        EXPECT_EQ(heard, (std::vector<std::string>{"cfg.txt:3:5 RecursiveLoadFromBuffer:  got } in key",
                                                   "cfg.txt:5:5 LoadFromBuffer: missing {"}));
        EXPECT_EQ(ErrorLines(console).size(), 2u) << "printed as without a listener";
    }
}

TEST_F(KeyValuesReaderTest, AZeroByteEndsEveryOpenBlock) {
    // Only a buffer handed in directly can hold one: it reads as an empty token each time
    // it is reached, without being consumed.
    ConsoleCapture console;
    ExactBuffer text(std::string("a { b { \0 } } c { }", 19));
    KeyValues* kv = Owned(new KeyValues("x"));
    EXPECT_TRUE(kv->LoadFromBuffer("z.txt", text.buf));
    EXPECT_EQ(console.Lines(), (std::vector<std::string>{
                                   "KeyValues Error: RecursiveLoadFromBuffer:  got empty keyname in file z.txt",
                                   "a, b, ",
                                   "KeyValues Error: RecursiveLoadFromBuffer:  got empty keyname in file z.txt",
                                   "a, (*b*), ",
                               }));
    EXPECT_EQ(kv->GetNextKey(), nullptr);  // the top level stopped at the 0 byte
    EXPECT_EQ(text.buf.TellGet(), 8);

    ExactBuffer value(std::string("a { v \0 w 1 }", 13));
    KeyValues* valued = Owned(new KeyValues("x"));
    valued->LoadFromBuffer("z.txt", value.buf);
    EXPECT_EQ(valued->GetDataType("v"), KeyValues::TYPE_STRING);
    EXPECT_STREQ(valued->GetString("v", "dflt"), "");
}

TEST_F(KeyValuesReaderTest, EscapesFollowTheNodeLoadedInto) {
    const std::string text = "r { a \"x\\ny\" c \"\\\\\" d \"1\\q2\" e \"p\x7fq\" }";
    Loaded off(text);
    EXPECT_STREQ(off->GetString("a"), "x\\ny");  // four characters
    EXPECT_STREQ(off->GetString("c"), "\\\\");
    EXPECT_STREQ(off->GetString("d"), "1\\q2");
    EXPECT_STREQ(off->GetString("e"), "p");  // byte 127 reads as a 0 character
    EXPECT_FALSE(off->FindKey("a")->UsesEscapeSequences());
    Loaded quoteEnds("r { b \"q\\\" x 1 }");
    EXPECT_STREQ(quoteEnds->GetString("b"), "q\\");
    EXPECT_EQ(quoteEnds->GetInt("x"), 1);

    Loaded on(text, true);
    EXPECT_STREQ(on->GetString("a"), "x\ny");
    EXPECT_STREQ(on->GetString("c"), "\\");
    EXPECT_STREQ(on->GetString("d"), "1");  // an unknown escape reads as a 0 character
    EXPECT_STREQ(on->GetString("e"), "p\x7fq");
    EXPECT_TRUE(on->FindKey("a")->UsesEscapeSequences());
    Loaded quoteInside("r { b \"q\\\" x\" }", true);
    EXPECT_STREQ(quoteInside->GetString("b"), "q\" x");
}

TEST_F(KeyValuesReaderTest, TokensKeepAtMost1023Characters) {
    const std::string quoted(2000, 'q'), word(2000, 'w');
    ConsoleCapture console;
    Loaded kv("r { a \"" + quoted + "\" b " + word + " " + std::string(1023, 'n') + " 1 c 2 }");
    EXPECT_EQ(std::string(kv->GetString("a")), quoted.substr(0, 1023));
    EXPECT_EQ(std::string(kv->GetString("b")), word.substr(0, 1023));
    EXPECT_EQ(kv->GetInt(std::string(1023, 'n').c_str()), 1);
    EXPECT_EQ(kv->GetInt("c"), 2);  // reading resumed after each long token
    EXPECT_EQ(ErrorLines(console), std::vector<std::string>{"KeyValues Error:  ReadToken overflow in file t.txt"});
}

TEST_F(KeyValuesReaderTest, ReadTokenLeavesTheBufferWhereReadingStopped) {
    KeyValues kv("k");
    bool quoted = true;
    ExactBuffer text(" word\t\"q q\"{ // c\n}\"\" end");
    const char* expected[] = {"word", "q q", "{", "}", "", "end"};
    const bool expectedQuoted[] = {false, true, false, false, true, false};
    for (int i = 0; i < 6; ++i) {
        const char* token = kv.ReadToken(text.buf, quoted);
        ASSERT_NE(token, nullptr);
        EXPECT_STREQ(token, expected[i]);
        EXPECT_EQ(quoted, expectedQuoted[i]);
    }
    EXPECT_EQ(text.buf.TellGet(), 25);
    EXPECT_TRUE(text.buf.IsValid());  // a word that meets the end leaves it valid
    EXPECT_EQ(kv.ReadToken(text.buf, quoted), nullptr);
    EXPECT_FALSE(text.buf.IsValid());
    EXPECT_EQ(kv.ReadToken(text.buf, quoted), nullptr);

    ExactBuffer cut("\"open");
    EXPECT_STREQ(kv.ReadToken(cut.buf, quoted), "open");
    EXPECT_FALSE(cut.buf.IsValid());
    ExactBuffer comment("  // no line feed");
    EXPECT_EQ(kv.ReadToken(comment.buf, quoted), nullptr);
    EXPECT_EQ(comment.buf.TellGet(), 17);

    CUtlBuffer binary(0, 0, 0);  // the text flag does not matter
    binary.PutString("  x");
    EXPECT_STREQ(kv.ReadToken(binary, quoted), "x");
}

TEST_F(KeyValuesReaderTest, IncludesLoadBesideTheIncludingFile) {
    MemoryFileSystem fs;
    fs.files["cfg/main.txt"] = "#include \"other.txt\"\nmain { a 1 }\n#INCLUDE sub/third.txt\n";
    fs.files["cfg/other.txt"] = "other { b 2 } other2 { }";
    fs.files["cfg/sub/third.txt"] = "third { } #include fourth.txt";
    fs.files["cfg/sub/fourth.txt"] = "fourth { }";
    KeyValues* kv = Owned(new KeyValues("root"));
    EXPECT_TRUE(kv->LoadFromFile(&fs, "cfg/main.txt", "GAME"));
    EXPECT_EQ(ChainNames(kv), (std::vector<std::string>{"main", "other", "other2", "third", "fourth"}));
    EXPECT_EQ(kv->GetNextKey()->GetInt("b"), 2);
    EXPECT_EQ(fs.pathIds, (std::vector<std::string>{"GAME", "(null)", "(null)", "(null)"}));
    auto loadFile = [&](const char* file) {
        KeyValues* root = Owned(new KeyValues("root"));
        EXPECT_TRUE(root->LoadFromFile(&fs, file));
        return ChainNames(root);
    };

    // A missing include is reported and skipped. After an include has loaded, reports of
    // the including text name no file.
    {
        ConsoleCapture console;
        EXPECT_EQ(ChainNames(Loaded("#include nope.txt", false, "cfg\\main.txt", &fs).root),
                  std::vector<std::string>{"unnamed"});
        EXPECT_EQ(ChainNames(Loaded("#include other.txt x y", false, "cfg/main.txt", &fs).root),
                  (std::vector<std::string>{"x", "other", "other2"}));
        EXPECT_EQ(console.Lines(),
                  (std::vector<std::string>{
                      "KeyValues::ParseIncludedKeys: Couldn't load included keyvalue file cfg\\nope.txt",
                      "KeyValues Error: LoadFromBuffer: missing { in file ", ""}));
    }

    // Cycles, direct or through other files, are reported and cut.
    fs.files["cfg/a.txt"] = "#include b.txt a { }";
    fs.files["cfg/b.txt"] = "#include a.txt b { }";
    fs.files["cfg/self.txt"] = "self { } #include self.txt";
    {
        ConsoleCapture console;
        EXPECT_EQ(loadFile("cfg/a.txt"), (std::vector<std::string>{"a", "b"}));
        EXPECT_EQ(loadFile("cfg/self.txt"), std::vector<std::string>{"self"});
        EXPECT_EQ(ErrorLines(console),
                  (std::vector<std::string>{"KeyValues Error: #include cycle: cfg/a.txt in file cfg/b.txt",
                                            "KeyValues Error: #include cycle: cfg/self.txt in file cfg/self.txt"}));
    }

    // Includes nest kMaxIncludeDepth files deep at most.
    for (int i = 0; i < 40; ++i) {
        fs.files["cfg/d" + std::to_string(i) + ".txt"] =
            "d" + std::to_string(i) + " { } #include d" + std::to_string(i + 1) + ".txt";
    }
    {
        ConsoleCapture console;
        EXPECT_EQ(loadFile("cfg/d0.txt").size(), 1u + KeyValues::kMaxIncludeDepth);
        std::string last = "cfg/d" + std::to_string(KeyValues::kMaxIncludeDepth + 1) + ".txt";
        EXPECT_EQ(ErrorLines(console),
                  std::vector<std::string>{"KeyValues Error: #include nested too deep: " + last + " in file cfg/d" +
                                           std::to_string(KeyValues::kMaxIncludeDepth) + ".txt"});
    }

    // Without a file system an include does nothing.
    Loaded alone("#include other.txt x { }");
    EXPECT_EQ(ChainNames(alone.root), std::vector<std::string>{"x"});
    EXPECT_EQ(fs.openFiles, 0);
    EXPECT_EQ(fs.liveBuffers, 0);
}

TEST_F(KeyValuesReaderTest, LoadFromFileReadsIntoAnAlignedBuffer) {
    MemoryFileSystem fs;
    fs.files["f.txt"] = "f { a 1 }" + std::string(991, ' ');  // 1000 bytes
    auto load = [&fs](const char* name) {
        KeyValues* kv = new KeyValues("root");
        bool result = kv->LoadFromFile(&fs, name);
        std::string loaded = kv->GetName() + std::string(":") + kv->GetString("a", "-");
        kv->deleteThis();
        return std::make_pair(result, loaded);
    };
    EXPECT_EQ(load("f.txt"), std::make_pair(true, std::string("f:1")));
    fs.reportsAlignment = true;
    fs.alignment = 512;
    EXPECT_EQ(load("f.txt"), std::make_pair(true, std::string("f:1")));
    fs.alignment = 1;
    load("f.txt");
    EXPECT_EQ(fs.bufferSizes, (std::vector<unsigned int>{1001, 1024, 1001}));
    EXPECT_EQ(fs.bufferOffsets, (std::vector<unsigned int>{0, 0, 0}));
    EXPECT_EQ(fs.reads[1], std::make_pair(1024, 1000));

    // The text ends at a 0 byte, and after a short read at what was read.
    fs.files["z.txt"] = std::string("z { a 2 }\0 y { }", 16);
    EXPECT_EQ(load("z.txt"), std::make_pair(true, std::string("z:2")));
    fs.readLimit = 4;
    {
        ConsoleCapture console;
        EXPECT_EQ(load("f.txt"), std::make_pair(true, std::string("f:-")));
    }
    fs.readLimit = -1;

    // Sizes that 32-bit arithmetic cannot hold, or a refused buffer: nothing is loaded,
    // and the result is still true.
    fs.bufferSizes.clear();
    fs.overrideSize = true;
    fs.size = 0xFFFFFFFFu;
    EXPECT_EQ(load("f.txt"), std::make_pair(true, std::string("root:-")));
    fs.size = 0x7FFFFFFEu;
    fs.alignment = 16;
    EXPECT_EQ(load("f.txt"), std::make_pair(true, std::string("root:-")));
    EXPECT_TRUE(fs.bufferSizes.empty());
    fs.reportsAlignment = false;
    fs.refuseBuffers = true;
    EXPECT_EQ(load("f.txt"), std::make_pair(true, std::string("root:-")));
    EXPECT_EQ(fs.bufferSizes, std::vector<unsigned int>{0x7FFFFFFFu});

    // A file that cannot be opened fails without a report.
    ConsoleCapture console;
    EXPECT_EQ(load("missing.txt"), std::make_pair(false, std::string("root:-")));
    KeyValues kv("k");
    EXPECT_FALSE(kv.LoadFromFile(nullptr, "f.txt"));
    EXPECT_EQ(console.Text(), "");
    EXPECT_EQ(fs.openFiles, 0);
    EXPECT_EQ(fs.liveBuffers, 0);
}

// An int read from text keeps exactly that text, whether "%d" would print it the same
// (then the text is made again from the value when asked for) or not (then it is kept).
// Its value is strtol's, which saturates exactly at the int range, not a step before.
TEST_F(KeyValuesReaderTest, IntsKeepTheirTextExactly) {
    const char* const texts[] = {"0",           "7",           "-7",          "10",          "-10",
                                 "2147483647",  "-2147483648", "1000000000",  "00",          "07",
                                 "+7",          "-0",          "+0",          "-07",         "2147483648",
                                 "-2147483649", "01",          "+2147483647", "99999999999", "-1",
                                 "2147483646",  "-2147483647", "2147483640",  "-2147483640", "0002147483646",
                                 "214748364",   "21474836470"};
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        Loaded kv(std::string("r { v \"") + text + "\" w " + text + " }");
        for (const char* name : {"v", "w"}) {
            KeyValues* key = kv->FindKey(name);
            ASSERT_NE(key, nullptr);
            ASSERT_EQ(key->GetDataType(), KeyValues::TYPE_INT);
            EXPECT_EQ(key->GetInt(), std::clamp<long long>(strtoll(text, nullptr, 10), INT_MIN, INT_MAX));
            EXPECT_STREQ(key->GetSourceText(), text);
            const char* first = key->GetString();
            EXPECT_STREQ(first, text);
            EXPECT_EQ(key->GetString(), first);  // made once, then kept
            EXPECT_EQ(key->GetDataType(), KeyValues::TYPE_INT);
        }
        // Copies keep the text, whether it was made yet or not.
        KeyValues* fresh = kv->FindKey("w");
        KeyValues* copy = Owned(kv->MakeCopy());
        EXPECT_STREQ(copy->GetString("v"), text);
        EXPECT_STREQ(copy->FindKey("w")->GetSourceText(), text);
        KeyValues assigned("a");
        assigned = *fresh;
        EXPECT_STREQ(assigned.GetString(), text);
        EXPECT_EQ(assigned.GetDataType(), KeyValues::TYPE_INT);
    }
}

// The texts of a load share a few large blocks; each block goes back when its last text
// does, in whatever order the texts are replaced or destroyed, also while another load
// carves from a block of its own.
TEST_F(KeyValuesReaderTest, LoadedTextsShareBlocksAndAllGoBack) {
    std::string text = "r {";
    for (int i = 0; i < 3000; ++i) text += " k" + std::to_string(i) + " \"value " + std::to_string(i) + "\" n 15";
    text += " }";
    KeyValues* first = new KeyValues("first");
    first->LoadFromBuffer("a.txt", text.c_str());
    const int afterFirst = LiveTextBlocks();
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_GE(afterFirst, 1);
    EXPECT_LE(afterFirst, 3000 * 16 / static_cast<int>(KeyValuesText::kChunkBytes) + 2);
#endif
    KeyValues* second = new KeyValues("second");
    second->LoadFromBuffer("b.txt", text.c_str());
    EXPECT_EQ(LiveTextBlocks(), 2 * afterFirst);

    // Replace, convert and unlink texts of the first tree, then destroy it before the second.
    int i = 0;
    for (KeyValues* key = first->GetFirstSubKey(); key; key = key->GetNextKey(), ++i) {
        if (i % 3 == 0) key->SetString(nullptr, "replaced");
        if (i % 5 == 0) key->SetInt(nullptr, i);
    }
    EXPECT_STREQ(first->GetString("k2"), "value 2");
    EXPECT_STREQ(first->GetString("k3"), "replaced");
    KeyValues* middle = first->FindKey("k1501");
    first->RemoveSubKey(middle);
    first->deleteThis();
    EXPECT_STREQ(middle->GetString(), "value 1501");  // its text outlives the rest of its load
    EXPECT_STREQ(second->GetString("k2999"), "value 2999");
    middle->deleteThis();
    EXPECT_EQ(LiveTextBlocks(), afterFirst);
    second->deleteThis();
    EXPECT_EQ(LiveTextBlocks(), 0);
}

// Quoted tokens are handed on where they lie unless they need decoding; at every offset
// around the sixteen-byte steps of the scan, escapes, the byte 127, 0 bytes and the
// 1023-character limit give the same tokens as the rules say, as names and as values.
TEST_F(KeyValuesReaderTest, QuotedTokensDecodeAtEveryOffset) {
    const std::string tail = "bcdefghijklmnopq";
    struct Special {
        bool escapes;
        std::string text;  // written after the leading run, before the tail
        std::string want;  // what the token reads as after the leading run (to a 0 character)
    };
    const Special specials[] = {
        {true, "\\n", "\n" + tail}, {true, "\\\"", "\"" + tail}, {true, "\\q", ""}, {true, "", tail},
        {false, "\\", "\\" + tail}, {false, "\x7f", ""},         {false, "", tail},
    };
    for (int offset : {0, 1, 14, 15, 16, 17, 31, 32, 33}) {
        for (const Special& special : specials) {
            const std::string lead(static_cast<size_t>(offset), 'a');
            const std::string quoted = lead + special.text + tail;
            SCOPED_TRACE(std::to_string(offset) + " " + special.text);
            Loaded kv("r { \"k" + quoted + "\" \"" + quoted + "\" }", special.escapes);
            KeyValues* key = kv->GetFirstSubKey();
            ASSERT_NE(key, nullptr);
            EXPECT_EQ(std::string(key->GetName()), "k" + lead + special.want);
            EXPECT_EQ(std::string(key->GetString("", "none")), lead + special.want);
        }
    }
    // A 0 byte inside a quoted token (only a buffer handed in directly can hold one): the
    // value is what C string functions see, and is typed as such.
    const char withZero[] = "r { v \"12\0x\" w \"a\0\" }";
    ExactBuffer zero(std::string(withZero, sizeof(withZero) - 1));
    KeyValues* zeroRoot = Owned(new KeyValues("z"));
    zeroRoot->LoadFromBuffer("z.txt", zero.buf);
    EXPECT_EQ(zeroRoot->GetDataType("v"), KeyValues::TYPE_INT);
    EXPECT_STREQ(zeroRoot->GetString("v"), "12");
    EXPECT_STREQ(zeroRoot->GetString("w"), "a");

    // The limit: 1023 characters are kept in place, the 1024th is dropped with the rest,
    // and reading goes on after the closing quote.
    auto expectKept = [](const std::string& quoted, bool escapes, const std::string& want) {
        Loaded kv("r { \"" + quoted + "\" \"" + quoted + "\" z 1 }", escapes);
        KeyValues* key = kv->GetFirstSubKey();
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(std::string(key->GetName()), want);
        EXPECT_EQ(std::string(key->GetString()), want);
        EXPECT_EQ(kv->GetInt("z"), 1);
    };
    for (size_t length : {1022, 1023, 1024, 1025}) {
        SCOPED_TRACE(length);
        expectKept(std::string(length, 'n'), false, std::string(std::min<size_t>(length, 1023), 'n'));
    }
    // With escapes on, a character that comes from an escape counts as one: an escape
    // that makes the 1023rd character is kept, one that would make the 1024th is dropped.
    for (size_t before : {1021, 1022, 1023}) {
        SCOPED_TRACE(before);
        const std::string lead(before, 'e');
        expectKept(lead + "\\t\\ntail", true, (lead + "\t\ntail").substr(0, 1023));
    }
}
