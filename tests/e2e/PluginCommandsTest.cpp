// The plugin's console commands as an operator uses them: typed into the host console,
// checked by their exact output and the game calls they cause.
#include <string>
#include <vector>

#include "host/engine/ConsoleObjects.h"
#include "host/vstdlib/HostVstdlib.h"
#include "support/HostFixture.h"

namespace {

class PluginCommandsTest : public HostTest {
protected:
    // The plugin on a game directory without a signature data file, with two players:
    // slot 1 user id 2, slot 2 user id 3.
    void StartWithoutTable() {
        HostOptions options;
        options.gameDir = MakeGameDir();
        StartWithPlugin(options);
        host.AddClient("Alice", "ID_1", false);
        host.AddClient("Bob", "ID_2", false);
        host.Game()->ClearCalls();
    }
};

TEST_F(PluginCommandsTest, RegistersItsObjectsAfterTheReportWithThePluginFlag) {
    StartWithoutTable();
    const auto& registered = HostVstdlib_Cvar()->Registered();
    std::vector<std::string> names;
    for (ConCommandBase* object : registered) names.push_back(ConsoleObjectName(object));
    // Newest first on the registry's list: the bot objects (constructed after the
    // plugin's own), then the plugin's variable and commands.
    EXPECT_EQ(names, (Lines{"plugin_bot_add", "plugin_bot_crouch", "plugin_bot_sendcmd", "plugin_bot_mimic_yaw_offset",
                            "plugin_bot_mimic", "plugin_bot_changeclass", "plugin_bot_flipout",
                            "plugin_bot_forceattackon", "plugin_bot_forceattack2", "plugin_bot_forcefireweapon",
                            "vl_sigscan_reload", "vl_utils_version", "vl_changeteam", "vl_spawn", "vl_sigscan"}));
    for (ConCommandBase* object : registered) {
        const auto* view = reinterpret_cast<const ConsoleObjectView*>(object);
        EXPECT_TRUE(view->flags & 0x40000) << view->name;
        EXPECT_TRUE(ConsoleSlot<bool (*)(const void*)>(object, console_slots::kIsRegistered)(object));
        EXPECT_EQ(view->next, nullptr) << "taken off the local list while registering";
    }
    EXPECT_STREQ(ConsoleSlot<const char* (*)(const void*)>(registered[10], console_slots::kGetHelpText)(registered[10]),
                 "Reloads the SigScan data file and shows the new list");
    EXPECT_EQ(reinterpret_cast<const ConsoleObjectView*>(registered[11])->flags, 0x40100);
    EXPECT_FALSE(ConsoleObjectIsCommand(registered[11]));
    EXPECT_TRUE(ConsoleObjectIsCommand(registered[12]));
    EXPECT_STREQ(ConsoleSlot<const char* (*)(const void*)>(registered[13], console_slots::kGetHelpText)(registered[13]),
                 "Spawns a player");
    EXPECT_EQ(reinterpret_cast<const ConsoleObjectView*>(registered[1])->flags, 0x40000) << "bot variables: flags 0";
    EXPECT_TRUE(ConsoleObjectIsCommand(registered[0]));
    EXPECT_STREQ(ConsoleSlot<const char* (*)(const void*)>(registered[0], console_slots::kGetHelpText)(registered[0]),
                 "Add a bot.");
}

TEST_F(PluginCommandsTest, FailedLoadRegistersNothing) {
    HostOptions options;
    options.omit.insert("ServerGameEnts001");
    StartEngine(options);
    EXPECT_FALSE(host.LoadPlugin(PluginPath()));
    EXPECT_TRUE(HostVstdlib_Cvar()->Registered().empty());
    EXPECT_EQ(Run("vl_spawn 2"), (Lines{"Unknown command \"vl_spawn\""}));
}

TEST_F(PluginCommandsTest, SyntaxLinesNameTheCommandAsTyped) {
    StartWithoutTable();
    EXPECT_EQ(Run("vl_spawn"), (Lines{"Syntax: vl_spawn <userid>"}));
    EXPECT_EQ(Run("VL_Spawn"), (Lines{"Syntax: VL_Spawn <userid>"}));
    EXPECT_EQ(Run("vl_changeteam 2"), (Lines{"Syntax: vl_changeteam <userid> <Team Index>"}));
    EXPECT_TRUE(host.Game()->Calls().empty());
}

TEST_F(PluginCommandsTest, UnknownUserIdsAndMissingFunctionsAreReported) {
    StartWithoutTable();
    EXPECT_EQ(Run("vl_spawn 9"), (Lines{"Userid '9' not exists!"}));
    EXPECT_EQ(Run("vl_spawn abc"), (Lines{"Userid '0' not exists!"})) << "text without a number is user id 0";
    EXPECT_EQ(Run("vl_changeteam -4 2"), (Lines{"Userid '-4' not exists!"}));
    // Present players, but the table is empty: the unable-to lines, and no game call.
    EXPECT_EQ(Run("vl_spawn 3 extra words"), (Lines{"Unable to Respawn userid '3'"}));
    EXPECT_EQ(Run("vl_changeteam 2 3"), (Lines{"Unable to changeteam userid '2'"}));
    EXPECT_EQ(Run("vl_sigscan"), (Lines{"SigScanning List:", "-----------------------------"}));
    EXPECT_TRUE(host.Game()->Calls().empty());
}

TEST_F(PluginCommandsTest, NoPlayerSlotsMeansNoUserIdExists) {
    HostOptions options;
    options.gameDir = MakeGameDir();
    options.maxClients = 0;
    StartWithPlugin(options);
    EXPECT_EQ(Run("vl_spawn 2"), (Lines{"Userid '2' not exists!"}));
}

TEST_F(PluginCommandsTest, UserIdLookupWalksSlotsOneToMaxClientsInclusive) {
    HostOptions options;
    options.gameDir = MakeGameDir();
    options.maxClients = 2;
    StartWithPlugin(options);
    host.AddClient("Alice", "ID_1", false);  // slot 1, user id 2
    host.AddClient("Bob", "ID_2", false);    // slot 2 (the last), user id 3
    // Found (the table is empty, so the unable-to line), or not found at all.
    const struct {
        const char* line;
        const char* shown;
    } cases[] = {
        {"vl_spawn 2", "Unable to Respawn userid '2'"},               // the first slot
        {"vl_spawn 3", "Unable to Respawn userid '3'"},               // the last slot
        {"vl_changeteam 3 1", "Unable to changeteam userid '3'"},     // the last slot
        {"vl_spawn -1", "Userid '-1' not exists!"},                   // slot 0 (user id -1) is no player
        {"vl_spawn 4", "Userid '4' not exists!"},                     // one past the last user id
        {"vl_spawn 2147483647", "Userid '2147483647' not exists!"},   // the largest id
        {"vl_spawn 99999999999", "Userid '2147483647' not exists!"},  // strtol saturates
    };
    for (const auto& c : cases) EXPECT_EQ(Run(c.line), (Lines{c.shown})) << c.line;
    // An empty slot answers user id -1, yet -1 names no player.
    Run("host_kick 2");
    EXPECT_EQ(Run("vl_spawn -1"), (Lines{"Userid '-1' not exists!"}));
    EXPECT_EQ(Run("vl_changeteam -1 2"), (Lines{"Userid '-1' not exists!"}));
}

TEST_F(PluginCommandsTest, VersionVariableShowsAndTakesValuesAndNotifiesTheConsole) {
    StartWithoutTable();
    EXPECT_EQ(Run("vl_utils_version"),
              (Lines{"\"vl_utils_version\" is \"0.0.2\" (default \"0.0.2\")", "  Vorlane Utils Version"}));
    const size_t before = HostVstdlib_Cvar()->Notifications().size();
    EXPECT_TRUE(Run("vl_utils_version \"0.0.3 beta\"").empty());
    const auto& notes = HostVstdlib_Cvar()->Notifications();
    ASSERT_EQ(notes.size(), before + 1);
    EXPECT_EQ(notes.back().oldValue, "0.0.2");
    EXPECT_EQ(Run("vl_utils_version")[0], "\"vl_utils_version\" is \"0.0.3 beta\" (default \"0.0.2\")");
}

TEST_F(PluginCommandsTest, UnloadLeavesTheCommandsRegistered) {
    StartWithoutTable();
    host.Plugin()->Unload();
    EXPECT_EQ(Run("vl_spawn"), (Lines{"Syntax: vl_spawn <userid>"}));
}

}  // namespace
