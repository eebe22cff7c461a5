#include "bots/BotFakes.h"

#include "vstdlib/random.h"

BotEvents g_events;
std::deque<float> g_runtimeFloats;

// Takes the place of the runtime library's RandomFloat: the test program's definition
// is the one the bot library links to.
extern "C" float RandomFloat(float low, float high) {
    g_events.Add("RandomFloat " + FakeRandom::Bounds(low, high));
    if (g_runtimeFloats.empty()) {
        ADD_FAILURE() << "unscripted RandomFloat draw " << low << ".." << high;
        return low;
    }
    float value = g_runtimeFloats.front();
    g_runtimeFloats.pop_front();
    return value;
}

void BotTest::SetUp() {
    g_events = BotEvents();
    g_runtimeFloats.clear();
    fake.globals.maxClients = 8;
    fake.globals.curTime = 10.0f;
    fake.events = &g_events.log;
    helpers = &fakeHelpers;
    enginetrace = &fakeTrace;
    randomStr = &fakeRandom;
    for (ConVar* variable : {&bot_forcefireweapon, &bot_forceattack2, &bot_forceattackon, &bot_flipout,
                             &bot_changeclass, &Bot_MimicVar(), &Bot_MimicYawOffsetVar(), &bot_sendcmd, &bot_crouch}) {
        variable->Revert();
    }
}

void BotTest::TearDown() {
    Bot_RemoveAll();
    helpers = nullptr;
    enginetrace = nullptr;
    randomStr = nullptr;
    EXPECT_TRUE(fakeRandom.floats.empty() && fakeRandom.ints.empty() && g_runtimeFloats.empty())
        << "every scripted draw is used";
}

CPluginBot BotTest::MakeBot(int index, FakePlayer** player) {
    FakePlayer* p = fake.AddPlayer(index);
    if (player) *player = p;
    CPluginBot bot;
    bot.controller = p;
    bot.playerInfo = p;
    bot.edict = &p->edict;
    return bot;
}
