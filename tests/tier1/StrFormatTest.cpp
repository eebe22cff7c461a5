#include "tier1/StrFormat.h"

#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

TEST(StrFormatTest, PretifyNumGroupsEveryValueInThrees) {
    struct {
        int64_t value;
        const char* text;
    } cases[] = {
        {0, "0"},
        {999, "999"},
        {1000, "1,000"},
        {12345, "12,345"},
        {1234567, "1,234,567"},
        {1000000, "1,000,000"},
        {1000000000000LL, "1,000,000,000,000"},
        {-1, "-1"},
        {-999, "-999"},
        {-1000, "-1,000"},
        {-1234, "-1,234"},
        {INT64_MAX, "9,223,372,036,854,775,807"},
        {INT64_MIN, "-9,223,372,036,854,775,808"},
    };
    for (auto& c : cases) EXPECT_STREQ(V_pretifynum(c.value), c.text) << c.value;
}

TEST(StrFormatTest, PretifyMemPicksTheUnitAndGroupsTheWholePart) {
    struct {
        float value;
        int digits;
        bool binary;
        const char* text;
    } cases[] = {
        {1024.0f, 2, true, "1,024 bytes"},  // not above one K
        {1536.0f, 2, true, "1.50 KB"},
        {2048.0f, 2, true, "2 KB"},
        {1025.0f, 2, true, "1.00 KB"},
        {1048576.0f, 2, true, "1,024 KB"},
        {1572864.0f, 2, true, "1.50 MB"},
        {5000000000.0f, 2, false, "5,000 MB"},
        {1234567.5f, 2, false, "1.23 MB"},
        {1000.0f, 0, false, "1,000 bytes"},
        {1001.0f, 1, false, "1.0 KB"},
        {1536.0f, -3, true, "2 KB"},  // negative digits count as 0
        {999.0f, 2, true, "999 bytes"},
        {0.0f, 2, true, "0 bytes"},
        {-999.0f, 2, true, "-999 bytes"},  // no separator right after the sign
        {-1500.0f, 0, true, "-1,500 bytes"},
        {-1234.5f, 2, true, "-1,234.50 bytes"},
        {4503599627370496.0f, 0, true, "4,294,967,296 MB"},  // 2^52 bytes: beyond int
        // The 29 digits shown are those of the full precision asked for: rounding at the
        // 30th digit would carry into the last one shown.
        {2.828861579473596e-05f, 40, true, "0.00002828861579473596066236495"},
        {8.088374306680635e-05f, 40, true, "0.00008088374306680634617805480"},
    };
    for (auto& c : cases) EXPECT_STREQ(V_pretifymem(c.value, c.digits, c.binary), c.text) << c.value;

    const char* manyDigits = V_pretifymem(1536.0f, 1000, true);
    EXPECT_EQ(strlen(manyDigits), 31u);
    EXPECT_EQ(std::string(manyDigits, 6), "1.5000");
    EXPECT_LE(strlen(V_pretifymem(3.0e38f, 0, true)), 31u);
}

TEST(StrFormatTest, EachPretifierReusesItsBufferOnTheNinthCall) {
    std::vector<const char*> numbers;
    for (int i = 1; i <= 8; ++i) numbers.push_back(V_pretifynum(i * 1000));
    const char* memory = V_pretifymem(5.0f);  // the other ring does not advance this one
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(numbers[i], std::string(std::to_string(i + 1) + ",000")) << "call " << i + 1 << " still valid";
        for (int j = 0; j < i; ++j) EXPECT_NE(numbers[i], numbers[j]);
    }
    const char* ninth = V_pretifynum(9);
    EXPECT_EQ(ninth, numbers[0]);
    EXPECT_STREQ(numbers[0], "9");
    EXPECT_STREQ(numbers[1], "2,000");

    std::vector<const char*> sizes = {memory};
    for (int i = 0; i < 7; ++i) sizes.push_back(V_pretifymem(static_cast<float>(i)));
    EXPECT_STREQ(memory, "5 bytes");
    EXPECT_EQ(V_pretifymem(9.0f), memory);
    EXPECT_STREQ(memory, "9 bytes");
}

TEST(StrFormatTest, StrSubstReportsWhetherTheWholeResultFitted) {
    struct {
        const char* in;
        const char* match;
        const char* with;
        bool caseSensitive;
        int size;
        const char* out;
        bool fitted;
    } cases[] = {
        {"a.b.c", ".", "::", true, 64, "a::b::c", true},
        {"a.b.c", ".", "::", true, 4, "a::", false},
        {"a.b.c", ".", "::", true, 8, "a::b::c", true},  // exact fit
        {"a.b.c", ".", "::", true, 7, "a::b::", false},
        {"a.b.c", ".", "::", true, 1, "", false},
        {"xabcx", "ABC", "-", false, 64, "x-x", true},
        {"xabcx", "ABC", "-", true, 64, "xabcx", true},
        {"abc", "", "-", true, 64, "abc", true},  // an empty match matches nothing
        {"abc", "z", "y", true, 4, "abc", true},
        {"abc", "z", "y", true, 3, "ab", false},
        {"a.b", ".", "12345", true, 5, "a123", false},
        {"ab.", ".", "!", true, 4, "ab!", true},
        {"..", ".", "", true, 1, "", true},
        {"", "x", "y", false, 1, "", true},
    };
    for (auto& c : cases) {
        std::vector<char> out(c.size + 4, '\x7f');
        EXPECT_EQ(V_StrSubst(c.in, c.match, c.with, out.data(), c.size, c.caseSensitive), c.fitted)
            << c.in << " in " << c.size;
        EXPECT_STREQ(out.data(), c.out) << c.in << " in " << c.size;
        for (int i = c.size; i < c.size + 4; ++i) EXPECT_EQ(out[i], '\x7f') << c.in << " wrote past " << c.size;
    }
    char none[2] = {'\x7f', '\x7f'};
    EXPECT_FALSE(V_StrSubst("abc", "b", "x", none, 0, true));
    EXPECT_EQ(none[0], '\x7f');
}

TEST(StrFormatTest, AllocStringCopiesAtMostMaxChars) {
    struct {
        int maxChars;
        const char* copy;
    } cases[] = {{3, "hel"}, {0, ""}, {5, "hello"}, {6, "hello"}, {100, "hello"}, {-1, "hello"}, {-7, "hello"}};
    for (auto& c : cases) {
        char* copy = AllocString("hello", c.maxChars);
        ASSERT_NE(copy, nullptr);
        EXPECT_STREQ(copy, c.copy) << c.maxChars;
        delete[] copy;
    }
}

std::vector<std::string> Pieces(CUtlVector<char*>& strings) {
    std::vector<std::string> pieces;
    for (int i = 0; i < strings.Count(); ++i) {
        pieces.push_back(strings[i]);
        delete[] strings[i];
    }
    return pieces;
}

TEST(StrFormatTest, SplitDropsEmptyPiecesAndPrefersTheFirstListedSeparator) {
    using List = std::vector<std::string>;
    CUtlVector<char*> strings;
    V_SplitString("a,,b", ",", strings);
    EXPECT_EQ(Pieces(strings), (List{"a", "b"}));
    V_SplitString(",a,", ",", strings);
    EXPECT_EQ(Pieces(strings), (List{"a"}));
    V_SplitString("", ",", strings);
    EXPECT_EQ(Pieces(strings), List{});
    V_SplitString(",,,", ",", strings);
    EXPECT_EQ(Pieces(strings), List{});
    V_SplitString("abc", "", strings);
    EXPECT_EQ(Pieces(strings), (List{"abc"}));
    V_SplitString("aXbxc", "x", strings);
    EXPECT_EQ(Pieces(strings), (List{"a", "b", "c"}));
    V_SplitString("one and two AND three", " and ", strings);
    EXPECT_EQ(Pieces(strings), (List{"one", "two", "three"}));

    const char* shortFirst[] = {"<", "<>"};
    V_SplitString2("a<>b<c", shortFirst, 2, strings);
    EXPECT_EQ(Pieces(strings), (List{"a", ">b", "c"}));
    const char* longFirst[] = {"<>", "<"};
    V_SplitString2("a<>b<c", longFirst, 2, strings);
    EXPECT_EQ(Pieces(strings), (List{"a", "b", "c"}));
    const char* mixed[] = {";", nullptr, ""};
    V_SplitString2("x;y", mixed, 3, strings);
    EXPECT_EQ(Pieces(strings), (List{"x", "y"}));
    V_SplitString2("x;y", mixed, 0, strings);
    EXPECT_EQ(Pieces(strings), (List{"x;y"}));

    // Earlier contents are dropped (not freed) and the memory released.
    char kept[] = "kept";
    strings.AddToTail(kept);
    V_SplitString("p", ",", strings);
    EXPECT_EQ(Pieces(strings), (List{"p"}));
    V_SplitString("", ",", strings);
    EXPECT_EQ(strings.NumAllocated(), 0);
}

}  // namespace
