// The recipient filter through the built plugin: host_filter on a server with humans
// and bots on several teams, dead and alive, and the exported class as other server
// code reaches it (symbols, and the engine's slots in its virtual table).
#include <string>
#include <vector>

#include "support/HostFixture.h"
#include "tier0/platform.h"

namespace {

class RecipientFilterTest : public HostTest {
protected:
    // Slots and user ids on a bare game directory (no start-up script):
    //   1 Ann   2  team 2 alive human STEAM_0:1:42
    //   2 Bo    3  team 3 alive human STEAM_0:0:9
    //   3 Cy    4  team 3 dead  human STEAM_0:1:4
    //   4 Rook  5  team 3 alive bot   BOT
    //   5 Glint 6  team 2 dead  bot   BOT
    //   6 Dee   7  team 2 alive human, still connecting
    //   7 Vic   8  team 1 alive human STEAM_0:0:77
    //   8 Eve   9  team 0 dead  human STEAM_0:0:8, not a player
    void StartServer() {
        HostOptions options;
        options.gameDir = MakeGameDir();
        StartWithPlugin(options);
        for (const char* line : {"host_addplayer Ann STEAM_0:1:42",
                                 "host_addplayer Bo STEAM_0:0:9",
                                 "host_addplayer Cy STEAM_0:1:4",
                                 "host_addbot Rook",
                                 "host_addbot Glint",
                                 "host_addplayer Dee STEAM_0:1:5",
                                 "host_addplayer Vic STEAM_0:0:77",
                                 "host_addplayer Eve STEAM_0:0:8",
                                 "host_setplayer 1 team 2",
                                 "host_setplayer 1 dead 0",
                                 "host_setplayer 2 team 3",
                                 "host_setplayer 2 dead 0",
                                 "host_setplayer 3 team 3",
                                 "host_setplayer 4 team 3",
                                 "host_setplayer 4 dead 0",
                                 "host_setplayer 5 team 2",
                                 "host_setplayer 6 team 2",
                                 "host_setplayer 6 dead 0",
                                 "host_setplayer 6 connected 0",
                                 "host_setplayer 7 team 1",
                                 "host_setplayer 7 dead 0",
                                 "host_setplayer 8 player 0"}) {
            host.ExecuteLine(line);
        }
    }
};

TEST_F(RecipientFilterTest, HostFilterListsTheSelectedSlotsInOrder) {
    StartServer();
    EXPECT_EQ(Run("host_filter #A"), (Lines{"filter \"#A\" selects 6", "   1 Ann", "   2 Bo", "   3 Cy", "   4 Rook",
                                            "   5 Glint", "   7 Vic"}));
    EXPECT_EQ(Run("host_filter #A!B"),
              (Lines{"filter \"#A!B\" selects 4", "   1 Ann", "   2 Bo", "   3 Cy", "   7 Vic"}));
    EXPECT_EQ(Run("host_filter #L"), (Lines{"filter \"#L\" selects 3", "   1 Ann", "   2 Bo", "   4 Rook"}));
    EXPECT_EQ(Run("host_filter #D"), (Lines{"filter \"#D\" selects 2", "   3 Cy", "   5 Glint"}));
    EXPECT_EQ(Run("host_filter #C!D"), (Lines{"filter \"#C!D\" selects 2", "   2 Bo", "   4 Rook"}));
    EXPECT_EQ(Run("host_filter #X2"), (Lines{"Unknown Group Selection \"X\"", "filter \"#X2\" selects 0"}));
    EXPECT_EQ(Run("host_filter \"#2 3\""),
              (Lines{"Unknown Group Selection \" \"", "filter \"#2 3\" selects 3", "   2 Bo", "   3 Cy", "   4 Rook"}));
    EXPECT_EQ(Run("host_filter \"5 Rook 2 7\""), (Lines{"filter \"5 Rook 2 7\" selects 2", "   4 Rook", "   1 Ann"}))
        << "user id 7 is still connecting";
    EXPECT_EQ(Run("host_filter \"bot steam_0:0:9 Vic\""),
              (Lines{"filter \"bot steam_0:0:9 Vic\" selects 4", "   4 Rook", "   5 Glint", "   2 Bo", "   7 Vic"}));
    EXPECT_EQ(Run("host_filter STEAM_0:1:42 partial"),
              (Lines{"filter \"STEAM_0:1:42\" (partial) selects 2", "   1 Ann", "   3 Cy"}));
    EXPECT_EQ(Run("host_filter STEAM_0:1:42"), (Lines{"filter \"STEAM_0:1:42\" selects 1", "   1 Ann"}));
    EXPECT_EQ(Run("host_filter o 1"), (Lines{"filter \"o\" (partial) selects 2", "   2 Bo", "   4 Rook"}));
    EXPECT_EQ(Run("host_filter o exact"), (Lines{"filter \"o\" selects 0"}));
    EXPECT_EQ(Run("host_filter \"Eve Dee\""), (Lines{"filter \"Eve Dee\" selects 0"}));
    EXPECT_EQ(Run("host_filter \"\""), (Lines{"filter \"\" selects 0"}));

    // A renamed player is found by the name the game now reports.
    Run("host_setplayer 3 name Cyd");
    EXPECT_EQ(Run("host_filter Cyd"), (Lines{"filter \"Cyd\" selects 1", "   3 Cyd"}));
    Run("host_kick 1");
    EXPECT_EQ(Run("host_filter \"2 Ann #A\""), (Lines{"filter \"2 Ann #A\" selects 0"}));
}

TEST_F(RecipientFilterTest, HostCommandsRefuseBadUse) {
    StartEngine(HostOptions());
    EXPECT_EQ(Run("host_filter #A"), (Lines{"host: no plugin loaded"}));
    ASSERT_TRUE(host.LoadPlugin(PluginPath()));
    for (const char* line : {"host_filter", "host_filter #A 2", "host_filter #A partial more"}) {
        EXPECT_EQ(Run(line), (Lines{"Syntax: host_filter <expression> [partial]"})) << line;
    }
    EXPECT_EQ(Run("host_addbot"), (Lines{"Syntax: host_addbot <name>"}));
    HostOptions one;
    one.maxClients = 1;
    host.Shutdown();
    StartEngine(one);
    EXPECT_EQ(Run("host_addbot Solo"), (Lines{"bot \"Solo\" connected in slot 1, userid 2"}));
    EXPECT_EQ(Run("host_addbot Duo"), (Lines{"server is full"}));
    EXPECT_EQ(Run("host_players").at(1), "   1      2 Solo                 BOT              team 0 dead health 0 bot");
}

// Other server code reaches the class by its exported symbols; the engine reads it
// through its virtual table: two destructor entries, IsReliable, IsInitMessage,
// GetRecipientCount, GetRecipientIndex.
TEST_F(RecipientFilterTest, ExportedClassServesTheEngineSlots) {
    StartServer();
    auto symbol = [](const char* name) {
        void* address = PluginSymbol(name);
        EXPECT_NE(address, nullptr) << name;
        return address;
    };
    auto construct = reinterpret_cast<void (*)(void*)>(symbol("_ZN16MRecipientFilterC1Ev"));
    auto destroy = reinterpret_cast<void (*)(void*)>(symbol("_ZN16MRecipientFilterD1Ev"));
    auto addRecipient = reinterpret_cast<void (*)(void*, int)>(symbol("_ZN16MRecipientFilter12AddRecipientEi"));
    auto addAllHumans = reinterpret_cast<void (*)(void*)>(symbol("_ZN16MRecipientFilter12AddAllHumansEv"));
    auto addAllTeamHumans = reinterpret_cast<void (*)(void*, int)>(symbol("_ZN16MRecipientFilter16AddAllTeamHumansEi"));
    auto addByFilter = reinterpret_cast<void (*)(void*, char*, bool)>(symbol("_ZN16MRecipientFilter11AddByFilterEPcb"));
    ASSERT_FALSE(HasFailure());

    alignas(8) unsigned char storage[VL_LAYOUT(24, 40)];  // a table pointer and a vector, as other code allocates it
    void* filter = storage;
    construct(filter);
    void** table = *static_cast<void***>(filter);
    EXPECT_EQ(table[0], reinterpret_cast<void*>(destroy));
    EXPECT_EQ(table[1], symbol("_ZN16MRecipientFilterD0Ev"));
    EXPECT_EQ(table[2], symbol("_ZNK16MRecipientFilter10IsReliableEv"));
    EXPECT_EQ(table[3], symbol("_ZNK16MRecipientFilter13IsInitMessageEv"));
    EXPECT_EQ(table[4], symbol("_ZNK16MRecipientFilter17GetRecipientCountEv"));
    EXPECT_EQ(table[5], symbol("_ZNK16MRecipientFilter17GetRecipientIndexEi"));
    auto count = reinterpret_cast<int (*)(void*)>(table[4]);
    auto index = reinterpret_cast<int (*)(void*, int)>(table[5]);
    auto contents = [&] {
        std::vector<int> slots;
        for (int i = 0; i < count(filter); ++i) slots.push_back(index(filter, i));
        EXPECT_EQ(index(filter, count(filter)), -1);
        return slots;
    };

    EXPECT_FALSE(reinterpret_cast<bool (*)(void*)>(table[2])(filter));
    EXPECT_FALSE(reinterpret_cast<bool (*)(void*)>(table[3])(filter));
    addRecipient(filter, 7);
    addRecipient(filter, 7);
    EXPECT_EQ(contents(), (std::vector<int>{7}));
    addAllHumans(filter);
    EXPECT_EQ(contents(), (std::vector<int>{1, 2, 3, 7}));
    addAllTeamHumans(filter, 3);
    EXPECT_EQ(contents(), (std::vector<int>{1, 7})) << "the humans off team 3";
    char expression[] = "Glint #A 3";
    addByFilter(filter, expression, false);
    EXPECT_EQ(contents(), (std::vector<int>{5, 2}));
    EXPECT_STREQ(expression, "Glint #A 3") << "the expression is only read";
    destroy(filter);
}

}  // namespace
