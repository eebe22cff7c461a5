// The opt-in fallbacks of the resolution step ("-vl_sigscan_fallback") and the reload
// command, end to end: a data file naming functions the game library does not export,
// found through the library file's symbol table or by signature, in the library and in
// its stripped copy.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/HostFixture.h"

namespace {

const char* const kDataFile = "addons/vorlane/sigscan_info.dat";
const char* const kSwitch = "-vl_sigscan_fallback";

// The first bytes of the game library's hand-written stubs, as its assembly writes them:
// push ebp; mov ebp, esp; mov eax, 'VLR1' or 'VLR2'; (nop;) pop ebp; jmp.
const char* const kRespawnStub = "5589E5B831524C565DE9";
const char* const kTwinPrefix = "5589E5B832524C56";

std::string Entry(const std::string& name, const std::string& symbol, const std::string& sig, const std::string& mask) {
    return "\"" + name + "\"\n{\n\"enabled\" \"1\"\n\"sig\" \"" + sig + "\"\n\"mask\" \"" + mask + "\"\n\"symbol\" \"" +
           symbol + "\"\n}\n";
}

std::string DataFile(const std::string& entries) {
    return "\"sigs\"\n{\n\"default\"\n{\n\"sigscan\"\n{\n" + entries + "}\n}\n}\n";
}

// Every entry kind the fallbacks distinguish.
std::string AllRoutes() {
    return DataFile(Entry("CCSPlayer::SwitchTeam", "GameSwitchTeam", "", "") +
                    Entry("CommitSuicide", "GameHiddenSlay", "", "") +
                    Entry("CCSPlayer::RoundRespawn", "RoundRespawn_RenamedByAnUpdate", kRespawnStub, "xxxxxxxxxx") +
                    Entry("Twins", "", kTwinPrefix, "xxxxxxxx") + Entry("Nowhere", "", "5589E5B8FFFFFFFF", "xxxxxxxx") +
                    Entry("LongMask", "", "5589E5B831", "xxxxxxxxxx") +
                    Entry("ShortMask", "", std::string(kRespawnStub) + "0000FFFF", "xxxxxxxx?x") +
                    Entry("NoFixedByte", "", "5589", "??") + Entry("NotHex", "", "55 89 E5", "xxx"));
}

class SigScanFallbackTest : public HostTest {
protected:
    // Starts on a fresh game directory holding `dataFile`; `stripped` puts the game
    // library's stripped copy in place of the library.
    void Start(const std::string& dataFile, bool fallback, bool stripped = false) {
        HostOptions options;
        options.gameDir = MakeGameDir({{kDataFile, dataFile}});
        if (stripped) {
            const std::string library = options.gameDir + "/bin/server" VL_MODULE_SUFFIX;
            std::filesystem::remove(library);
            std::filesystem::create_symlink(GameDir() + "/bin/" VL_STRIPPED_GAME_LIBRARY, library);
        }
        if (fallback) options.commandLine = std::string("vlhost ") + kSwitch;
        gameDir_ = options.gameDir;
        StartWithPlugin(options);
        const int slot = host.AddClient("Alice", "STEAM_0:1:42", false);
        ASSERT_EQ(slot, 1);
        const std::string userId = std::to_string(host.UserIdOf(slot));
        spawn_ = "vl_spawn " + userId;
        changeTeam_ = "vl_changeteam " + userId + " 3";
        unableToRespawn_ = "Unable to Respawn userid '" + userId + "'";
    }
    static Lines Matching(const Lines& lines, const std::string& prefix) {
        Lines found;
        for (const std::string& line : lines)
            if (line.rfind(prefix, 0) == 0) found.push_back(line);
        return found;
    }
    // The listing's "Name: " and "Found: " lines, in order.
    static Lines NamesAndRoutes(const Lines& lines) {
        Lines found;
        for (const std::string& line : lines)
            if (line.rfind("Name: ", 0) == 0 || line.rfind("Found: ", 0) == 0) found.push_back(line);
        return found;
    }
    void WriteDataFile(const std::string& text) {
        std::ofstream(gameDir_ + "/" + kDataFile, std::ios::binary | std::ios::trunc) << text;
    }
    std::string gameDir_;
    std::string spawn_, changeTeam_, unableToRespawn_;  // for the one player, slot 1
};

TEST_F(SigScanFallbackTest, WithoutTheSwitchOnlyExportsAreFoundAndNothingElseIsPrinted) {
    Start(AllRoutes(), false);
    const Lines load = console.Lines();
    EXPECT_EQ(
        Matching(load, "SigScan ERROR: "),
        (Lines{"SigScan ERROR: dlsym() failed for function \"CommitSuicide\" with error: \"" + gameDir_ +
                   "/bin/server" VL_MODULE_SUFFIX ": undefined symbol: GameHiddenSlay\", plugin will not function properly.",
               "SigScan ERROR: dlsym() failed for function \"CCSPlayer::RoundRespawn\" with error: \"" + gameDir_ +
                   "/bin/server" VL_MODULE_SUFFIX ": undefined symbol: RoundRespawn_RenamedByAnUpdate\", plugin will not "
                   "function properly.",
               "SigScan ERROR: dlsym() failed for function \"Twins\" with error: \"" + gameDir_ +
                   "/bin/server" VL_MODULE_SUFFIX ": undefined symbol: \", plugin will not function properly.",
               "SigScan ERROR: dlsym() failed for function \"Nowhere\" with error: \"" + gameDir_ +
                   "/bin/server" VL_MODULE_SUFFIX ": undefined symbol: \", plugin will not function properly.",
               "SigScan ERROR: dlsym() failed for function \"LongMask\" with error: \"" + gameDir_ +
                   "/bin/server" VL_MODULE_SUFFIX ": undefined symbol: \", plugin will not function properly.",
               "SigScan ERROR: dlsym() failed for function \"ShortMask\" with error: \"" + gameDir_ +
                   "/bin/server" VL_MODULE_SUFFIX ": undefined symbol: \", plugin will not function properly.",
               "SigScan ERROR: dlsym() failed for function \"NoFixedByte\" with error: \"" + gameDir_ +
                   "/bin/server" VL_MODULE_SUFFIX ": undefined symbol: \", plugin will not function properly.",
               "SigScan ERROR: dlsym() failed for function \"NotHex\" with error: \"" + gameDir_ +
                   "/bin/server" VL_MODULE_SUFFIX ": undefined symbol: \", plugin will not function properly."}));
    EXPECT_TRUE(Matching(load, "Found: ").empty());
    const Lines listing = Run("vl_sigscan");
    EXPECT_EQ(NamesAndRoutes(listing), (Lines{"Name: CCSPlayer::SwitchTeam"}));
    EXPECT_EQ(Run(spawn_), (Lines{unableToRespawn_}));
}

TEST_F(SigScanFallbackTest, WithTheSwitchEachRouteIsTriedAndNamed) {
    Start(AllRoutes(), true);
    const Lines load = console.Lines();
    const std::string dlsym = "SigScan ERROR: dlsym() failed for function \"";
    EXPECT_EQ(Matching(load, "SigScan ERROR: "),
              (Lines{
                  "SigScan ERROR: signature fallback failed for function \"Twins\": the signature matched 2 places, "
                  "it must match exactly one",
                  dlsym + "Twins\" with error: \"" + gameDir_ +
                      "/bin/server" VL_MODULE_SUFFIX ": undefined symbol: \", plugin will not function properly.",
                  "SigScan ERROR: signature fallback failed for function \"Nowhere\": the signature matched 0 places, "
                  "it must match exactly one",
                  dlsym + "Nowhere\" with error: \"" + gameDir_ +
                      "/bin/server" VL_MODULE_SUFFIX ": undefined symbol: \", plugin will not function properly.",
                  "SigScan ERROR: signature fallback failed for function \"LongMask\": the mask has 10 characters but "
                  "the signature only 5 bytes",
                  dlsym + "LongMask\" with error: \"" + gameDir_ +
                      "/bin/server" VL_MODULE_SUFFIX ": undefined symbol: \", plugin will not function properly.",
                  "SigScan ERROR: signature fallback failed for function \"NoFixedByte\": the mask fixes no byte",
                  dlsym + "NoFixedByte\" with error: \"" + gameDir_ +
                      "/bin/server" VL_MODULE_SUFFIX ": undefined symbol: \", plugin will not function properly.",
                  "SigScan ERROR: signature fallback failed for function \"NotHex\": the signature text is not "
                  "pairs of hexadecimal digits",
                  dlsym + "NotHex\" with error: \"" + gameDir_ +
                      "/bin/server" VL_MODULE_SUFFIX ": undefined symbol: \", plugin will not function properly.",
              }));
    const Lines expected = {
        "Name: CCSPlayer::SwitchTeam",   "Found: export",    "Name: CommitSuicide", "Found: symbol table",
        "Name: CCSPlayer::RoundRespawn", "Found: signature", "Name: ShortMask",     "Found: signature"};
    EXPECT_EQ(NamesAndRoutes(load), expected) << "the load report";
    EXPECT_EQ(NamesAndRoutes(Run("vl_sigscan")), expected);

    // The located functions are the game's: the hidden ones run and record their calls.
    EXPECT_EQ(Run(spawn_), (Lines{"player 1 respawned"}));
    const auto& calls = host.Game()->Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().function, "GameHiddenRespawn");
    EXPECT_EQ(Run(changeTeam_), (Lines{"player 1 moved to team 3"}));
    EXPECT_EQ(host.Game()->Calls().back().function, "GameSwitchTeam");
}

TEST_F(SigScanFallbackTest, TheStrippedCopyIsSearchedBySignatureOnly) {
    Start(DataFile(Entry("CCSPlayer::RoundRespawn", "GameHiddenRespawn", kRespawnStub, "xxxxxxxxxx") +
                   Entry("CommitSuicide", "GameHiddenSlay", "", "") +
                   Entry("CCSPlayer::SwitchTeam", "GameSwitchTeam", "", "")),
          true, true);
    const Lines load = console.Lines();
    EXPECT_EQ(Matching(load, "SigScan ERROR: symbol table"),
              (Lines{"SigScan ERROR: symbol table fallback failed for function \"CommitSuicide\": the library file "
                     "has no symbol table (stripped)"}));
    EXPECT_EQ(NamesAndRoutes(load), (Lines{"Name: CCSPlayer::RoundRespawn", "Found: signature",
                                           "Name: CCSPlayer::SwitchTeam", "Found: export"}));
    EXPECT_EQ(Run(spawn_), (Lines{"player 1 respawned"}));
    EXPECT_EQ(host.Game()->Calls().back().function, "GameHiddenRespawn");
}

TEST_F(SigScanFallbackTest, ReloadRebuildsTheTableOrKeepsTheOldOne) {
    Start(DataFile(Entry("CCSPlayer::SwitchTeam", "GameSwitchTeam", "", "")), false);
    EXPECT_EQ(Run(spawn_), (Lines{unableToRespawn_}));

    // The file gains an entry: the new table lists both and the new entry works.
    WriteDataFile(DataFile(Entry("CCSPlayer::SwitchTeam", "GameSwitchTeam", "", "") +
                           Entry("CCSPlayer::RoundRespawn", "GameRoundRespawn", "5589E5", "xxx") +
                           Entry("Missing", "NoSuchSymbol", "", "")));
    Lines reload = Run("vl_sigscan_reload");
    EXPECT_EQ(NamesAndRoutes(reload), (Lines{"Name: CCSPlayer::SwitchTeam", "Name: CCSPlayer::RoundRespawn"}));
    EXPECT_EQ(reload.front(), "SigScan ERROR: dlsym() failed for function \"Missing\" with error: \"" + gameDir_ +
                                  "/bin/server" VL_MODULE_SUFFIX ": undefined symbol: NoSuchSymbol\", plugin will not function "
                                  "properly.");
    EXPECT_EQ(reload.back(), "2 of 3 entries located");
    EXPECT_EQ(Run(spawn_), (Lines{"player 1 respawned"}));
    EXPECT_EQ(host.Game()->Calls().back().function, "GameRoundRespawn");

    // A vanished file or library leaves the table as it was.
    std::filesystem::remove(gameDir_ + "/" + std::string(kDataFile));
    EXPECT_EQ(Run("vl_sigscan_reload"),
              (Lines{"Fail loading SigScan file", "addons/vorlane/sigscan_info.dat",
                     "SigScan reload failed: the data file could not be read; the previous table is kept"}));
    EXPECT_EQ(NamesAndRoutes(Run("vl_sigscan")),
              (Lines{"Name: CCSPlayer::SwitchTeam", "Name: CCSPlayer::RoundRespawn"}));
    EXPECT_EQ(Run(spawn_), (Lines{"player 1 respawned"}));

    // A file that would empty a working table is refused: one without an enabled entry,
    // and a truncated or damaged one (the reader reports errors, whatever it kept).
    WriteDataFile("\"sigs\"\n{\n}\n");
    EXPECT_EQ(Run("vl_sigscan_reload"),
              (Lines{"SigScan reload failed: the data file has no enabled entry; the previous table is kept"}));
    const std::string full = DataFile(Entry("Missing", "NoSuchSymbol", "", ""));
    for (const std::string& broken : {full.substr(0, full.size() - 4), std::string("\x01\x02{{}\"\"\"")}) {
        WriteDataFile(broken);
        // Only the reader's reports and the one line: no entry of a refused file is resolved.
        Lines refused = Run("vl_sigscan_reload");
        ASSERT_FALSE(refused.empty());
        EXPECT_EQ(refused.back(), "SigScan reload failed: the data file has key-value errors (shown at developer level "
                                  "1); the previous table is kept");
        refused.pop_back();
        EXPECT_TRUE(Matching(refused, "SigScan").empty()) << refused.front();
    }
    EXPECT_EQ(Run(spawn_), (Lines{"player 1 respawned"}));

    // Emptying is fine when there was nothing to lose.
    host.Shutdown();
    Start("\"sigs\"\n{\n}\n", true);
    EXPECT_EQ(Run("vl_sigscan_reload"),
              (Lines{"SigScanning List:", "-----------------------------", "0 of 0 entries located"}));
}

}  // namespace
