// Plugin bots in the simulated engine: "plugin_bot_add" makes fake clients that join
// team 3, walk, and turn away from the world's walls; bots that leave are forgotten; the
// steering variables reach them through the host console.
#include <gtest/gtest.h>
#include <math.h>

#include <string>
#include <vector>

#include "support/HostFixture.h"

namespace {

class PluginBotsTest : public HostTest {
protected:
    HostPlayerState State(int slot) {
        HostPlayerState state;
        EXPECT_TRUE(host.Game()->GetPlayerState(host.Edict(slot), &state)) << "slot " << slot;
        return state;
    }

    std::string NameOf(int slot) {
        auto* players = static_cast<IPlayerInfoManagerApi*>(host.Lookup("PlayerInfoManager002", true, false, nullptr));
        IPlayerInfoApi* info = players->GetPlayerInfo(host.Edict(slot));
        return info ? info->GetName() : "";
    }

    std::vector<std::string> ClientCommands(int slot) {
        std::vector<std::string> commands;
        for (const GameCall& call : host.Game()->Calls()) {
            if (call.function == "ClientCommand" && call.entity == slot) commands.push_back(call.args);
        }
        return commands;
    }
};

TEST_F(PluginBotsTest, AddedBotsJoinTeamThreeAndWalkInsideTheRoom) {
    StartWithPlugin();
    ASSERT_TRUE(host.ExecuteFile(GameDir() + "/cfg/world.cfg"));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(Run("plugin_bot_add extra words are ignored").empty()) << "adding a bot prints nothing";
    }
    for (int slot = 1; slot <= 3; ++slot) {
        EXPECT_EQ(NameOf(slot), "Bot_" + std::to_string(slot - 1));
        HostPlayerState state = State(slot);
        EXPECT_TRUE(state.fake && state.dead);
        EXPECT_EQ(state.team, 0);
    }

    host.RunFrames(1);
    for (int slot = 1; slot <= 3; ++slot) {
        EXPECT_EQ(ClientCommands(slot),
                  (std::vector<std::string>{"\"joingame\"", "\"jointeam 3\"", "\"joinclass 0\""}));
        HostPlayerState state = State(slot);
        EXPECT_EQ(state.team, 3);
        EXPECT_FALSE(state.dead);
        EXPECT_EQ(state.health, 100);
        EXPECT_EQ(state.commandsRun, 1);
    }
    const Vector spawn = State(1).origin;
    EXPECT_EQ(spawn.x, -400.0f) << "slot 1 respawns at the first spawn point";
    EXPECT_EQ(spawn.y, -400.0f);

    host.RunFrames(60);
    for (int slot = 1; slot <= 3; ++slot) {
        HostPlayerState state = State(slot);
        EXPECT_EQ(state.commandsRun, 61);
        EXPECT_EQ(state.notifications, 61) << "once per made-up command";
        EXPECT_LE(fabsf(state.origin.x), 496.0f) << "inside the walls";
        EXPECT_LE(fabsf(state.origin.y), 496.0f);
        EXPECT_EQ(ClientCommands(slot).size(), 3u) << "joined once";
    }
    EXPECT_NE(State(1).origin.x, spawn.x);
    const HostTraceRecord& traces = host.Traces();
    EXPECT_GE(traces.count, 3 * 60);
    EXPECT_EQ(traces.lastMask, 0x0201400Bu);
    EXPECT_TRUE(traces.lastFilterGiven);
    EXPECT_FALSE(traces.lastFilterHitsEntities);
    EXPECT_EQ(traces.lastFilterType, 0);
    EXPECT_EQ(traces.lastRay.maxs.z - traces.lastRay.mins.z, 72.0f);
}

TEST_F(PluginBotsTest, ARefusedBotUsesUpItsName) {
    HostOptions options;
    options.maxClients = 2;
    StartWithPlugin(options);
    Run("plugin_bot_add");
    Run("host_addplayer Human");
    EXPECT_EQ(Run("plugin_bot_add"),  // the server is full: refused, on the developer channel
              (Lines{"plugin_bot_add: no bot added: the engine could not create Bot_1 (the server may be full)"}));
    Run("host_kick 2");
    Run("plugin_bot_add");
    EXPECT_EQ(NameOf(1), "Bot_0");
    EXPECT_EQ(NameOf(2), "Bot_2");
    host.RunFrames(2);
    EXPECT_EQ(State(1).commandsRun, 2);
    EXPECT_EQ(State(2).commandsRun, 2);
}

TEST_F(PluginBotsTest, ABotThatLeavesIsForgottenWhileTheOthersThink) {
    StartWithPlugin();
    for (int i = 0; i < 3; ++i) Run("plugin_bot_add");
    host.RunFrames(1);
    Run("host_kick 1");
    host.RunFrames(2);
    EXPECT_EQ(State(2).commandsRun, 3);
    EXPECT_EQ(State(3).commandsRun, 3);

    // A slot taken over by a new client before the next frame is not steered: its
    // player objects are not the recorded bot's.
    Run("host_kick 2; host_addplayer Eve");
    EXPECT_EQ(NameOf(1), "Eve");
    Run("host_addplayer Mallory");
    EXPECT_EQ(NameOf(2), "Mallory");
    host.RunFrames(3);
    EXPECT_EQ(State(1).commandsRun, 0);
    EXPECT_EQ(State(2).commandsRun, 0);
    EXPECT_EQ(State(3).commandsRun, 6);
}

TEST_F(PluginBotsTest, ABotThatMeetsAWallTurnsAwayAndNeverPassesIt) {
    StartWithPlugin();
    Run("host_worldbox 100 -1000 -64 132 1000 256");
    Run("host_spawnpoint 0 0 0 0");
    Run("plugin_bot_add");
    host.RunFrames(1);
    HostPlayerState previous = State(1);
    int turnsAtTheWall = 0;
    for (int frame = 0; frame < 200; ++frame) {
        const int before = host.Traces().count;
        host.RunFrames(1);
        const HostPlayerState state = State(1);
        EXPECT_LE(state.origin.x + 16.0f, 100.0f) << "frame " << frame;
        if (host.Traces().count - before > 1) {
            ++turnsAtTheWall;
            // Blocked probes (made from where the bot stood) turned it to a heading whose
            // probe is clear.
            EXPECT_NE(state.angles.y, previous.angles.y);
            const float yaw = state.angles.y * static_cast<float>(M_PI) / 180.0f;
            EXPECT_LE(previous.origin.x + 16.0f + 10.0f * cosf(yaw), 100.0f) << "frame " << frame;
        }
        previous = state;
    }
    EXPECT_GE(turnsAtTheWall, 1);
}

TEST_F(PluginBotsTest, GameFrameWithoutSimulationLeavesTheBotsAlone) {
    StartWithPlugin();
    Run("plugin_bot_add");
    host.Plugin()->GameFrame(false);
    EXPECT_EQ(State(1).commandsRun, 0);
    host.Plugin()->GameFrame(true);
    EXPECT_EQ(State(1).commandsRun, 1);
}

TEST_F(PluginBotsTest, MimicCopiesAPlayersCommandThroughTheConsoleVariables) {
    StartWithPlugin();
    Run("host_addplayer Alice");
    Run("host_setplayer 1 team 2; host_setplayer 1 dead 0");
    Run("plugin_bot_add; plugin_bot_add");
    Run("host_usercmd 1 200 -50 30 1");
    Run("plugin_bot_mimic 1; plugin_bot_mimic_yaw_offset 170; plugin_bot_crouch 1");
    host.RunFrames(1);
    for (int slot = 2; slot <= 3; ++slot) {
        const CBotCmd& cmd = State(slot).lastCommand;
        EXPECT_EQ(cmd.viewAngles.y, 200.0f);
        EXPECT_EQ(cmd.forwardMove, 200.0f);
        EXPECT_EQ(cmd.sideMove, -50.0f);
        EXPECT_EQ(cmd.buttons, 1 | 4);
        EXPECT_TRUE(ClientCommands(slot).empty()) << "a mimicking bot does not join";
    }
    Run("plugin_bot_mimic 0; plugin_bot_flipout 1; plugin_bot_forceattackon 1; plugin_bot_forceattack2 1");
    host.RunFrames(2);
    const CBotCmd& cmd = State(2).lastCommand;
    EXPECT_EQ(cmd.buttons, 0x800) << "the live bot fires with attack2";
}

TEST_F(PluginBotsTest, UnloadingForgetsTheBotsAndALaterLoadStartsEmpty) {
    StartWithPlugin();
    Run("plugin_bot_add; plugin_bot_add");
    host.RunFrames(1);
    // The engine keeps calling frames after Unload without closing the library.
    host.Plugin()->Unload();
    host.Plugin()->GameFrame(true);
    EXPECT_EQ(State(1).commandsRun, 1);

    host.UnloadPlugin();
    ASSERT_TRUE(host.LoadPlugin(PluginPath())) << console.Text();
    host.RunFrames(2);
    EXPECT_EQ(State(1).commandsRun, 1);
    EXPECT_EQ(State(2).commandsRun, 1);
    Run("plugin_bot_add");
    EXPECT_EQ(NameOf(3), "Bot_0") << "a fresh library counts names from 0";
    host.RunFrames(1);
    EXPECT_EQ(State(3).commandsRun, 1);
    EXPECT_EQ(State(1).commandsRun, 1);
}

}  // namespace
