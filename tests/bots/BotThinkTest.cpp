// The think steps against fakes of the engine objects: which step runs when, the
// numbers each one puts into the command, and which random source each one draws from.
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>

#include "bots/BotFakes.h"
#include "math/mathlib.h"

namespace {

class BotThinkTest : public BotTest {};

TEST_F(BotThinkTest, DeadBotOnTeamZeroSendsTheJoinCommandsAndStillRunsItsCommand) {
    struct Case {
        int team;
        float strafeSpeed;
        bool joins;
    };
    const Case cases[] = {{0, 0.0f, true}, {0, 250.0f, true}, {2, 0.0f, false}, {3, -40.0f, false}};
    for (const Case& c : cases) {
        g_events = BotEvents();
        FakePlayer* player;
        CPluginBot bot = MakeBot(static_cast<int>(fake.players.size()) + 1, &player);
        player->dead = true;
        player->health = 0;
        player->team = c.team;
        player->angles = {5, 50, 0};
        bot.strafeSpeed = c.strafeSpeed;
        Bot_Think(&bot);
        const std::vector<std::string> joins = {player->Tag("cmd joingame"), player->Tag("cmd jointeam 3"),
                                                player->Tag("cmd joinclass 0")};
        std::vector<std::string> sent;
        for (const std::string& e : g_events.log) {
            if (e.find(" cmd ") != std::string::npos) sent.push_back(e);
        }
        EXPECT_EQ(sent, c.joins ? joins : std::vector<std::string>()) << "team " << c.team;
        ASSERT_EQ(player->commands.size(), 1u);
        const CBotCmd& cmd = player->commands[0];
        EXPECT_EQ(cmd.sideMove, c.strafeSpeed);
        EXPECT_EQ(cmd.forwardMove, 0.0f);
        EXPECT_EQ(cmd.buttons, 0);
        EXPECT_EQ(cmd.viewAngles.y, 50.0f);
        EXPECT_TRUE(fakeTrace.rays.empty()) << "a dead bot does not probe";
    }
}

TEST_F(BotThinkTest, OnlyHealthExactlyHundredWalksTurnsAndStrafes) {
    for (int health : {99, 100, 101}) {
        fakeTrace.rays.clear();
        FakePlayer* player;
        CPluginBot bot = MakeBot(static_cast<int>(fake.players.size()) + 1, &player);
        player->health = health;
        bot.strafeSpeed = 300.0f;  // the side move of the previous decision
        bot.nextTurnTime = 100.0f;
        bot.nextStrafeTime = fake.globals.curTime;  // a decision is due
        if (health == 100) {
            fakeRandom.floats = {0.5f};  // forward scale while strafing
            fakeRandom.ints = {3, 0};    // no strafe this time; walk backwards
        }
        Bot_Think(&bot);
        const CBotCmd& cmd = player->commands.at(0);
        if (health == 100) {
            EXPECT_EQ(cmd.forwardMove, 300.0f) << "600 scaled by the 0.1..1.0 draw";
            EXPECT_EQ(fakeTrace.rays.size(), 1u);
            EXPECT_EQ(cmd.sideMove, 0.0f) << "the new decision";
            EXPECT_EQ(bot.nextStrafeTime, fake.globals.curTime + 1.0f);
            EXPECT_TRUE(bot.movingBackwards);
        } else {
            EXPECT_EQ(cmd.forwardMove, 0.0f) << health;
            EXPECT_TRUE(fakeTrace.rays.empty()) << health;
            EXPECT_EQ(cmd.sideMove, 300.0f) << "keeps the last decision";
            EXPECT_EQ(bot.nextStrafeTime, fake.globals.curTime);
        }
    }
    EXPECT_EQ(fakeRandom.calls, (std::vector<std::string>{"float 0.1 1", "int 0 5", "int 0 20"}));
}

TEST_F(BotThinkTest, EntityFlag256HoldsTheBotButItStillFiresAndSends) {
    for (int eflags : {256, 256 | 1, 255, 512}) {
        g_events = BotEvents();
        FakePlayer* player;
        CPluginBot bot = MakeBot(static_cast<int>(fake.players.size()) + 1, &player);
        player->eflags = eflags;
        bot.nextTurnTime = 100.0f;
        bot.nextStrafeTime = 100.0f;
        bot_forcefireweapon.SetValue("weapon_rifle");
        bot_forceattackon.SetValue("1");
        bot_sendcmd.SetValue("say hello");
        fakeTrace.rays.clear();
        Bot_Think(&bot);
        const bool held = (eflags & 256) != 0;
        const CBotCmd& cmd = player->commands.at(0);
        EXPECT_EQ(cmd.forwardMove, held ? 0.0f : 600.0f) << eflags;
        EXPECT_EQ(fakeTrace.rays.size(), held ? 0u : 1u) << eflags;
        EXPECT_EQ(player->weapon, "weapon_rifle");
        EXPECT_EQ(cmd.buttons, 0x1) << "forced fire without a draw";
        EXPECT_EQ(g_events.Count(player->Tag("cmd say hello")), 1);
        for (int mask : player->flagMasks) EXPECT_EQ(mask, 256);
        EXPECT_FALSE(player->flagMasks.empty());
    }
}

TEST_F(BotThinkTest, ProbeSweepsTheBotsBoxTenUnitsAheadThroughTheWorldOnlyFilter) {
    FakePlayer* player;
    CPluginBot bot = MakeBot(1, &player);
    player->origin = {100, 200, 8};
    player->angles = {0, 90, 0};
    bot.nextTurnTime = 100.0f;
    Bot_UpdateDirection(&bot);
    ASSERT_EQ(fakeTrace.rays.size(), 1u);
    const Ray_t& ray = fakeTrace.rays[0];
    auto near = [](const Vector& v, float x, float y, float z) {
        return fabsf(v.x - x) < 1e-4f && fabsf(v.y - y) < 1e-4f && fabsf(v.z - z) < 1e-4f;
    };
    EXPECT_TRUE(near(ray.start, 100, 200, 44)) << "36 above the origin";
    EXPECT_TRUE(near(ray.end, 100, 210, 44)) << "10 ahead";
    EXPECT_TRUE(near(ray.mins, -16, -16, 0) && near(ray.maxs, 16, 16, 72)) << "the bot's box";
    EXPECT_EQ(fakeTrace.masks[0], 0x0201400Bu);
    EXPECT_FALSE(fakeTrace.filterHits[0]);
    EXPECT_EQ(fakeTrace.filterTypes[0], 0);
    ASSERT_EQ(player->anglesSet.size(), 1u) << "a clear path within the timer keeps the heading";
    EXPECT_EQ(player->anglesSet[0].y, 90.0f);
}

TEST_F(BotThinkTest, TurnsWrapYawAtPlusMinus180) {
    struct Case {
        float yaw;
        bool negative;
        float expected;
    };
    const Case cases[] = {{170, false, -175}, {-170, true, 175},  {165, false, 180},
                          {-165, true, -180}, {180, false, -165}, {-180, true, 165}};
    for (const Case& c : cases) {
        FakePlayer* player;
        CPluginBot bot = MakeBot(static_cast<int>(fake.players.size()) + 1, &player);
        player->angles = {12, c.yaw, 3};
        bot.turnNegative = c.negative;
        bot.nextTurnTime = fake.globals.curTime;  // expired: turn once on a clear path
        fakeRandom.ints = {0};
        Bot_UpdateDirection(&bot);
        ASSERT_EQ(player->anglesSet.size(), 1u);
        EXPECT_EQ(player->anglesSet[0].y, c.expected) << c.yaw;
        EXPECT_EQ(player->anglesSet[0].x, 12.0f);
        EXPECT_EQ(bot.headingAngles.y, c.expected);
        EXPECT_EQ(bot.aimAngles.y, c.expected);
        EXPECT_EQ(bot.nextTurnTime, fake.globals.curTime + 2.0f);
        EXPECT_TRUE(bot.turnNegative) << "a draw of 0 turns negative next time";
    }
}

TEST_F(BotThinkTest, WallsOnEverySideMakeTwentyFourTurnsBackToTheStartingYaw) {
    for (float startYaw : {30.0f, -180.0f, 180.0f, 0.0f}) {
        for (bool negative : {false, true}) {
            fakeTrace.rays.clear();
            fakeTrace.fraction = [](int) { return 0.0f; };
            FakePlayer* player;
            CPluginBot bot = MakeBot(static_cast<int>(fake.players.size()) + 1, &player);
            player->angles = {0, startYaw, 0};
            bot.turnNegative = negative;
            bot.nextTurnTime = 100.0f;
            for (int i = 0; i < 24; ++i) fakeRandom.ints.push_back(i % 2);  // the draws do not change the step
            Bot_UpdateDirection(&bot);
            EXPECT_EQ(fakeTrace.rays.size(), 24u) << "no probe after the 24th turn";
            ASSERT_EQ(player->anglesSet.size(), 1u) << "the angles are set once";
            const float endYaw = player->anglesSet[0].y;
            EXPECT_TRUE(endYaw == startYaw || (endYaw == -startYaw && (startYaw == 180.0f || startYaw == -180.0f)))
                << startYaw << " ended at " << endYaw;
            EXPECT_FALSE(bot.turnNegative) << "the last draw was 1";
            // Every probe turned the same way.
            const float step = negative ? -15.0f : 15.0f;
            Vector forward1;
            AngleVectors(QAngle{0, startYaw + step, 0}, &forward1);
            EXPECT_NEAR(fakeTrace.rays[1].end.x - fakeTrace.rays[1].start.x, forward1.x * 10.0f, 1e-3);
            EXPECT_NEAR(fakeTrace.rays[1].end.y - fakeTrace.rays[1].start.y, forward1.y * 10.0f, 1e-3);
        }
    }
}

TEST_F(BotThinkTest, AWallAheadIsTurnedAwayFromUntilTheFirstClearProbe) {
    for (int blocked : {1, 5, 23}) {
        fakeTrace.rays.clear();
        fakeTrace.fraction = [blocked](int n) { return n < blocked ? 0.99f : 1.0f; };
        FakePlayer* player;
        CPluginBot bot = MakeBot(static_cast<int>(fake.players.size()) + 1, &player);
        player->angles = {0, 10, 0};
        bot.nextTurnTime = 100.0f;
        for (int i = 0; i < blocked; ++i) fakeRandom.ints.push_back(1);
        Bot_UpdateDirection(&bot);
        EXPECT_EQ(fakeTrace.rays.size(), static_cast<size_t>(blocked + 1));
        float expected = 10.0f + 15.0f * blocked;
        if (expected > 180.0f) expected -= 360.0f;
        EXPECT_EQ(player->anglesSet.at(0).y, expected) << blocked;
    }
}

TEST_F(BotThinkTest, ForwardMoveAndStrafeDecisions) {
    FakePlayer* player;
    CPluginBot bot = MakeBot(1, &player);
    CBotCmd cmd = {};
    bot.movingBackwards = true;
    Bot_SetForwardMovement(&bot, cmd);
    EXPECT_EQ(cmd.forwardMove, -600.0f);

    // Before the strafe time nothing changes; at it, a decision is made.
    bot.nextStrafeTime = fake.globals.curTime + 0.001f;
    bot.strafeSpeed = 77.0f;
    cmd = {};
    Bot_UpdateStrafing(&bot, cmd);
    EXPECT_EQ(cmd.sideMove, 0.0f);
    EXPECT_EQ(bot.strafeSpeed, 77.0f);
    EXPECT_TRUE(fakeRandom.calls.empty());

    struct Case {
        int strafeDraw;
        float speedDraw;
        int backDraw;
        float speed;
        bool backwards;
    };
    const Case cases[] = {{0, 1.5f, 1, 1200.0f, false},
                          {0, 0.0f, 0, -600.0f, true},
                          {0, 2.0f, 20, 1800.0f, false},
                          {1, 0.0f, 0, 0.0f, true},
                          {5, 0.0f, 7, 0.0f, false}};
    for (const Case& c : cases) {
        fakeRandom.calls.clear();
        bot.nextStrafeTime = fake.globals.curTime;
        fakeRandom.ints = {c.strafeDraw, c.backDraw};
        if (c.strafeDraw == 0) fakeRandom.floats = {c.speedDraw};
        cmd = {};
        Bot_UpdateStrafing(&bot, cmd);
        EXPECT_EQ(bot.strafeSpeed, c.speed);
        EXPECT_EQ(cmd.sideMove, c.speed);
        EXPECT_EQ(bot.movingBackwards, c.backwards);
        EXPECT_EQ(bot.nextStrafeTime, fake.globals.curTime + 1.0f);
        std::vector<std::string> expected = {"int 0 5"};
        if (c.strafeDraw == 0) expected.push_back("float 0 2");
        expected.push_back("int 0 20");
        EXPECT_EQ(fakeRandom.calls, expected);
    }
}

TEST_F(BotThinkTest, MimicCopiesThePlayersLastCommandWithinTheSlotRange) {
    fake.globals.maxClients = 4;
    FakePlayer* human = fake.AddPlayer(4);
    human->lastUserCommand.viewAngles = {7, 120, 1};
    human->lastUserCommand.forwardMove = 250;
    human->lastUserCommand.sideMove = -30;
    human->lastUserCommand.upMove = 5;
    human->lastUserCommand.buttons = 0x20;
    human->lastUserCommand.impulse = 101;
    human->lastUserCommand.commandNumber = 42;
    FakePlayer* freed = fake.AddPlayer(2);
    freed->edict.stateFlags = kEdictFree;
    fake.playerInfo.erase(&fake.AddPlayer(3)->edict);  // slot 3: no player information
    // Slot 1 holds no edict at all; slots 0 and 5 hold players but lie outside 1..4.
    fake.AddPlayer(0);
    fake.AddPlayer(5);

    struct Case {
        const char* index;
        bool copies;
    };
    const Case cases[] = {{"0", false}, {"-1", false}, {"5", false}, {"1", false},
                          {"2", false}, {"3", false},  {"4", true}};
    for (const Case& c : cases) {
        Bot_MimicVar().SetValue(c.index);
        Bot_MimicYawOffsetVar().SetValue("90");
        CBotCmd cmd = {};
        cmd.forwardMove = 1;  // left alone when nothing is copied
        EXPECT_EQ(Bot_RunMimicCommand(cmd), c.copies) << c.index;
        if (!c.copies) {
            EXPECT_EQ(cmd.forwardMove, 1.0f);
            continue;
        }
        EXPECT_EQ(cmd.viewAngles.y, 210.0f) << "not normalised past 180";
        EXPECT_EQ(cmd.viewAngles.x, 7.0f);
        EXPECT_EQ(cmd.forwardMove, 250.0f);
        EXPECT_EQ(cmd.sideMove, -30.0f);
        EXPECT_EQ(cmd.upMove, 5.0f);
        EXPECT_EQ(cmd.impulse, 101);
        EXPECT_EQ(cmd.commandNumber, 42);
        EXPECT_EQ(cmd.buttons, 0x20);
    }

    // Crouch reaches mimicked commands only; a mimicking bot runs no other step.
    bot_crouch.SetValue("1");
    bot_sendcmd.SetValue("say hi");
    FakePlayer* player;
    CPluginBot bot = MakeBot(9, &player);
    Bot_Think(&bot);
    ASSERT_EQ(player->commands.size(), 1u);
    EXPECT_EQ(player->commands[0].buttons, 0x20 | 0x4);
    EXPECT_EQ(player->commands[0].viewAngles.y, 210.0f);
    EXPECT_TRUE(fakeTrace.rays.empty());
    EXPECT_EQ(g_events.Count(player->Tag("notify")), 0);
    EXPECT_STREQ(bot_sendcmd.GetString(), "say hi") << "stays set while every bot mimics";

    Bot_MimicVar().SetValue("0");
    bot_sendcmd.SetValue("");
    bot.nextTurnTime = bot.nextStrafeTime = 100.0f;
    Bot_Think(&bot);
    EXPECT_EQ(player->commands.at(1).buttons & 0x4, 0) << "crouch has no effect outside mimicking";
}

TEST_F(BotThinkTest, FireRuleUsesAttack2AndTheRuntimeDraw) {
    struct Case {
        const char* attack2;
        const char* attackOn;
        float draw;  // < 0: no draw expected
        int buttons;
    };
    const Case cases[] = {{"0", "0", 0.5f, 0},      {"0", "0", 0.50001f, 0x1}, {"1", "0", 0.9f, 0x800},
                          {"1", "1", -1.0f, 0x800}, {"0", "1", -1.0f, 0x1},    {"2", "0", 0.1f, 0}};
    for (const Case& c : cases) {
        g_events = BotEvents();
        bot_forceattack2.SetValue(c.attack2);
        bot_forceattackon.SetValue(c.attackOn);
        bot_flipout.SetValue("1");
        if (c.draw >= 0.0f) g_runtimeFloats = {c.draw};
        FakePlayer* player;
        CPluginBot bot = MakeBot(static_cast<int>(fake.players.size()) + 1, &player);
        CBotCmd cmd = {};
        Bot_FlipOut(&bot, cmd);
        EXPECT_EQ(cmd.buttons, c.buttons) << c.attack2 << " " << c.attackOn << " " << c.draw;
        EXPECT_EQ(g_events.Count("RandomFloat 0 1"), c.draw >= 0.0f ? 1 : 0);
        EXPECT_TRUE(player->anglesSet.empty()) << "flip-out 1 never changes the aim";
    }
    // No flip-out at 0 or below, and never for a dead bot.
    for (const char* level : {"0", "-1"}) {
        bot_flipout.SetValue(level);
        FakePlayer* player;
        CPluginBot bot = MakeBot(static_cast<int>(fake.players.size()) + 1, &player);
        CBotCmd cmd = {};
        Bot_FlipOut(&bot, cmd);
        EXPECT_EQ(cmd.buttons, 0);
    }
    bot_flipout.SetValue("2");
    FakePlayer* dead;
    CPluginBot bot = MakeBot(static_cast<int>(fake.players.size()) + 1, &dead);
    dead->dead = true;
    CBotCmd cmd = {};
    Bot_FlipOut(&bot, cmd);
    EXPECT_EQ(cmd.buttons, 0);
    EXPECT_TRUE(dead->anglesSet.empty());
}

TEST_F(BotThinkTest, FlipOutTwoJittersWithinFifteenDegreesOfTheHeadingWithRollZero) {
    bot_flipout.SetValue("2");
    bot_forceattackon.SetValue("1");
    struct Case {
        QAngle heading, aim;
    };
    const Case cases[] = {
        {{10, 20, 0}, {30, -10, 7}},         // both far outside: pulled to the edges
        {{10, 20, 0}, {10, 20, 5}},          // at the centre: moved by the offsets alone
        {{0, 170, 0}, {-14.5f, 184.9f, 0}},  // near the edges
    };
    for (const Case& c : cases) {
        srand(7);
        const float pitchOffset = static_cast<float>(rand()) * 4.656613e-10f * 2.0f - 1.0f;
        const float yawOffset = static_cast<float>(rand()) * 4.656613e-10f * 2.0f - 1.0f;
        srand(7);
        FakePlayer* player;
        CPluginBot bot = MakeBot(static_cast<int>(fake.players.size()) + 1, &player);
        bot.headingAngles = c.heading;
        bot.aimAngles = c.aim;
        CBotCmd cmd = {};
        Bot_FlipOut(&bot, cmd);
        auto expect = [](float value, float centre) {
            if (value - centre > 15.0f) return centre + 15.0f;
            if (centre - value > 15.0f) return centre - 15.0f;
            return value;
        };
        EXPECT_FLOAT_EQ(bot.aimAngles.x, expect(c.aim.x + pitchOffset, c.heading.x));
        EXPECT_FLOAT_EQ(bot.aimAngles.y, expect(c.aim.y + yawOffset, c.heading.y));
        EXPECT_LE(bot.aimAngles.x, c.heading.x + 15.0f);
        EXPECT_GE(bot.aimAngles.x, c.heading.x - 15.0f);
        EXPECT_LE(bot.aimAngles.y, c.heading.y + 15.0f);
        EXPECT_GE(bot.aimAngles.y, c.heading.y - 15.0f);
        EXPECT_EQ(bot.aimAngles.z, 0.0f);
        ASSERT_EQ(player->anglesSet.size(), 1u);
        EXPECT_EQ(player->anglesSet[0].y, bot.aimAngles.y);
        EXPECT_EQ(cmd.buttons, 0x1);
    }
    // Just past the edge on either side is pulled back to it; just inside is kept.
    srand(7);
    const float pitchOffset = static_cast<float>(rand()) * 4.656613e-10f * 2.0f - 1.0f;
    const float yawOffset = static_cast<float>(rand()) * 4.656613e-10f * 2.0f - 1.0f;
    struct Edge {
        float pitch, yaw;  // wanted values after the offsets, heading (0, 0)
        float pitchAfter, yawAfter;
    };
    const Edge edges[] = {{15.25f, -15.25f, 15.0f, -15.0f}, {14.75f, -14.75f, 14.75f, -14.75f}};
    for (const Edge& e : edges) {
        srand(7);
        FakePlayer* player;
        CPluginBot bot = MakeBot(static_cast<int>(fake.players.size()) + 1, &player);
        bot.headingAngles = {0, 0, 0};
        bot.aimAngles = {e.pitch - pitchOffset, e.yaw - yawOffset, 0};
        CBotCmd cmd = {};
        Bot_FlipOut(&bot, cmd);
        EXPECT_NEAR(bot.aimAngles.x, e.pitchAfter, 1e-4);
        EXPECT_NEAR(bot.aimAngles.y, e.yawAfter, 1e-4);
    }
}

TEST_F(BotThinkTest, ThinkNotifiesThenTakesTheControllersAnglesIntoTheCommand) {
    bot_flipout.SetValue("2");
    bot_forceattackon.SetValue("1");
    FakePlayer* player;
    CPluginBot bot = MakeBot(1, &player);
    player->angles = {0, 40, 0};
    bot.nextTurnTime = 100.0f;
    bot.nextStrafeTime = 100.0f;
    bot.headingAngles = bot.aimAngles = {0, 40, 0};
    srand(3);
    Bot_Think(&bot);
    ASSERT_EQ(player->commands.size(), 1u);
    const CBotCmd& cmd = player->commands[0];
    EXPECT_EQ(cmd.viewAngles.y, bot.aimAngles.y) << "the jittered aim is the command's aim";
    EXPECT_NE(cmd.viewAngles.y, 40.0f);
    EXPECT_EQ(cmd.impulse, 0);
    EXPECT_EQ(cmd.upMove, 0.0f);
    EXPECT_EQ(cmd.forwardMove, 600.0f);
    // Notification, then the angles read into the command, then the command runs.
    const std::vector<std::string>& log = g_events.log;
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[log.size() - 3], player->Tag("notify"));
    EXPECT_EQ(log[log.size() - 2], player->Tag("getangles"));
    EXPECT_EQ(log[log.size() - 1], player->Tag("run"));
}

}  // namespace
