// The substitute engine itself: console line splitting, the file system's confinement
// to the game directory, traces against the world, slots and time. The plugin's tests
// rely on these, so a fault here would hide or fake a fault there.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/HostFixture.h"

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

}  // namespace
