// Saving key-value trees through the simulated engine's file system, end to end: a data
// file loaded and saved keeps its values byte for byte, and writes stay inside the game
// directory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/HostFixture.h"
#include "tier1/IBaseFileSystem.h"
#include "tier1/KeyValues.h"
#include "tier1/UtlBuffer.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The value of every `"name" <tabs> "value"` line, in order.
std::vector<std::string> ValueTexts(const std::string& text) {
    std::vector<std::string> values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        size_t nameEnd = line.find("\"\t");
        if (line.find("//") == 0 || nameEnd == std::string::npos) continue;
        size_t open = line.find('"', nameEnd + 1);
        size_t close = line.rfind('"');
        if (open != std::string::npos && close > open) values.push_back(line.substr(open + 1, close - open - 1));
    }
    return values;
}

class KeyValuesSaveTest : public HostTest {
protected:
    IBaseFileSystem* FileSystem() {
        return static_cast<IFileSystemApi*>(host.Lookup("VFileSystem017", false, false, nullptr));
    }
};

TEST_F(KeyValuesSaveTest, ADataFileLoadedAndSavedKeepsItsValues) {
    const std::string original = ReadFile(GameDir() + "/addons/vorlane/sigscan_info.dat");
    ASSERT_FALSE(original.empty());
    HostOptions options;
    options.gameDir = MakeGameDir({{"addons/vorlane/sigscan_info.dat", original}});
    StartEngine(options);
    IBaseFileSystem* fs = FileSystem();
    ASSERT_NE(fs, nullptr);

    KeyValues* loaded = new KeyValues("unnamed");
    ASSERT_TRUE(loaded->LoadFromFile(fs, "addons/vorlane/sigscan_info.dat", "MOD"));
    EXPECT_TRUE(loaded->SaveToFile(fs, "addons/vorlane/saved.dat", "MOD"));
    const std::string saved = ReadFile(options.gameDir + "/addons/vorlane/saved.dat");

    // Signatures such as "5589E5..." would read as numbers; they go back as they came,
    // and empty values stay (an empty value is not a missing key).
    const std::vector<std::string> before = ValueTexts(original);
    EXPECT_GT(before.size(), 10u);
    EXPECT_NE(std::find(before.begin(), before.end(), std::string()), before.end());
    EXPECT_EQ(ValueTexts(saved), before);
    EXPECT_NE(saved.find("\t\t\t\t\"sig\"\t\t\"5589E55383EC14\"\n"), std::string::npos) << saved;

    // The file holds exactly what the buffer form writes, and loads back to the same
    // texts; saving that again gives the same file.
    CUtlBuffer buf(0, 0, CUtlBuffer::BUFFER_TEXT);
    loaded->RecursiveSaveToFile(buf, 0);
    EXPECT_EQ(saved, std::string(static_cast<const char*>(buf.Base()), static_cast<size_t>(buf.TellPut())));
    KeyValues* reloaded = new KeyValues("unnamed");
    ASSERT_TRUE(reloaded->LoadFromFile(fs, "addons/vorlane/saved.dat", "MOD"));
    EXPECT_TRUE(reloaded->SaveToFile(fs, "addons/vorlane/saved.dat", "MOD")) << "overwrites the earlier file";
    EXPECT_EQ(ReadFile(options.gameDir + "/addons/vorlane/saved.dat"), saved);
    reloaded->deleteThis();
    loaded->deleteThis();
}

TEST_F(KeyValuesSaveTest, WritesStayInsideTheGameDirectory) {
    HostOptions options;
    options.gameDir = MakeGameDir({{"cfg/a.txt", "old text that is longer"}});
    StartEngine(options);
    IBaseFileSystem* fs = FileSystem();
    KeyValues* tree = new KeyValues("t", "k", "v");

    struct stat library;
    ASSERT_EQ(stat((options.gameDir + "/bin/server" VL_MODULE_SUFFIX).c_str(), &library), 0);
    console.Clear();
    for (const char* name : {"../outside.txt", "cfg/../../outside.txt", "/tmp/vl_outside.txt", "bin/server" VL_MODULE_SUFFIX,
                             "missing/dir.txt", "cfg"}) {
        EXPECT_FALSE(tree->SaveToFile(fs, name, "MOD")) << name;
    }
    EXPECT_EQ(console.Lines().size(), 6u);
    EXPECT_EQ(console.Lines()[3], "KeyValues::SaveToFile: couldn't open file \"bin/server" VL_MODULE_SUFFIX "\" in path \"MOD\".");
    struct stat after;
    ASSERT_EQ(stat((options.gameDir + "/bin/server" VL_MODULE_SUFFIX).c_str(), &after), 0);
    EXPECT_EQ(after.st_size, library.st_size) << "a write never goes through a link";
    EXPECT_NE(after.st_size, 0);

    // An existing file is replaced whole; the handle writes, then closes.
    EXPECT_TRUE(tree->SaveToFile(fs, "cfg/a.txt", nullptr));
    EXPECT_EQ(ReadFile(options.gameDir + "/cfg/a.txt"), "\"t\"\n{\n\t\"k\"\t\t\"v\"\n}\n");
    FileHandle_t file = fs->Open("cfg/b.txt", "wb", nullptr);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(fs->Write("abc", 3, file), 3);
    fs->Close(file);
    EXPECT_EQ(ReadFile(options.gameDir + "/cfg/b.txt"), "abc");
    tree->deleteThis();
}

}  // namespace
