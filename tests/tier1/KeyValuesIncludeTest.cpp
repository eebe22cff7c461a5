// Tests of the key-value reader's include bounds: a file already being loaded is refused
// whatever the spelling of its path, and one outermost load includes a bounded number of
// files however the includes fan out, each fault reported once.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "support/ConsoleCapture.h"
#include "support/KeyValuesLeakTest.h"
#include "support/MemoryFileSystem.h"
#include "tier1/KeyValues.h"

namespace {

// A file system that, like a disk, serves one file under every spelling of its path:
// "\" as "/", "." components and "dir/.." pairs resolved, repeated separators ignored.
class ResolvingFileSystem : public MemoryFileSystem {
public:
    FileHandle_t Open(const char* name, const char* mode, const char* pathID) override {
        opened.push_back(name);
        std::vector<std::string> parts;
        std::string part;
        for (const char* p = name;; ++p) {
            if (*p && *p != '/' && *p != '\\') {
                part += *p;
                continue;
            }
            if (part == "..") {
                if (parts.empty()) return nullptr;  // above the root
                parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            part.clear();
            if (!*p) break;
        }
        std::string resolved;
        for (const std::string& each : parts) resolved += (resolved.empty() ? "" : "/") + each;
        FileHandle_t file = MemoryFileSystem::Open(resolved.c_str(), mode, pathID);
        opened.pop_back();  // the base recorded the resolved name
        pathIds.pop_back();
        return file;
    }
};

class KeyValuesIncludeTest : public KeyValuesLeakTest {
protected:
    // Loads `name` from `fs` into a fresh root and returns the names of its chain; the
    // console lines go to `lines`.
    static std::vector<std::string> Load(MemoryFileSystem& fs, const char* name, std::vector<std::string>* lines,
                                         int* firstValue = nullptr) {
        ConsoleCapture console;
        KeyValues* kv = new KeyValues("root");
        EXPECT_TRUE(kv->LoadFromFile(&fs, name));
        std::vector<std::string> chain;
        for (KeyValues* key = kv; key; key = key->GetNextKey()) chain.push_back(key->GetName());
        if (firstValue)
            *firstValue = kv->FindKey("default/sigscan/x/enabled") ? kv->GetInt("default/sigscan/x/enabled") : -1;
        kv->deleteThis();
        *lines = console.Lines();
        return chain;
    }
};

const char kValidBlock[] = "\"Sigs\" { \"default\" { \"sigscan\" { \"x\" { \"enabled\" \"1\" } } } }\n";

TEST_F(KeyValuesIncludeTest, AFileIncludingItselfIsRefusedWhateverTheSpelling) {
    // The data file of the report: it includes itself twice through "./", which each
    // level would spell one "./" longer, and then holds a valid block.
    const char* const spellings[] = {
        "./sigscan_info.dat",      ".//./sigscan_info.dat",        "../vorlane/sigscan_info.dat",
        "sub/../sigscan_info.dat", "sub\\..\\.\\sigscan_info.dat", "../../addons/vorlane/sigscan_info.dat",
    };
    for (const char* spelling : spellings) {
        SCOPED_TRACE(spelling);
        ResolvingFileSystem fs;
        std::string include = std::string("#include \"") + spelling + "\"\n";
        fs.files["addons/vorlane/sigscan_info.dat"] = include + include + kValidBlock;
        std::vector<std::string> lines;
        int enabled = 0;
        EXPECT_EQ(Load(fs, "addons/vorlane/sigscan_info.dat", &lines, &enabled), std::vector<std::string>{"Sigs"});
        EXPECT_EQ(enabled, 1);
        EXPECT_EQ(fs.opened.size(), 1u) << "the refused includes are never opened";
        EXPECT_EQ(lines,
                  (std::vector<std::string>{"KeyValues Error: #include cycle: addons/vorlane/" + std::string(spelling) +
                                                " in file addons/vorlane/sigscan_info.dat",
                                            ""}));
    }

    // A cycle through another file, spelled differently on the way back, is cut there.
    ResolvingFileSystem fs;
    fs.files["cfg/a.txt"] = "#include sub/b.txt\n#include sub/b.txt\na { }";
    fs.files["cfg/sub/b.txt"] = "#include ../a.txt\nb { }";
    std::vector<std::string> lines;
    EXPECT_EQ(Load(fs, "cfg/a.txt", &lines), (std::vector<std::string>{"a", "b", "b"}));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "KeyValues Error: #include cycle: cfg/sub/../a.txt in file cfg/sub/b.txt", ""}));

    // Paths that only look alike name other files and load.
    fs.files["cfg/a.txt"] = "#include sub/a.txt\n#include ../a.txt\n#include A.txt\n#include ..a.txt\na { }";
    fs.files["cfg/sub/a.txt"] = "suba { }";
    fs.files["a.txt"] = "top { }";
    fs.files["cfg/A.txt"] = "upper { }";
    fs.files["cfg/..a.txt"] = "dots { }";
    EXPECT_EQ(Load(fs, "cfg/a.txt", &lines), (std::vector<std::string>{"a", "suba", "top", "upper", "dots"}));
    EXPECT_TRUE(lines.empty());

    // ".." that has nothing left to climb stays: "../../a.txt" is not "a.txt".
    fs.files["a.txt"] = "#include ../../a.txt\ntop { }";
    EXPECT_EQ(Load(fs, "a.txt", &lines), std::vector<std::string>{"top"});
    EXPECT_EQ(lines, std::vector<std::string>{"KeyValues::ParseIncludedKeys: Couldn't load included keyvalue file "
                                              "../../a.txt"});
}

// The include attempted `index`-th (0-based, in load order) when file 0 of a chain of
// `files` files, each including the next twice, is loaded: its path, and the file name its
// report shows (the includer's name for its first include; after a sibling include has
// loaded, reports name no file).
std::pair<std::string, std::string> NthFanOutInclude(int files, int index) {
    struct Walk {
        int files, index, seen;
        std::pair<std::string, std::string> found;
        bool Visit(int file) {  // true once the attempt is found
            for (int copy = 0; copy < 2 && file + 1 < files; ++copy) {
                if (seen++ == index) {
                    found = {"cfg/f" + std::to_string(file + 1) + ".txt",
                             copy == 0 ? "cfg/f" + std::to_string(file) + ".txt" : ""};
                    return true;
                }
                if (Visit(file + 1)) return true;
            }
            return false;
        }
    } walk{files, index, 0, {}};
    walk.Visit(0);
    return walk.found;
}

TEST_F(KeyValuesIncludeTest, AnIncludeFanOutStopsAtTheFileLimit) {
    // 22 distinct files, each including the next twice: four million loads unbounded.
    MemoryFileSystem fs;
    const int kFiles = 22;
    for (int i = 0; i < kFiles; ++i) {
        std::string next = "#include f" + std::to_string(i + 1) + ".txt\n";
        fs.files["cfg/f" + std::to_string(i) + ".txt"] =
            (i + 1 < kFiles ? next + next : "") + "f" + std::to_string(i) + " { v " + std::to_string(i) + " }";
    }
    const std::pair<std::string, std::string> refused = NthFanOutInclude(kFiles, 128);
    ASSERT_FALSE(refused.first.empty());
    for (int round = 0; round < 2; ++round) {  // the count starts again with each load
        fs.opened.clear();
        std::vector<std::string> lines;
        std::vector<std::string> chain = Load(fs, "cfg/f0.txt", &lines);
        ASSERT_EQ(chain.size(), 129u);
        EXPECT_EQ(chain[0], "f0");
        EXPECT_EQ(fs.opened.size(), 129u);
        EXPECT_EQ(lines, (std::vector<std::string>{"KeyValues Error: #include limit of 128 files reached: " +
                                                       refused.first + " in file " + refused.second,
                                                   ""}));
    }
}

TEST_F(KeyValuesIncludeTest, TheFileLimitCountsEveryIncludeOfOneLoad) {
    // A file naming `count` distinct includes: all of them load up to the limit, and the
    // first beyond it is reported once; includes that fail to load count as well.
    struct Case {
        int count;
        bool exist;
        int loaded;
        int reports;
    };
    const Case cases[] = {
        {127, true, 127, 0}, {128, true, 128, 0}, {129, true, 128, 1}, {200, true, 128, 1}, {129, false, 0, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.count) + (c.exist ? " present" : " missing"));
        MemoryFileSystem fs;
        std::string text;
        for (int i = 0; i < c.count; ++i) {
            text += "#include i" + std::to_string(i) + ".txt\n";
            if (c.exist) fs.files["cfg/i" + std::to_string(i) + ".txt"] = "i" + std::to_string(i) + " { }";
        }
        fs.files["cfg/main.txt"] = text + "main { }";
        std::vector<std::string> lines;
        std::vector<std::string> chain = Load(fs, "cfg/main.txt", &lines);
        EXPECT_EQ(static_cast<int>(chain.size()), 1 + c.loaded);
        EXPECT_EQ(chain.back(), c.loaded ? "i" + std::to_string(c.loaded - 1) : "main");
        EXPECT_EQ(static_cast<int>(fs.opened.size()), 1 + (c.count < 128 ? c.count : 128));
        // After an include has loaded, reports of the including text name no file.
        const std::string report = "KeyValues Error: #include limit of 128 files reached: cfg/i128.txt in file " +
                                   std::string(c.exist ? "" : "cfg/main.txt");
        EXPECT_EQ(std::count(lines.begin(), lines.end(), report), c.reports);
    }
}

}  // namespace
