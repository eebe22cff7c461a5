// Data files an operator may have edited badly or downloaded: include fan-outs through
// the engine's own file system end with one report, and the plugin still loads the
// valid part and serves its commands.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "support/HostFixture.h"

namespace {

const char kValidBlock[] =
    "\"sigs\"\n{\n\"default\"\n{\n\"sigscan\"\n{\n\"CCSPlayer::RoundRespawn\"\n{\n\"enabled\" \"1\"\n"
    "\"sig\" \"5589E5\"\n\"mask\" \"xxx\"\n\"symbol\" \"GameRoundRespawn\"\n}\n}\n}\n}\n";

class HostileDataFileTest : public HostTest {
protected:
    // The "KeyValues" lines of the console.
    std::vector<std::string> Reports() {
        std::vector<std::string> reports;
        for (const std::string& line : console.Lines()) {
            if (line.rfind("KeyValues", 0) == 0) reports.push_back(line);
        }
        return reports;
    }
    // The plugin loaded and lists the entry of kValidBlock.
    void ExpectStillServes() {
        EXPECT_NE(console.Text().find("Plugin Loaded\n"), std::string::npos);
        Run("vl_sigscan");
        EXPECT_NE(console.Text().find("Name: CCSPlayer::RoundRespawn\nIndex: 1\n"), std::string::npos)
            << console.Text();
    }
};

TEST_F(HostileDataFileTest, ADataFileIncludingItselfLoadsOnceWithOneReport) {
    const std::string include = "#include \"./sigscan_info.dat\"\n";
    HostOptions options;
    options.gameDir = MakeGameDir({{"addons/vorlane/sigscan_info.dat", include + include + kValidBlock}});
    StartWithPlugin(options);
    EXPECT_EQ(Reports(), (std::vector<std::string>{"KeyValues Error: #include cycle: "
                                                   "addons/vorlane/./sigscan_info.dat in file "
                                                   "addons/vorlane/sigscan_info.dat"}));
    ExpectStillServes();
}

TEST_F(HostileDataFileTest, AnIncludeFanOutOfDistinctFilesEndsAtTheFileLimit) {
    // 22 files, each including the next twice, in front of the valid block.
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 1; i <= 22; ++i) {
        std::string next = "#include \"f" + std::to_string(i + 1) + ".txt\"\n";
        files.push_back({"addons/vorlane/f" + std::to_string(i) + ".txt",
                         (i < 22 ? next + next : "") + "\"f" + std::to_string(i) + "\" { }\n"});
    }
    files.push_back({"addons/vorlane/sigscan_info.dat", std::string("#include \"f1.txt\"\n") + kValidBlock});
    HostOptions options;
    options.gameDir = MakeGameDir(files);
    StartWithPlugin(options);
    // Which of the files is the 129th depends on the walk (the reader's tests pin it).
    const std::vector<std::string> reports = Reports();
    ASSERT_EQ(reports.size(), 1u) << console.Text();
    EXPECT_EQ(reports[0].rfind("KeyValues Error: #include limit of 128 files reached: addons/vorlane/f", 0), 0u)
        << reports[0];
    ExpectStillServes();
}

TEST_F(HostileDataFileTest, AnIncludePathCannotForgeLinesAndUnreadBlocksAreNamed) {
    // An include path holding line feeds, then blocks the plugin never reads: one after
    // the first block, and the included file's, which the include appends at the end.
    const std::string forged = "#include \"x\nPlugin UnLoaded\nSigScan ERROR: forged\"\n";
    HostOptions options;
    options.gameDir = MakeGameDir({{"addons/vorlane/sigscan_info.dat",
                                    forged + "#include \"more.txt\"\n" + kValidBlock + "\"extra\" { }\n"},
                                   {"addons/vorlane/more.txt", "\"included\" { \"default\" { } }\n"}});
    StartWithPlugin(options);
    const std::vector<std::string> lines = console.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Plugin UnLoaded"), 0) << console.Text();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "SigScan ERROR: forged\""), 0);
    EXPECT_EQ(Reports(), (std::vector<std::string>{"KeyValues::ParseIncludedKeys: Couldn't load included keyvalue "
                                                   "file addons/vorlane/x\\x0APlugin UnLoaded\\x0ASigScan ERROR: "
                                                   "forged"}));
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "SigScan: 2 blocks of the data file not read (\"extra\", \"included\"): only its first block "
                        "is read, and #include adds the included file's blocks after it"),
              lines.end())
        << console.Text();
    ExpectStillServes();
}

}  // namespace
