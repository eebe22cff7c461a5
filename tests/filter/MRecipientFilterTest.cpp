// The recipient list and the five group adds, against a fake of the engine's slots.
#include "filter/MRecipientFilter.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/FakeEngine.h"

namespace {

std::vector<int> Contents(const MRecipientFilter& filter) {
    std::vector<int> slots;
    for (int i = 0; i < filter.GetRecipientCount(); ++i) slots.push_back(filter.GetRecipientIndex(i));
    return slots;
}

// Slots 1 to 15: humans and bots on teams 0 to 3 and 5, dead and alive, and every kind
// of slot a scan must pass over; slot 16 lies beyond the maximum client count.
void Populate(FakeEngine& server) {
    server.AddPlayer(1, "Alice", 2, 2);
    server.AddPlayer(2, "Bob", 3, 3);
    server.AddPlayer(3, "Carol", 4, 0, false, true);
    server.AddPlayer(4, "Slider", 5, 3, true);
    server.AddPlayer(5, "Glint", 6, 2, true, true);
    server.AddPlayer(6, "Una", 7, 0);
    server.AddPlayer(7, "Sam", 8, 1, false, true);
    server.AddPlayer(8, "Tess", 9, 1, true);
    server.AddPlayer(9, "Xeno", 10, 5);
    server.AddPlayer(10, "Nell", 11, 2)->connected = false;
    server.AddPlayer(11, "Pix", 12, 2)->player = false;
    server.AddPlayer(12, "Frey", 13, 3)->edict.stateFlags = kEdictFree;
    server.AddPlayer(13, "Ghost", 14, 3);
    server.edicts.erase(13);
    server.playerInfo.erase(&server.AddPlayer(14)->edict);  // no player information
    server.AddPlayer(15, "Zed", 16, 2, true, true);
    server.AddPlayer(16, "Over", 17, 2);
}

TEST(RecipientList, AddRecipientKeepsOneAddBySlotKeepsAll) {
    FakeEngine server(8);
    MRecipientFilter filter;
    EXPECT_FALSE(filter.IsReliable());
    EXPECT_FALSE(filter.IsInitMessage());
    for (int position : {-1, 0, 1}) EXPECT_EQ(filter.GetRecipientIndex(position), -1) << position;

    filter.AddRecipient(5);
    filter.AddRecipient(5);
    EXPECT_EQ(Contents(filter), (std::vector<int>{5}));
    filter.AddBySlot(5);
    filter.AddBySlot(5);
    EXPECT_EQ(Contents(filter), (std::vector<int>{5, 5, 5}));
    filter.AddRecipient(5);
    filter.AddRecipient(0);
    filter.AddRecipient(-3);
    filter.AddRecipient(-3);
    EXPECT_EQ(Contents(filter), (std::vector<int>{5, 5, 5, 0, -3}));
    EXPECT_EQ(filter.GetRecipientIndex(-1), -1);
    EXPECT_EQ(filter.GetRecipientIndex(4), -3);
    EXPECT_EQ(filter.GetRecipientIndex(5), -1);
    EXPECT_FALSE(filter.IsReliable());
    EXPECT_FALSE(filter.IsInitMessage());

    filter.RemoveAll();
    EXPECT_EQ(filter.GetRecipientCount(), 0);
    EXPECT_EQ(filter.GetRecipientIndex(0), -1);
    filter.AddRecipient(7);
    EXPECT_EQ(Contents(filter), (std::vector<int>{7}));
}

// A derived count bounds the positions read; a count above the list never reads past it.
class CountedFilter : public MRecipientFilter {
public:
    int count = 0;
    int GetRecipientCount() const override { return count; }
};

TEST(RecipientList, DerivedCountGovernsTheBound) {
    CountedFilter filter;
    for (int index : {4, 6, 8}) filter.AddBySlot(index);
    const std::vector<std::pair<int, std::vector<int>>> cases = {
        {0, {-1, -1, -1, -1}}, {2, {4, 6, -1, -1}}, {3, {4, 6, 8, -1}}, {4, {4, 6, 8, -1}}, {100, {4, 6, 8, -1}}};
    for (const auto& c : cases) {
        filter.count = c.first;
        const IRecipientFilter& engineView = filter;
        std::vector<int> seen;
        for (int position = 0; position < 4; ++position) seen.push_back(engineView.GetRecipientIndex(position));
        EXPECT_EQ(seen, c.second) << "count " << c.first;
        EXPECT_EQ(engineView.GetRecipientIndex(-1), -1);
    }
}

TEST(GroupAdds, EachGroupReplacesTheListInSlotOrder) {
    FakeEngine server(15);
    Populate(server);
    MRecipientFilter filter;
    struct Case {
        const char* what;
        void (*add)(MRecipientFilter&);
        std::vector<int> slots;
    };
    const Case cases[] = {
        {"players", [](MRecipientFilter& f) { f.AddAllPlayers(); }, {1, 2, 3, 4, 5, 6, 7, 8, 9, 15}},
        {"humans", [](MRecipientFilter& f) { f.AddAllHumans(); }, {1, 2, 3, 6, 7, 9}},
        {"humans off team 2", [](MRecipientFilter& f) { f.AddAllTeamHumans(2); }, {2, 3, 6, 7, 9}},
        {"humans off team 3", [](MRecipientFilter& f) { f.AddAllTeamHumans(3); }, {1, 3, 6, 7, 9}},
        {"humans off team 0", [](MRecipientFilter& f) { f.AddAllTeamHumans(0); }, {1, 2, 7, 9}},
        {"humans off team 7", [](MRecipientFilter& f) { f.AddAllTeamHumans(7); }, {1, 2, 3, 6, 7, 9}},
        {"alive", [](MRecipientFilter& f) { f.AddAllAlivePlayers(); }, {1, 2, 4, 6, 8, 9}},
        {"dead", [](MRecipientFilter& f) { f.AddAllDeadPlayers(); }, {3, 5, 7, 15}},
    };
    for (const Case& c : cases) {
        filter.RemoveAll();
        filter.AddBySlot(16);
        filter.AddRecipient(4);
        c.add(filter);
        EXPECT_EQ(Contents(filter), c.slots) << c.what;
    }

    // Nothing to scan, or no engine yet: every group is empty.
    for (int maxClients : {0, -1}) {
        server.globals.maxClients = maxClients;
        for (const Case& c : cases) {
            filter.AddRecipient(1);
            c.add(filter);
            EXPECT_EQ(filter.GetRecipientCount(), 0) << c.what << " with max clients " << maxClients;
        }
    }
    server.globals.maxClients = 15;
    engine = nullptr;
    filter.AddAllPlayers();
    EXPECT_EQ(filter.GetRecipientCount(), 0);
}

// Each group asks its questions in a fixed order and stops at the first that fails.
TEST(GroupAdds, TestsRunInTheirOrderAndStopAtTheFirstFailure) {
    FakeEngine server(1);
    FakePlayer& player = *server.AddPlayer(1, "Solo", 2, 2);
    player.recordQueries = true;
    MRecipientFilter filter;
    struct Case {
        const char* what;
        void (*add)(MRecipientFilter&);
        void (*shape)(FakePlayer&);
        const char* queries;
        bool selected;
    };
    const Case cases[] = {
        {"players", [](MRecipientFilter& f) { f.AddAllPlayers(); }, [](FakePlayer&) {}, "PC", true},
        {"players, not a player", [](MRecipientFilter& f) { f.AddAllPlayers(); },
         [](FakePlayer& p) { p.player = false; }, "P", false},
        {"humans", [](MRecipientFilter& f) { f.AddAllHumans(); }, [](FakePlayer&) {}, "PCF", true},
        {"humans, not connected", [](MRecipientFilter& f) { f.AddAllHumans(); },
         [](FakePlayer& p) { p.connected = false; }, "PC", false},
        {"humans, a bot", [](MRecipientFilter& f) { f.AddAllHumans(); }, [](FakePlayer& p) { p.fake = true; }, "PCF",
         false},
        {"team humans", [](MRecipientFilter& f) { f.AddAllTeamHumans(3); }, [](FakePlayer&) {}, "PTCF", true},
        {"team humans, on the team", [](MRecipientFilter& f) { f.AddAllTeamHumans(2); }, [](FakePlayer&) {}, "PT",
         false},
        {"team humans, not connected", [](MRecipientFilter& f) { f.AddAllTeamHumans(3); },
         [](FakePlayer& p) { p.connected = false; }, "PTC", false},
        {"alive", [](MRecipientFilter& f) { f.AddAllAlivePlayers(); }, [](FakePlayer&) {}, "DPC", true},
        {"alive, dead", [](MRecipientFilter& f) { f.AddAllAlivePlayers(); }, [](FakePlayer& p) { p.dead = true; }, "D",
         false},
        {"dead", [](MRecipientFilter& f) { f.AddAllDeadPlayers(); }, [](FakePlayer& p) { p.dead = true; }, "DPC", true},
        {"dead, alive", [](MRecipientFilter& f) { f.AddAllDeadPlayers(); }, [](FakePlayer&) {}, "D", false},
        {"dead, not a player", [](MRecipientFilter& f) { f.AddAllDeadPlayers(); },
         [](FakePlayer& p) {
             p.dead = true;
             p.player = false;
         },
         "DP", false},
    };
    for (const Case& c : cases) {
        player.player = player.connected = true;
        player.fake = player.dead = false;
        c.shape(player);
        player.queries.clear();
        c.add(filter);
        EXPECT_EQ(player.queries, c.queries) << c.what;
        EXPECT_EQ(filter.GetRecipientCount(), c.selected ? 1 : 0) << c.what;
    }
}

}  // namespace
