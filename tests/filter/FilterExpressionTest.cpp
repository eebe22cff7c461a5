// Filter expressions: the group form row by row and its tricky expressions, the token
// form's user-id, network-id and name tests in both directions, long tokens, and the
// string functions beneath.
#include <gtest/gtest.h>
#include <limits.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "filter/FilterStrings.h"
#include "filter/MRecipientFilter.h"
#include "support/ConsoleCapture.h"
#include "support/FakeEngine.h"

namespace {

std::vector<int> Select(const std::string& expression, bool partial = false) {
    MRecipientFilter filter;
    filter.AddBySlot(99);  // every expression starts from an empty list
    std::vector<char> text(expression.begin(), expression.end());
    text.push_back('\0');
    filter.AddByFilter(text.data(), partial);
    std::vector<int> slots;
    for (int i = 0; i < filter.GetRecipientCount(); ++i) slots.push_back(filter.GetRecipientIndex(i));
    return slots;
}

// slot: name, user id, team, life, kind, network id. Slots 10 to 14 are never
// selectable; slot 16 lies beyond the maximum client count (15).
//   1 Alice   2 team 2 alive human STEAM_0:1:42
//   2 Bob     3 team 3 alive human STEAM_0:0:7
//   3 Carol   4 team 0 dead  human VL:0:1003
//   4 Slider  5 team 3 alive bot   BOT
//   5 Glint   6 team 2 dead  bot   BOT
//   6 12345   7 team 0 alive human STEAM_0:1:4
//   7 Sam     8 team 1 dead  human (empty)
//   8 Tess    9 team 1 alive bot   BOT
//   9 li     10 team 5 alive human STEAM_1:0:99
//  10 Slider 11 not connected      STEAM_0:1:42
//  11 Pix    12 not a player       BOT
//  12 Frey   13 free edict         BOT
//  13 Ghost  14 no edict           BOT
//  14 (an edict without player information)
//  15 Zed    16 team 2 dead  bot   BOT
//  16 Over   17 beyond the last slot
class FilterExpressionTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.AddPlayer(1, "Alice", 2, 2, false, false, "STEAM_0:1:42");
        server.AddPlayer(2, "Bob", 3, 3, false, false, "STEAM_0:0:7");
        server.AddPlayer(3, "Carol", 4, 0, false, true, "VL:0:1003");
        server.AddPlayer(4, "Slider", 5, 3, true);
        server.AddPlayer(5, "Glint", 6, 2, true, true);
        server.AddPlayer(6, "12345", 7, 0, false, false, "STEAM_0:1:4");
        server.AddPlayer(7, "Sam", 8, 1, false, true, "");
        server.AddPlayer(8, "Tess", 9, 1, true);
        server.AddPlayer(9, "li", 10, 5, false, false, "STEAM_1:0:99");
        server.AddPlayer(10, "Slider", 11, 2, false, false, "STEAM_0:1:42")->connected = false;
        server.AddPlayer(11, "Pix", 12, 2, true)->player = false;
        server.AddPlayer(12, "Frey", 13, 3, true)->edict.stateFlags = kEdictFree;
        server.AddPlayer(13, "Ghost", 14, 3, true);
        server.edicts.erase(13);
        server.playerInfo.erase(&server.AddPlayer(14)->edict);  // no player information
        server.AddPlayer(15, "Zed", 16, 2, true, true);
        server.AddPlayer(16, "Over", 17, 2, true);
    }

    FakeEngine server{15};
    ConsoleCapture console;
};

struct Case {
    const char* expression;
    std::vector<int> slots;
    const char* messages;  // the console text the expression prints
};

TEST_F(FilterExpressionTest, GroupFormFollowsTheFlagTable) {
    const Case cases[] = {
        {"", {}, ""},
        {"#", {}, ""},
        {"#A", {1, 2, 3, 4, 5, 6, 7, 8, 9, 15}, ""},
        {"#a", {1, 2, 3, 4, 5, 6, 7, 8, 9, 15}, ""},
        {"#A!", {1, 2, 3, 4, 5, 6, 7, 8, 9, 15}, ""},
        // One row each; a team outside 0 to 3 (slot 9) is never left out by team flags.
        {"#0", {3}, ""},
        {"#U", {3}, ""},
        {"#1", {7}, ""},
        {"#s", {7}, ""},
        {"#2", {1, 5, 9, 15}, ""},
        {"#T", {1, 5, 9, 15}, ""},
        {"#3", {2, 4, 9}, ""},
        {"#c", {2, 4, 9}, ""},
        {"#B", {4, 5, 8, 15}, ""},
        {"#H", {1, 2, 3, 6, 7, 9}, ""},
        {"#L", {1, 2, 4, 9}, ""},
        {"#D", {3, 5, 7, 15}, ""},
        // Rows combine: dashes keep, team 2 and team 3 clear each other.
        {"#TC", {2, 4, 9}, ""},
        {"#CT", {1, 5, 9, 15}, ""},
        {"#0L", {1, 2, 4, 6, 9}, ""},
        {"#HL", {1, 2, 4, 6, 8, 9}, ""},
        {"#01", {3, 7}, ""},
        {"#1D", {3, 5, 7, 15}, ""},
        {"#DB", {4, 5, 8, 15}, ""},
        {"#BH", {1, 2, 3, 6, 7, 9}, ""},
        // Negation clears one group and ends the expression (a negated space excepted).
        {"#A!B", {1, 2, 3, 6, 7, 9}, ""},
        {"#A!B!D", {1, 2, 3, 6, 7, 9}, ""},
        {"#A!BX", {1, 2, 3, 6, 7, 9}, ""},
        {"#A!!B", {1, 2, 3, 6, 7, 9}, ""},
        {"#A!H", {4, 5, 8, 15}, ""},
        {"#A!L", {3, 5, 7, 15}, ""},
        {"#A!D", {1, 2, 4, 6, 8, 9}, ""},
        {"#A!0", {1, 2, 4, 5, 7, 8, 9, 15}, ""},
        {"#A!u", {1, 2, 4, 5, 7, 8, 9, 15}, ""},
        {"#A!1", {1, 2, 3, 4, 5, 6, 9, 15}, ""},
        {"#A!2", {2, 3, 4, 6, 7, 8, 9}, ""},
        {"#A!3", {1, 3, 5, 6, 7, 8, 9, 15}, ""},
        {"#A!A", {}, ""},
        {"#!A", {}, ""},
        {"#!B", {}, ""},
        {"#D!0", {5, 7, 15}, ""},
        {"#A!X", {1, 2, 3, 4, 5, 6, 7, 8, 9, 15}, "Unknown Group Selection \"X\"\n"},
        {"#!X", {}, "Unknown Group Selection \"X\"\n"},
        {"#A! H", {1, 2, 3, 6, 7, 9}, "Unknown Group Selection \" \"\n"},
        {"#! H", {}, "Unknown Group Selection \" \"\n"},
        // Unknown characters: reported, then checked.
        {"#X2Y", {}, "Unknown Group Selection \"X\"\n"},
        {"#2X", {1, 5, 9, 15}, "Unknown Group Selection \"X\"\n"},
        {"#2 3", {2, 4, 9}, "Unknown Group Selection \" \"\n"},
        {"#0#?", {3}, "Unknown Group Selection \"#\"\nUnknown Group Selection \"?\"\n"},
        {"#%s%n", {}, "Unknown Group Selection \"%\"\n"},
    };
    for (const Case& c : cases) {
        console.Clear();
        EXPECT_EQ(Select(c.expression), c.slots) << c.expression;
        EXPECT_EQ(Select(c.expression, true), c.slots) << c.expression << " (partial)";
        EXPECT_EQ(console.Text(), std::string(c.messages) + c.messages) << c.expression;
    }
}

TEST_F(FilterExpressionTest, TokenFormSelectsByUserIdNetworkIdAndName) {
    const Case exact[] = {
        {"5", {4}, ""},
        {"5 5", {4}, ""},
        {"5 Slider", {4}, ""},
        {"Slider 5 Alice", {4, 1}, ""},
        {"2 3 2", {1, 2}, ""},
        {"0005", {4}, ""},
        {"1", {}, ""},
        {"16", {15}, ""},
        {"17", {}, ""},
        {"11 12 13 14", {}, ""},
        {"12345", {}, ""},
        {"+5", {}, ""},
        {"-5", {}, ""},
        {"steam_0:1:42", {1}, ""},
        {"STEAM_0:1:4", {6}, ""},
        {"Steam_1:0:99", {9}, ""},
        {"bot", {4, 5, 8, 15}, ""},
        {"Bot Tess", {4, 5, 8, 15}, ""},
        {"BOTS", {}, ""},
        {"li", {9}, ""},
        {"Slider  Rook", {4}, ""},
        {" Slider", {}, ""},
        {"Slider ", {4}, ""},
        {"Glint Alice Glint", {5, 1}, ""},
        {"Carol VL:0:1003", {3}, ""},
        {"STEAM_0:0:7 Bob", {2}, ""},
        {"Alice 5 bot", {1, 4, 5, 8, 15}, ""},
        {"Pix Frey Ghost Over", {}, ""},
        {"#A", {1, 2, 3, 4, 5, 6, 7, 8, 9, 15}, ""},
        {" #A", {}, ""},
        {"%s%n", {}, ""},
    };
    for (const Case& c : exact) EXPECT_EQ(Select(c.expression), c.slots) << c.expression;

    // Partial: the player's network id inside the token, the token inside the name. An
    // empty network id (slot 7) is inside every token but selects no one.
    const Case partial[] = {
        {"STEAM_0:1:42", {1, 6}, ""},
        {"steam_0:1:4", {6}, ""},
        {"STEAM_0:1:42xBOT", {1, 4, 5, 6, 8, 15}, ""},
        {"bot", {4, 5, 8, 15}, ""},
        {"li", {1, 4, 5, 9}, ""},
        {"LI", {}, ""},
        {"e", {1, 4, 8, 15}, ""},
        {"5", {4}, ""},
        {"Sl 234", {4}, ""},
        {"ZZZ", {}, ""},
    };
    for (const Case& c : partial) EXPECT_EQ(Select(c.expression, true), c.slots) << c.expression << " (partial)";
    EXPECT_EQ(console.Text(), "") << "the token form prints nothing";
}

TEST_F(FilterExpressionTest, UserIdsThatDoNotFitAnIntSelectNobody) {
    server.Player(2)->userId = INT_MAX;
    EXPECT_EQ(Select("2147483647"), (std::vector<int>{2}));
    EXPECT_EQ(Select("0002147483647"), (std::vector<int>{2}));
    EXPECT_EQ(Select("2147483648"), (std::vector<int>{}));
    EXPECT_EQ(Select("99999999999"), (std::vector<int>{}));
    EXPECT_EQ(Select("4294967298"), (std::vector<int>{})) << "2 modulo 2^32 must not select user id 2";
    EXPECT_EQ(Select("99999999999999999999999999999 5"), (std::vector<int>{4}));
    // The first slot with the id is taken, and only that one.
    server.Player(8)->userId = 5;
    EXPECT_EQ(Select("5"), (std::vector<int>{4}));
}

TEST_F(FilterExpressionTest, NullTextAndMissingPlayerTextsSelectNobody) {
    MRecipientFilter filter;
    filter.AddRecipient(3);
    filter.AddByFilter(nullptr, false);
    EXPECT_EQ(filter.GetRecipientCount(), 0);
    filter.AddRecipient(3);
    filter.AddByFilter(nullptr, true);
    EXPECT_EQ(filter.GetRecipientCount(), 0);

    server.Player(1)->nullName = true;
    server.Player(4)->nullNetworkId = true;
    EXPECT_EQ(Select("Alice"), (std::vector<int>{}));
    EXPECT_EQ(Select("A", true), (std::vector<int>{}));
    EXPECT_EQ(Select("bot"), (std::vector<int>{5, 8, 15}));
    EXPECT_EQ(Select("bot", true), (std::vector<int>{5, 8, 15}));
    EXPECT_EQ(Select("#A!B"), (std::vector<int>{1, 2, 3, 6, 7, 9})) << "the group form asks no names";
    EXPECT_EQ(Select("Slider 2"), (std::vector<int>{4, 1}));
}

TEST_F(FilterExpressionTest, LongTokensAreCutTo1023Characters) {
    const std::string a1022(1022, 'a'), a1023(1023, 'a'), a1024(1024, 'a');
    server.Player(1)->name = a1023;
    server.Player(2)->name = a1024;
    server.Player(3)->name = a1022;
    EXPECT_EQ(Select(a1022), (std::vector<int>{3}));
    EXPECT_EQ(Select(a1023), (std::vector<int>{1}));
    EXPECT_EQ(Select(a1024), (std::vector<int>{1})) << "cut to 1023, the token names slot 1 exactly";
    EXPECT_EQ(Select(std::string(5000, 'a')), (std::vector<int>{1}));
    EXPECT_EQ(Select(a1023, true), (std::vector<int>{1, 2}));
    EXPECT_EQ(Select(std::string(5000, 'a'), true), (std::vector<int>{1, 2}));
    EXPECT_EQ(Select(a1022, true), (std::vector<int>{1, 2, 3}));
    // The rest of a long token is passed over; the next token is read whole.
    EXPECT_EQ(Select(std::string(3000, 'a') + " Slider " + std::string(2000, 'z') + " 6"), (std::vector<int>{1, 4, 5}));

    // A network-id token is cut before it is compared.
    const std::string id1023 = "STEAM_" + std::string(1017, 'X');
    server.Player(6)->networkId = id1023;
    EXPECT_EQ(Select("steam_" + std::string(1017, 'x')), (std::vector<int>{6}));
    EXPECT_EQ(Select("steam_" + std::string(1018, 'x')), (std::vector<int>{6}));
    EXPECT_EQ(Select("steam_" + std::string(1016, 'x')), (std::vector<int>{}));
    EXPECT_EQ(Select("steam_" + std::string(3000, 'x'), true), (std::vector<int>{6}));

    // A digit token of any length is a user id that fits nothing, read without overrun.
    EXPECT_EQ(Select(std::string(1500, '9') + " 3"), (std::vector<int>{2}));
}

TEST(TeamToEnum, EveryCharacterMapsToItsGroupCode) {
    MRecipientFilter filter;
    const std::string codes[10] = {"0Uu", "1Ss", "2Tt", "3Cc", "Aa", "Bb", "Hh", "Ll", "Dd", ""};
    for (int c = -128; c < 128; ++c) {
        int expected = 9;
        for (int code = 0; code < 9; ++code) {
            if (c > 0 && codes[code].find(static_cast<char>(c)) != std::string::npos) expected = code;
        }
        EXPECT_EQ(filter.TeamToEnum(static_cast<char>(c)), expected) << "character " << c;
    }
}

TEST(FilterStrings, NextTokenCutsBoundsAndSteps) {
    char out[FILTER_TOKEN_SIZE + 8];
    const char* const text = "ab cd";
    EXPECT_EQ(StrNextToken(out, text, ' '), text + 3);
    EXPECT_STREQ(out, "ab");
    EXPECT_EQ(StrNextToken(out, text + 3, ' '), text + 5);
    EXPECT_STREQ(out, "cd");
    EXPECT_EQ(StrNextToken(out, text + 5, ' '), text + 5) << "an empty text is returned as it is";
    EXPECT_STREQ(out, "");
    memcpy(out, "junk", 5);
    EXPECT_EQ(StrNextToken(out, nullptr, ' '), nullptr);
    EXPECT_STREQ(out, "");
    const char* const lead = " x";
    EXPECT_EQ(StrNextToken(out, lead, ' '), lead + 1);
    EXPECT_STREQ(out, "");
    const char* const trail = "x,";
    EXPECT_EQ(StrNextToken(out, trail, ','), trail + 2);
    EXPECT_STREQ(out, "x");

    // 1023 characters fit; of longer tokens the rest is passed over. The canary bytes
    // past the buffer stay untouched.
    for (size_t length : {1022u, 1023u, 1024u, 1025u, 4000u}) {
        const std::string token(length, 'q');
        const std::string line = token + " next";
        memset(out, '#', sizeof(out));
        const char* rest = StrNextToken(out, line.c_str(), ' ');
        EXPECT_EQ(strlen(out), std::min<size_t>(length, 1023)) << length;
        EXPECT_EQ(rest, line.c_str() + length + 1) << length;
        EXPECT_EQ(std::string(out + FILTER_TOKEN_SIZE, 8), std::string(8, '#')) << length;
    }
}

TEST(FilterStrings, IsIntAndToUpper) {
    const std::pair<const char*, bool> ints[] = {{"", true},    {"0", true},   {"0123456789", true}, {"12a", false},
                                                 {"-1", false}, {"+1", false}, {" 1", false},        {"1 ", false},
                                                 {"/", false},  {":", false},  {"\xb9", false}};
    for (const auto& c : ints) EXPECT_EQ(StrIsInt(c.first), c.second) << '"' << c.first << '"';
    EXPECT_FALSE(StrIsInt(nullptr));

    const std::pair<const char*, const char*> uppers[] = {
        {"", ""}, {"steam_0:1:42", "STEAM_0:1:42"}, {"Bot", "BOT"}, {"az{}`@AZ09", "AZ{}`@AZ09"}, {"\xe9x", "\xe9X"}};
    for (const auto& c : uppers) {
        std::unique_ptr<char[]> upper(StrToUpper(c.first));
        ASSERT_NE(upper, nullptr);
        EXPECT_STREQ(upper.get(), c.second);
    }
    EXPECT_EQ(StrToUpper(nullptr), nullptr);
}

}  // namespace
