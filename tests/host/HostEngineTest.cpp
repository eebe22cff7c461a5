// The substitute engine itself: console line splitting, the file system's confinement
// to the game directory, traces against the world, slots and time, console help; and
// the host program's command line. The plugin's tests rely on these, so a fault here
// would hide or fake a fault there.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/vstdlib/HostVstdlib.h"
#include "support/HostFixture.h"
#include "tier1/Convar.h"

namespace {

using Words = std::vector<std::string>;

TEST(HostConsoleLine, SplitsAtSemicolonsOutsideQuotesAndGroupsQuotedWords) {
    EXPECT_EQ(HostSplitCommands("a 1; b \"x;y\" ;c"), (Words{"a 1", " b \"x;y\" ", "c"}));
    EXPECT_EQ(HostTokenize("  vl_spawn   3  "), (Words{"vl_spawn", "3"}));
    EXPECT_EQ(HostTokenize("say \"hello world\" x"), (Words{"say", "hello world", "x"}));
    EXPECT_EQ(HostTokenize("say \"\""), (Words{"say", ""}));
    EXPECT_EQ(HostTokenize("say \"unterminated text"), (Words{"say", "unterminated text"}));
    EXPECT_TRUE(HostTokenize("   ").empty());
}

class HostEngineTest : public HostTest {};

TEST_F(HostEngineTest, FileSystemStaysInsideTheGameDirectory) {
    HostOptions options;
    options.gameDir = MakeGameDir({{"cfg/a.txt", "hello"}});
    StartEngine(options);
    auto* fs = static_cast<IFileSystemApi*>(host.Lookup("VFileSystem017", false, false, nullptr));
    ASSERT_NE(fs, nullptr);
    FileHandle_t file = fs->Open("cfg/a.txt", "rb", nullptr);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(fs->Size(file), 5u);
    char text[8] = {};
    EXPECT_EQ(fs->ReadEx(text, 3, 5, file), 3) << "never more than the destination holds";
    EXPECT_STREQ(text, "hel");
    fs->Close(file);

    EXPECT_EQ(fs->Open("../outside.txt", "rb", nullptr), nullptr);
    EXPECT_EQ(fs->Open("cfg/../../outside.txt", "rb", nullptr), nullptr);
    EXPECT_EQ(fs->Open("/etc/passwd", "rb", nullptr), nullptr);
    EXPECT_EQ(fs->Open("cfg", "rb", nullptr), nullptr) << "a directory is not a file";
    EXPECT_EQ(fs->Open("missing.txt", "rb", nullptr), nullptr);
}

TEST_F(HostEngineTest, TracesStopAtWorldBoxes) {
    StartEngine();
    host.AddWorldBox({100, -50, 0}, {120, 50, 100});
    trace_t result;
    Ray_t ray = {{0, 0, 36}, {200, 0, 36}, {-16, -16, 0}, {16, 16, 72}};
    EXPECT_TRUE(host.TraceBox(ray, &result));
    // The box's front (x = 100) is met when the ray's box front (x + 16) reaches it.
    EXPECT_FLOAT_EQ(result.fraction, 84.0f / 200.0f);
    ray = {{0, 0, 36}, {0, 200, 36}, {-16, -16, 0}, {16, 16, 72}};
    EXPECT_FALSE(host.TraceBox(ray, &result));
    EXPECT_EQ(result.fraction, 1.0f);
}

TEST_F(HostEngineTest, SlotsUserIdsAndTime) {
    HostOptions options;
    options.maxClients = 2;
    StartEngine(options);
    EXPECT_EQ(host.AddClient("a", "ID_A", false), 1);
    EXPECT_EQ(host.AddClient("b", "ID_B", true), 2);
    EXPECT_EQ(host.AddClient("c", "ID_C", false), 0) << "server full";
    EXPECT_EQ(host.UserIdOf(1), 2);
    EXPECT_EQ(host.UserIdOf(2), 3);
    EXPECT_EQ(host.Edict(1)->stateFlags & FL_EDICT_FREE, 0);
    host.RemoveClient(1);
    EXPECT_NE(host.Edict(1)->stateFlags & FL_EDICT_FREE, 0);
    EXPECT_EQ(host.UserIdOf(1), -1);
    EXPECT_EQ(host.AddClient("d", "ID_D", false), 1);
    EXPECT_EQ(host.UserIdOf(1), 4) << "user ids are never reused";
    EXPECT_EQ(host.Edict(-1), nullptr);

    EXPECT_EQ(host.Globals().curTime, 0.0f);
    host.RunFrames(2);
    EXPECT_EQ(host.Globals().tickCount, 2);
    EXPECT_FLOAT_EQ(host.Globals().curTime, 2 * host.Globals().intervalPerTick);
}

TEST_F(HostEngineTest, ConsoleRunsHostCommandsAndNamesUnknownOnes) {
    StartEngine();
    console.Clear();
    EXPECT_TRUE(host.ExecuteLine("// a comment; quit"));
    EXPECT_TRUE(host.ExecuteLine("host_addplayer \"Ann Lee\" ID_1; no_such_command 1"));
    EXPECT_EQ(console.Lines(),
              (Words{"player \"Ann Lee\" connected in slot 1, userid 2", "Unknown command \"no_such_command\""}));
    EXPECT_FALSE(host.ExecuteLine("QUIT"));
}

TEST_F(HostEngineTest, BotsWalkByTheirCommandsAndStopShortOfTheWorldsBoxes) {
    StartEngine();
    EXPECT_TRUE(host.ExecuteLine("host_worldbox 100 -100 -64 132 100 256; host_spawnpoint 40 0 0 0"));
    console.Clear();
    host.ExecuteLine("host_worldbox 1 2 3; host_spawnpoint x 0 0 0");
    EXPECT_EQ(console.Lines(), (Words{"Syntax: host_worldbox <minx> <miny> <minz> <maxx> <maxy> <maxz>",
                                      "Syntax: host_spawnpoint <x> <y> <z> <yaw>"}));
    auto* bots = static_cast<IBotManagerApi*>(host.Lookup("BotManager001", true, false, nullptr));
    auto* helpers = static_cast<IPluginHelpersApi*>(host.Lookup("ISERVERPLUGINHELPERS001", false, false, nullptr));
    ASSERT_TRUE(bots && helpers);
    edict_t* edict = bots->CreateBot("Walker");
    ASSERT_NE(edict, nullptr);
    IBotControllerApi* controller = bots->GetBotController(edict);
    ASSERT_NE(controller, nullptr);
    // Dead on team 0 until the join commands; then alive at the slot's spawn point.
    helpers->ClientCommand(edict, "joingame");
    helpers->ClientCommand(edict, "jointeam 3");
    helpers->ClientCommand(edict, "joinclass 0");
    HostPlayerState state;
    ASSERT_TRUE(host.Game()->GetPlayerState(edict, &state));
    EXPECT_EQ(state.team, 3);
    EXPECT_FALSE(state.dead);
    EXPECT_EQ(state.origin.x, 40.0f);

    // 600 units a second forward for one 0.015 s frame, 400 to the right (yaw 0 faces +x,
    // its right is -y).
    CBotCmd cmd = {};
    cmd.forwardMove = 600;
    cmd.sideMove = 400;
    controller->RunPlayerMove(&cmd);
    Vector origin = controller->GetLocalOrigin();
    EXPECT_FLOAT_EQ(origin.x, 49.0f);
    EXPECT_FLOAT_EQ(origin.y, -6.0f);
    // The wall's face is at x = 100, the bot's box reaches 16 ahead: it stops just short.
    for (int i = 0; i < 10; ++i) controller->RunPlayerMove(&cmd);
    origin = controller->GetLocalOrigin();
    EXPECT_LT(origin.x, 84.0f);
    EXPECT_GT(origin.x, 83.5f);
    // Turned to face away, it walks off again.
    cmd.viewAngles.y = 180;
    cmd.sideMove = 0;
    controller->RunPlayerMove(&cmd);
    EXPECT_FLOAT_EQ(controller->GetLocalOrigin().x, origin.x - 9.0f);
    EXPECT_EQ(controller->GetLocalAngles().y, 180.0f);
    EXPECT_EQ(host.Traces().count, 0) << "the game's own movement traces are not the plugin's";

    console.Clear();
    host.ExecuteLine("host_bots");
    ASSERT_EQ(console.Lines().size(), 2u);
    EXPECT_EQ(console.Lines()[1], "   1 Walker          3 alive (   74.9   -29.3   0.0)  180.0");
}

TEST_F(HostEngineTest, HelpShowsAVariableACommandOrAHostCommand) {
    StartWithPlugin();
    // Variables of the product's own kind, with bounds, handed to the host console as a
    // plugin's registration does.
    ConVar bounded("test_bounded", "5", FCVAR_UNLISTED, "A bounded value.", true, -1.5f, true, 10.0f);
    ConVar onlyMax("test_only_max", "", FCVAR_UNLISTED, nullptr, false, 0.0f, true, 3.0f);
    HostVstdlib_Cvar()->RegisterConCommandBase(&bounded);
    HostVstdlib_Cvar()->RegisterConCommandBase(&onlyMax);
    host.ExecuteLine("plugin_bot_flipout 2; test_bounded 12");
    console.Clear();
    host.ExecuteLine("help PLUGIN_BOT_FLIPOUT; help test_bounded; help test_only_max; help vl_spawn");
    host.ExecuteLine("help host_setplayer; help Quit; help host_player; help quitx; help");
    EXPECT_EQ(console.Lines(), (Words{
                                   "variable \"plugin_bot_flipout\" is \"2\" (default \"0\")",
                                   "  When on, all bots fire their guns.",
                                   "variable \"test_bounded\" is \"10.000000\" (default \"5\", min -1.5, max 10)",
                                   "  A bounded value.",
                                   "variable \"test_only_max\" is \"\" (default \"\", max 3)",
                                   "  (no help text)",
                                   "command \"vl_spawn\"",
                                   "  Spawns a player",
                                   "host command \"host_setplayer\", syntax: host_setplayer <slot> <field> <v>",
                                   "  set team, dead, health, eflags, name,",
                                   "  connected or player",
                                   "host command \"quit\", syntax: quit",
                                   "  leave",
                                   "help: no command or variable \"host_player\"",
                                   "help: no command or variable \"quitx\"",
                                   "Syntax: help <name>",
                               }));
    EXPECT_TRUE(HostVstdlib_Cvar()->Unregister(&bounded));
    EXPECT_TRUE(HostVstdlib_Cvar()->Unregister(&onlyMax));
}

TEST(HostProgram, RefusesABadCommandLineByNameAndPrintsHelpOnRequest) {
    ProgramRun run = RunHostProgram("--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("usage: vlhost [options]\n", 0), 0u) << run.out;
    EXPECT_EQ(run.err, "");

    run = RunHostProgram("--maxclient 4");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "vlhost: unknown option \"--maxclient\" (vlhost --help lists the options)\n");
    run = RunHostProgram("--seed");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "vlhost: option --seed needs a value\n");

    const char* const slots = "expected a whole number from 1 to 64";
    const char* const seeds = "expected a whole number from 0 to 4294967295";
    const std::vector<std::vector<std::string>> refused = {
        {"--maxclients", "abc", slots},
        {"--maxclients", "0", slots},
        {"--maxclients", "-3", slots},
        {"--maxclients", "65", slots},
        {"--maxclients", "8x", slots},
        {"--seed", "-1", seeds},
        {"--seed", "4294967296", seeds},
        {"--developer", "-1", "expected a whole number, 0 or more"},
        {"--cpu-features", "0x100", "expected a number from 0 to 255 (0xff)"}};
    for (const auto& bad : refused) {
        run = RunHostProgram(bad[0] + " '" + bad[1] + "'", "host_players\n");
        EXPECT_EQ(run.status, 2) << bad[0] << " " << bad[1];
        EXPECT_EQ(run.out, "") << "nothing starts";
        EXPECT_EQ(run.err, "vlhost: bad value \"" + bad[1] + "\" for " + bad[0] + ": " + bad[2] + "\n");
    }

    // The bounds themselves are taken, and used: the demo connects five players.
    run = RunHostProgram("--maxclients 1");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("player \"Alice\" connected in slot 1, userid 2\nserver is full\n"), std::string::npos)
        << run.out;
    run = RunHostProgram("--maxclients 64 --seed 4294967295 --developer 0 --cpu-features 0xff");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.find("server is full"), std::string::npos);
}

TEST(HostProgram, StopsWithStatusOneWhenThePluginDoesNotLoad) {
    // Load stops at a missing interface: the report is printed, no console line is run.
    const ProgramRun run = RunHostProgram("--omit GAMEEVENTSMANAGER002", "host_players\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("host: plugin failed to load\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("] host_players"), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "vlhost: the plugin " VL_BIN_DIR "/vorlane_utils.so did not load\n");
}

}  // namespace
