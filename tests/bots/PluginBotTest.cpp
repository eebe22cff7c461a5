// The registry, the command and the variables: names, the engine's refusals, which
// bots Bot_RunAll forgets and in which order it thinks for the rest.
#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "bots/BotFakes.h"

namespace {

class PluginBotTest : public BotTest {
protected:
    // Bots that run no draw in a think: clear way ahead, timers far off.
    void Quiet() {
        for (int i = 0; i < Bot_Registry().Count(); ++i) {
            Bot_Registry()[i].nextTurnTime = 1000.0f;
            Bot_Registry()[i].nextStrafeTime = 1000.0f;
        }
    }
    std::vector<std::string> Runs() const {
        std::vector<std::string> runs;
        for (const std::string& e : g_events.log) {
            if (e.size() > 4 && e.compare(e.size() - 4, 4, " run") == 0) runs.push_back(e);
        }
        return runs;
    }
};

TEST(BotVariables, ListedInConstructionOrderWithNamesDefaultsAndHelp) {
    struct Expected {
        const char* name;
        const char* value;
        const char* help;
    };
    // Most recently constructed first, as the registry list holds them.
    const Expected expected[] = {
        {"plugin_bot_add", nullptr, "Add a bot."},
        {"plugin_bot_crouch", "0", "Bot crouches"},
        {"plugin_bot_sendcmd", "", "Forces bots to send the specified command."},
        {"plugin_bot_mimic_yaw_offset", "0", "Offsets the bot yaw."},
        {"plugin_bot_mimic", "0", "Bot uses usercmd of player by index."},
        {"plugin_bot_changeclass", "0", "Force all bots to change to the specified class."},
        {"plugin_bot_flipout", "0", "When on, all bots fire their guns."},
        {"plugin_bot_forceattackon", "0", "When firing, don't tap fire, hold it down."},
        {"plugin_bot_forceattack2", "0", "When firing, use attack2."},
        {"plugin_bot_forcefireweapon", "", "Force bots with the specified weapon to fire."},
    };
    std::vector<const ConCommandBase*> listed;
    for (const ConCommandBase* it = ConCommandBase::GetCommands(); it; it = it->GetNext()) {
        if (strncmp(it->GetName(), "plugin_bot_", 11) == 0) listed.push_back(it);
    }
    ASSERT_EQ(listed.size(), sizeof(expected) / sizeof(expected[0]));
    for (size_t i = 0; i < listed.size(); ++i) {
        EXPECT_STREQ(listed[i]->GetName(), expected[i].name);
        EXPECT_STREQ(listed[i]->GetHelpText(), expected[i].help);
        EXPECT_FALSE(listed[i]->IsBitSet(~0)) << "flags 0";
        EXPECT_EQ(listed[i]->IsCommand(), expected[i].value == nullptr);
        if (expected[i].value) {
            const ConVar* variable = static_cast<const ConVar*>(listed[i]);
            EXPECT_STREQ(variable->GetString(), expected[i].value);
            EXPECT_STREQ(variable->GetDefault(), expected[i].value);
        }
    }
    EXPECT_EQ(listed[0], &cc_Bot);
    EXPECT_EQ(listed[3], &Bot_MimicYawOffsetVar());
    EXPECT_EQ(listed[4], &Bot_MimicVar());
    EXPECT_EQ(Bot_Registry().Count(), 0);
}

TEST_F(PluginBotTest, AddNamesBotsInOrderAndARefusalUsesUpItsNumber) {
    BotAdd_f();
    fake.refuseNextBot = true;
    BotAdd_f();
    BotAdd_f();
    EXPECT_EQ(fake.requestedNames, (std::vector<std::string>{"Bot_0", "Bot_1", "Bot_2"}));
    ASSERT_EQ(Bot_Registry().Count(), 2);
    const CPluginBot& first = Bot_Registry()[0];
    const CPluginBot& second = Bot_Registry()[1];
    EXPECT_EQ(first.edict, &fake.players[0]->edict);
    EXPECT_EQ(first.controller, fake.players[0].get());
    EXPECT_EQ(first.playerInfo, fake.players[0].get());
    EXPECT_EQ(second.edict, &fake.players[1]->edict);
    // A new record starts from the zero values.
    EXPECT_FALSE(first.movingBackwards || first.turnNegative);
    EXPECT_EQ(first.nextTurnTime, 0.0f);
    EXPECT_EQ(first.nextStrafeTime, 0.0f);
    EXPECT_EQ(first.strafeSpeed, 0.0f);
    EXPECT_EQ(first.headingAngles.y, 0.0f);
    EXPECT_EQ(first.aimAngles.y, 0.0f);
}

TEST_F(PluginBotTest, WithoutABotManagerNothingHappensNotEvenANameNumber) {
    botmanager = nullptr;
    BotAdd_f();
    Bot_RunAll();
    EXPECT_TRUE(fake.requestedNames.empty());
    botmanager = &fake;
    BotAdd_f();
    EXPECT_EQ(fake.requestedNames, (std::vector<std::string>{"Bot_0"}));
    // A registry with bots does nothing either while the manager is missing.
    Quiet();
    botmanager = nullptr;
    Bot_RunAll();
    EXPECT_TRUE(Runs().empty());
    EXPECT_EQ(Bot_Registry().Count(), 1);
}

TEST_F(PluginBotTest, ABotWithoutControllerOrPlayerInformationIsNotRecorded) {
    fake.botsWithoutController = true;
    BotAdd_f();
    fake.botsWithoutController = false;
    fake.botsWithoutPlayerInfo = true;
    BotAdd_f();
    fake.botsWithoutPlayerInfo = false;
    EXPECT_EQ(Bot_Registry().Count(), 0);
    Bot_RunAll();  // nothing to call through
    BotAdd_f();
    EXPECT_EQ(fake.requestedNames, (std::vector<std::string>{"Bot_0", "Bot_1", "Bot_2"}));
    ASSERT_EQ(Bot_Registry().Count(), 1);
    EXPECT_EQ(Bot_Registry()[0].edict, &fake.players[2]->edict);
}

TEST_F(PluginBotTest, RunAllForgetsGoneBotsAndThinksForTheRestInOrder) {
    struct Case {
        const char* what;
        std::function<void(FakeEngine&, FakePlayer*)> leave;
    };
    const Case cases[] = {
        {"disconnected", [](FakeEngine&, FakePlayer* p) { p->connected = false; }},
        {"free slot", [](FakeEngine&, FakePlayer* p) { p->edict.stateFlags |= kEdictFree; }},
        {"no entity owner", [](FakeEngine&, FakePlayer* p) { p->edict.unknown = nullptr; }},
        {"no entity", [](FakeEngine&, FakePlayer* p) { p->hasEntity = false; }},
        {"slot given to another player",
         [](FakeEngine& f, FakePlayer* p) {
             FakePlayer* other = f.AddPlayer(50);
             f.playerInfo[&p->edict] = other;
             f.controllers[&p->edict] = other;
         }},
    };
    for (const Case& c : cases) {
        for (int gone = 0; gone < 3; ++gone) {
            Bot_RemoveAll();
            const size_t firstPlayer = fake.players.size();
            for (int i = 0; i < 3; ++i) BotAdd_f();
            Quiet();
            g_events = BotEvents();
            c.leave(fake, fake.players[firstPlayer + gone].get());
            Bot_RunAll();
            std::vector<std::string> expected;
            for (int i = 0; i < 3; ++i) {
                if (i != gone) expected.push_back(fake.players[firstPlayer + i]->Tag("run"));
            }
            EXPECT_EQ(Runs(), expected) << c.what << ", bot " << gone;
            ASSERT_EQ(Bot_Registry().Count(), 2) << c.what;
            for (int i = 0, k = 0; i < 3; ++i) {
                if (i == gone) continue;
                EXPECT_EQ(Bot_Registry()[k++].edict, &fake.players[firstPlayer + i]->edict);
            }
        }
    }
    // Every bot gone: one call empties the registry and thinks for none.
    for (int i = 0; i < Bot_Registry().Count(); ++i) {
        static_cast<FakePlayer*>(Bot_Registry()[i].playerInfo)->connected = false;
    }
    g_events = BotEvents();
    Bot_RunAll();
    EXPECT_EQ(Bot_Registry().Count(), 0);
    EXPECT_TRUE(Runs().empty());
}

TEST_F(PluginBotTest, OneShotVariablesAreUsedByExactlyOneBot) {
    for (int i = 0; i < 3; ++i) BotAdd_f();
    Quiet();
    fake.players[0]->dead = true;
    fake.players[0]->team = 2;  // dead: does not reach the one-shot steps
    bot_sendcmd.SetValue("say one");
    bot_forcefireweapon.SetValue("weapon_awp");
    bot_forceattackon.SetValue("1");
    Bot_RunAll();
    EXPECT_EQ(g_events.Count(fake.players[1]->Tag("cmd say one")), 1);
    EXPECT_EQ(g_events.Count(fake.players[2]->Tag("cmd say one")), 0);
    EXPECT_EQ(fake.players[1]->weapon, "weapon_awp");
    EXPECT_EQ(fake.players[2]->weapon, "");
    EXPECT_EQ(fake.players[1]->commands.at(0).buttons, 0x1);
    EXPECT_EQ(fake.players[2]->commands.at(0).buttons, 0);
    EXPECT_STREQ(bot_sendcmd.GetString(), "");
    EXPECT_STREQ(bot_forcefireweapon.GetString(), "");
}

TEST_F(PluginBotTest, ChangeClassChangesNothing) {
    for (int i = 0; i < 2; ++i) BotAdd_f();
    Quiet();
    Bot_RunAll();
    const std::vector<std::string> before = g_events.log;
    bot_changeclass.SetValue("3");
    g_events = BotEvents();
    Bot_RunAll();
    EXPECT_EQ(g_events.log, before);
    for (const auto& player : fake.players) {
        ASSERT_EQ(player->commands.size(), 2u);
        const CBotCmd& a = player->commands[0];
        const CBotCmd& b = player->commands[1];
        EXPECT_TRUE(a.forwardMove == b.forwardMove && a.sideMove == b.sideMove && a.buttons == b.buttons &&
                    a.viewAngles.y == b.viewAngles.y && a.impulse == b.impulse);
    }
}

}  // namespace
