#include "tier1/StrTools.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <locale.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

#include "host/tier0/HostTier0.h"

TEST(StrToolsTest, ComparisonReturnsUnitSignAndOrdersBytesAsSigned) {
    EXPECT_EQ(V_strncmp("z", "a", 1), 1);  // not the difference 25
    EXPECT_EQ(V_strncmp("abc", "abd", 3), -1);
    EXPECT_EQ(V_strncmp("\x80", "a", 1), -1);  // 0x80 is negative as a signed char
    EXPECT_EQ(V_strncmp("a", "\xff", 1), 1);
    EXPECT_EQ(V_strncmp("ab", "abc", 99), -1);  // the terminator orders first
    EXPECT_EQ(V_strncmp("abcX", "abcY", 3), 0);
    EXPECT_EQ(V_strncmp("a", "b", 0), 0);
    EXPECT_EQ(V_strncmp("a", "b", -5), 0);
    EXPECT_EQ(V_strncmp("same", "same", 1000), 0);
}

TEST(StrToolsTest, CaseFoldingTouchesOnlyLowercaseAsciiLetters) {
    EXPECT_EQ(V_strcasecmp("abc", "ABC"), 0);
    EXPECT_EQ(V_strcasecmp("a", "B"), -1);
    EXPECT_EQ(V_strcasecmp("[", "a"), 1);        // 'a' folds to 'A', below '['
    EXPECT_EQ(V_strcasecmp("`", "A"), 1);        // '`' is not a letter and does not fold
    EXPECT_EQ(V_strcasecmp("\xe9", "\xc9"), 1);  // no folding beyond ASCII
    EXPECT_EQ(V_strcasecmp("\xe9", "E"), -1);
    EXPECT_EQ(V_strncasecmp("abcX", "ABCy", 3), 0);
    EXPECT_EQ(V_strncasecmp("abcX", "ABCy", 4), -1);
    EXPECT_EQ(V_strnicmp("abcX", "ABCy", 4), -1);
    // The ends of the folded range: 'a' and 'z' fold, '`' and '{' next to them do not.
    const struct {
        const char *a, *b;
        int order;
    } edges[] = {{"a", "A", 0}, {"z", "Z", 0}, {"{", "[", 1}, {"`", "@", 1}, {"Z", "z", 0}};
    for (const auto& e : edges) EXPECT_EQ(V_strcasecmp(e.a, e.b), e.order) << e.a << " " << e.b;

    // Only the first 99999 characters take part.
    std::string a(99999, 'q'), b(99999, 'Q');
    EXPECT_EQ(V_strcasecmp((a + "a").c_str(), (b + "z").c_str()), 0);
    EXPECT_EQ(V_strcasecmp((a.substr(1) + "a").c_str(), (b.substr(1) + "z").c_str()), -1);
}

TEST(StrToolsTest, CaseInsensitiveSearchFindsFirstMatchAndRejectsEmpty) {
    const char* text = "Hello World";
    EXPECT_EQ(V_stristr(text, "WORLD"), text + 6);
    const char* aab = "aab";
    EXPECT_EQ(V_stristr(aab, "AB"), aab + 1);  // restarts after a partial match
    EXPECT_EQ(V_stristr(text, ""), nullptr);
    EXPECT_EQ(V_stristr("", "a"), nullptr);
    EXPECT_EQ(V_stristr(static_cast<const char*>(nullptr), "a"), nullptr);
    EXPECT_EQ(V_stristr(text, nullptr), nullptr);
    EXPECT_EQ(V_stristr("abc", "abcd"), nullptr);
    char mutableText[] = "xYz";
    char* found = V_stristr(mutableText, "yz");
    ASSERT_EQ(found, mutableText + 1);
}

TEST(StrToolsTest, BoundedSearchesNeverReadPastCount) {
    // Heap blocks without a terminator: a read past the count is an overflow under ASan.
    std::unique_ptr<char[]> block(new char[4]{'x', 'y', 'A', 'B'});
    EXPECT_EQ(V_strnistr(block.get(), "ab", 4), block.get() + 2);
    EXPECT_EQ(V_strnistr(block.get(), "ab", 3), nullptr);  // the match would end past 3
    EXPECT_EQ(V_strnistr(block.get(), "bz", 4), nullptr);
    EXPECT_EQ(V_strnistr(block.get(), "x", 0), nullptr);
    EXPECT_EQ(V_strnistr(block.get(), "X", 1), block.get()) << "a match that exactly fills the count";
    EXPECT_EQ(V_strnistr(block.get(), "xYa", 3), block.get());
    EXPECT_EQ(V_strnistr(block.get(), "", 4), nullptr);
    EXPECT_EQ(V_strnchr(block.get(), 'A', 4), block.get() + 2);
    EXPECT_EQ(V_strnchr(block.get(), 'A', 2), nullptr);
    EXPECT_EQ(V_strnchr(block.get(), 'q', 4), nullptr);

    const char* text = "ab\ncd";
    EXPECT_EQ(V_strnchr(text, '\n', 99), text + 2);
    EXPECT_EQ(V_strnchr(text, '\0', 99), nullptr);  // the terminator is never found
    EXPECT_EQ(V_strnistr(text, "CD", 99), text + 3);
}

TEST(StrToolsTest, CopyTruncatesAndTerminates) {
    char buf[12];
    memset(buf, '#', sizeof(buf));
    V_strncpy(buf, "abcdefghijklmnopqrst", 8);
    EXPECT_STREQ(buf, "abcdefg");
    EXPECT_EQ(buf[8], '#');  // nothing past the size

    memset(buf, '#', sizeof(buf));
    V_strncpy(buf, "ab", 8);
    EXPECT_EQ(std::string(buf, 8), std::string("ab\0\0\0\0\0\0", 8));  // zero-filled to the size
    EXPECT_EQ(buf[8], '#');

    memset(buf, '#', sizeof(buf));
    V_strncpy(buf, "ab", 1);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(buf[1], '#');
    // A size of 0 or less writes nothing, not even before the buffer.
    memset(buf, '#', sizeof(buf));
    V_strncpy(buf + 1, "ab", 0);
    V_strncpy(buf + 1, "ab", -1);
    EXPECT_EQ(std::string(buf, 3), "###");
}

TEST(StrToolsTest, ConcatenationAppendsWhatFitsAndTerminates) {
    char buf[10];
    auto reset = [&](const char* start) {
        memset(buf, '#', sizeof(buf));
        strcpy(buf, start);
    };
    reset("abc");
    EXPECT_STREQ(V_strncat(buf, "defghijk", 8), "abcdefg");
    EXPECT_EQ(buf[8], '#');
    reset("abc");
    EXPECT_STREQ(V_strncat(buf, "defghijk", 8, 2), "abcde");
    reset("abc");
    EXPECT_STREQ(V_strncat(buf, "de", 8, 100), "abcde");
    reset("abc");
    EXPECT_STREQ(V_strncat(buf, "de", 8, 0), "abc");
    reset("abcdefg");
    EXPECT_STREQ(V_strncat(buf, "x", 8), "abcdefg");  // already full

    // Sizes of 0 and converted negative ints change nothing.
    reset("abc");
    V_strncat(buf, "de", 0);
    V_strncat(buf, "de", static_cast<size_t>(-1));
    EXPECT_STREQ(buf, "abc");

    // A destination without a terminator inside its buffer is cut, never overrun.
    memset(buf, 'z', sizeof(buf));
    V_strncat(buf, "de", 4);
    EXPECT_STREQ(buf, "zzz");
    EXPECT_EQ(buf[4], 'z');
}

TEST(StrToolsTest, WideCopyCountsSizeInBytes) {
    wchar_t buf[6];
    wmemset(buf, L'#', 6);
    V_wcsncpy(buf, L"abcdef", 4 * sizeof(wchar_t));
    EXPECT_STREQ(buf, L"abc");
    EXPECT_EQ(buf[4], L'#');
    V_wcsncpy(buf, L"abcdef", sizeof(wchar_t) - 1);  // no room for one character
    EXPECT_STREQ(buf, L"abc");
    for (int bytes : {0, 1, 3, -4}) {
        wmemset(buf, L'#', 6);
        V_wcsncpy(buf + 1, L"ab", bytes);
        EXPECT_EQ(buf[0], L'#') << bytes << " bytes: nothing is written before the buffer";
        EXPECT_EQ(buf[1], L'#') << bytes;
    }
    V_wcsncpy(buf, L"ab", 3 * sizeof(wchar_t));  // exact fit with the terminator
    EXPECT_STREQ(buf, L"ab");
}

TEST(StrToolsTest, SlicingWrapsNegativeAndLargeIndexes) {
    char out[16];
    auto slice = [&](int first, int last, int size = 16) {
        strcpy(out, "#");
        V_StrSlice("abcdef", first, last, out, size);
        return std::string(out);
    };
    EXPECT_EQ(slice(-2, 6), "ef");
    EXPECT_EQ(slice(0, 8), "ab");  // 8 mod 6
    EXPECT_EQ(slice(1, -1), "bcde");
    EXPECT_EQ(slice(-8, 6), "ef");  // -8 counts as -2
    EXPECT_EQ(slice(-6, 6), "");    // len - (6 mod 6) is past the end
    EXPECT_EQ(slice(6, 6), "");
    EXPECT_EQ(slice(0, 0), "") << "an end of 0 is not counted from the end";
    EXPECT_EQ(slice(5, 6), "f");          // the last character
    EXPECT_EQ(slice(0, 6, 7), "abcdef");  // exact fit
    EXPECT_EQ(slice(0, 6, 6), "abcde");
    EXPECT_EQ(slice(4, 2), "");
    EXPECT_EQ(slice(INT_MIN, 6), "ef");  // 2^31 mod 6 = 2, taken without overflow
    EXPECT_EQ(slice(2, INT_MAX), "");    // (2^31 - 1) mod 6 = 1
    EXPECT_EQ(slice(0, 6, 3), "ab");
    EXPECT_EQ(slice(0, 6, 1), "");
    EXPECT_EQ(slice(0, 6, 0), "#");

    strcpy(out, "#");
    V_StrSlice("", 0, 3, out, sizeof(out));
    EXPECT_STREQ(out, "");
}

TEST(StrToolsTest, LeftAndRightTakeWholeStringOrSlice) {
    char out[16];
    auto left = [&](int n, int size = 16) {
        V_StrLeft("abcdef", n, out, size);
        return std::string(out);
    };
    auto right = [&](int n, int size = 16) {
        V_StrRight("abcdef", n, out, size);
        return std::string(out);
    };
    EXPECT_EQ(left(2), "ab");
    EXPECT_EQ(left(0), "");
    EXPECT_EQ(left(10), "abcdef");
    EXPECT_EQ(left(-2), "abcd");
    EXPECT_EQ(left(10, 4), "abc");
    EXPECT_EQ(right(2), "ef");
    EXPECT_EQ(right(0), "");
    EXPECT_EQ(right(10), "abcdef");
    EXPECT_EQ(right(-2), "cdef");
    EXPECT_EQ(right(10, 4), "abc");
    EXPECT_EQ(right(3, 2), "d");
    // A count equal to the length takes the whole string; one less leaves one out.
    EXPECT_EQ(left(6), "abcdef");
    EXPECT_EQ(right(6), "abcdef");
    EXPECT_EQ(left(5), "abcde");
    EXPECT_EQ(right(5), "bcdef");
}

TEST(StrToolsTest, CaseConversionStopsAtCountOrTerminator) {
    char s[] = "ABCDEF";
    EXPECT_STREQ(V_strnlwr(s, 3), "abcDEF");
    EXPECT_STREQ(V_strnlwr(s, 100), "abcdef");
    EXPECT_STREQ(V_strupr(s), "ABCDEF");
    EXPECT_STREQ(V_strlower(s), "abcdef");
    EXPECT_EQ(V_strnlwr(nullptr, 3), nullptr);
    EXPECT_EQ(V_strupr(nullptr), nullptr);
    EXPECT_EQ(V_strlower(nullptr), nullptr);
}

TEST(StrToolsTest, IntegerParsingHasNoWhitespaceOrPlus) {
    EXPECT_EQ(V_atoi("-0x1F"), -31);
    EXPECT_EQ(V_atoi("0Xff"), 255);
    EXPECT_EQ(V_atoi("'A"), 65);
    EXPECT_EQ(V_atoi("-'A"), -65);
    EXPECT_EQ(V_atoi("'\xe9"), -23);  // the character as a signed char
    EXPECT_EQ(V_atoi(" 12"), 0);
    EXPECT_EQ(V_atoi("+5"), 0);
    EXPECT_EQ(V_atoi("123abc"), 123);
    EXPECT_EQ(V_atoi("0x"), 0);
    EXPECT_EQ(V_atoi("-"), 0);
    EXPECT_EQ(V_atoi("2147483648"), INT_MIN);  // wraps in 32 bits
    EXPECT_EQ(V_atoi("4294967297"), 1);
    EXPECT_EQ(V_atoi("2147483647"), INT_MAX);
    // The ends of each digit range: '0' and '9', 'a'/'A' and 'f'/'F'.
    const struct {
        const char* text;
        int value;
    } digits[] = {{"0x10", 16}, {"0x09", 9}, {"0xaf", 175}, {"0XAF", 175}, {"0xg", 0}, {"90", 90}, {"0x0", 0}};
    for (const auto& d : digits) {
        EXPECT_EQ(V_atoi(d.text), d.value) << d.text;
        EXPECT_FLOAT_EQ(V_atof(d.text), static_cast<float>(d.value)) << d.text;
    }
}

// The 32-bit long's strtol and strtoul on either architecture: saturation exactly at
// the 32-bit bounds, in-range negatives wrapping for the unsigned form, `end` as strtol's.
TEST(StrToolsTest, LongParsingSaturatesAtThe32BitRange) {
    const struct {
        const char* text;
        int base;
        int asInt;
        unsigned asUint;
    } cases[] = {
        {"2147483647", 10, INT_MAX, 2147483647u},   {"2147483648", 10, INT_MAX, 2147483648u},
        {"-2147483648", 10, INT_MIN, 2147483648u},  {"-2147483649", 10, INT_MIN, 2147483647u},
        {"4294967295", 10, INT_MAX, UINT_MAX},      {"4294967296", 10, INT_MAX, UINT_MAX},
        {"-1", 10, -1, UINT_MAX},                   {"-4294967295", 10, INT_MIN, 1u},
        {"-4294967296", 10, INT_MIN, UINT_MAX},     {" +12x", 10, 12, 12u},
        {"99999999999999999999", 10, INT_MAX, UINT_MAX}, {"7FFFFFFF", 16, INT_MAX, 0x7FFFFFFFu},
        {"80000000", 16, INT_MAX, 0x80000000u},     {"x", 10, 0, 0u},
        {" -5", 10, -5, 4294967291u},
    };
    for (const auto& c : cases) {
        char* intEnd = nullptr;
        char* uintEnd = nullptr;
        EXPECT_EQ(V_StrToInt32(c.text, &intEnd, c.base), c.asInt) << c.text;
        EXPECT_EQ(V_StrToUint32(c.text, &uintEnd, c.base), c.asUint) << c.text;
        char* libraryEnd = nullptr;
        strtoll(c.text, &libraryEnd, c.base);
        EXPECT_EQ(intEnd, libraryEnd) << c.text;
        EXPECT_EQ(uintEnd, libraryEnd) << c.text;
    }
}

TEST(StrToolsTest, FloatParsingUsesLastPointAndHasNoExponent) {
    EXPECT_FLOAT_EQ(V_atof("1.2.3"), 12.3f);
    EXPECT_FLOAT_EQ(V_atof("1e3"), 1.0f);
    EXPECT_FLOAT_EQ(V_atof("3.25"), 3.25f);
    EXPECT_FLOAT_EQ(V_atof("-.5"), -0.5f);
    EXPECT_FLOAT_EQ(V_atof("12."), 12.0f);
    EXPECT_FLOAT_EQ(V_atof("-0x10"), -16.0f);
    EXPECT_FLOAT_EQ(V_atof("'A"), 65.0f);
    EXPECT_FLOAT_EQ(V_atof(" 1"), 0.0f);
}

TEST(StrToolsTest, NormalizeTrimsZerosOnlyAfterPoint) {
    auto normalized = [](const char* in) {
        char buf[32];
        strcpy(buf, in);
        V_normalizeFloatString(buf);
        return std::string(buf);
    };
    EXPECT_EQ(normalized("1.500"), "1.5");
    EXPECT_EQ(normalized("2.000"), "2");
    EXPECT_EQ(normalized("100.0"), "100");
    EXPECT_EQ(normalized("10"), "10");
    EXPECT_EQ(normalized("1.05"), "1.05");
    EXPECT_EQ(normalized(".0"), ".");  // never shorter than one character
}

TEST(StrToolsTest, HexDecodingZeroesOutputAndStopsAtBadPair) {
    unsigned char out[4];
    memset(out, 0xEE, sizeof(out));
    EXPECT_EQ(V_hextobinary("0aFF", 4, out, 2), 2);
    EXPECT_EQ(out[0], 0x0A);
    EXPECT_EQ(out[1], 0xFF);
    EXPECT_EQ(out[2], 0xEE);  // past maxOutputBytes

    memset(out, 0xEE, sizeof(out));
    EXPECT_EQ(V_hextobinary("0aF", 99, out, 4), 1);  // odd last character ignored
    EXPECT_EQ(out[0], 0x0A);
    EXPECT_EQ(out[1], 0);  // the whole output is zeroed first
    EXPECT_EQ(out[3], 0);

    EXPECT_EQ(V_hextobinary("0aFF", 2, out, 4), 1);  // numChars limits the text
    EXPECT_EQ(V_hextobinary("0aFF", 4, out, 1), 1);  // out limits the bytes
    EXPECT_EQ(V_hextobinary("0aZ1ff", 6, out, 4), 1);
    EXPECT_EQ(out[0], 0x0A);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(V_hextobinary("1g", 2, out, 4), 0);  // a bad low digit stops too

    out[0] = 0xEE;
    EXPECT_EQ(V_hextobinary("ff", 2, out, 0), 0);
    EXPECT_EQ(out[0], 0xEE);
}

TEST(StrToolsTest, WideConversionsTruncateAtCharacterBoundary) {
    std::string oldLocale = setlocale(LC_ALL, nullptr);
    ASSERT_NE(setlocale(LC_ALL, "C.UTF-8"), nullptr);
    wchar_t wide[5];
    wmemset(wide, L'#', 5);
    EXPECT_EQ(V_UTF8ToUnicode("a\xc3\xa9\xe2\x82\xac", wide, 4 * sizeof(wchar_t)), 3);
    EXPECT_STREQ(wide, L"a\u00e9\u20ac");
    EXPECT_EQ(wide[4], L'#');
    wmemset(wide, L'#', 5);
    EXPECT_EQ(V_strtowcs("a\xc3\xa9\xe2\x82\xac", 0, wide, 3 * sizeof(wchar_t)), 2);
    EXPECT_STREQ(wide, L"a\u00e9");
    EXPECT_EQ(wide[3], L'#');
    EXPECT_EQ(V_UTF8ToUnicode("abc", wide, sizeof(wchar_t) - 1), 0);
    EXPECT_STREQ(wide, L"a\u00e9");
    EXPECT_EQ(V_UTF8ToUnicode("a\xff", wide, sizeof(wide)), -1);
    EXPECT_STREQ(wide, L"");

    char narrow[8];
    memset(narrow, '#', sizeof(narrow));
    EXPECT_EQ(V_UnicodeToUTF8(L"a\u00e9", narrow, 4), 3);
    EXPECT_STREQ(narrow, "a\xc3\xa9");
    EXPECT_EQ(V_wcstostr(L"a\u00e9", 0, narrow, 3), 1);  // no half of the 2-byte character
    EXPECT_STREQ(narrow, "a");
    EXPECT_EQ(V_UnicodeToUTF8(L"a", narrow, 0), 0);
    EXPECT_STREQ(narrow, "a");

    setlocale(LC_ALL, "C");
    EXPECT_EQ(V_UnicodeToUTF8(L"\u00e9", narrow, sizeof(narrow)), -1);  // not encodable in "C"
    EXPECT_STREQ(narrow, "");
    setlocale(LC_ALL, oldLocale.c_str());
}

TEST(StrToolsTest, FormattingReportsFullLengthAndTerminates) {
    char buf[8];
    memset(buf, '#', sizeof(buf));
    EXPECT_EQ(V_snprintf(buf, 4, "%d", 123456), 6);
    EXPECT_STREQ(buf, "123");
    EXPECT_EQ(buf[4], '#');
    EXPECT_EQ(V_snprintf(buf, 0, "%d", 99), 2);
    EXPECT_EQ(V_snprintf(buf, -3, "%d", 99), 2);
    EXPECT_STREQ(buf, "123");

    // A wide character the "C" locale cannot encode makes the C library fail.
    std::string oldLocale = setlocale(LC_ALL, nullptr);
    setlocale(LC_ALL, "C");
    memset(buf, '#', sizeof(buf));
    EXPECT_EQ(V_snprintf(buf, 6, "%ls", L"\u00e9"), 6);
    EXPECT_EQ(buf[5], '\0');
    EXPECT_EQ(buf[6], '#');
    memset(buf, '#', sizeof(buf));
    EXPECT_EQ(V_snprintf(buf + 1, 0, "%ls", L"\u00e9"), 0);  // a failure with no room writes nothing
    EXPECT_EQ(buf[0], '#');
    EXPECT_EQ(buf[1], '#');
    setlocale(LC_ALL, oldLocale.c_str());

    // An empty result is a success of length 0, and exact fit keeps every character.
    EXPECT_EQ(V_snprintf(buf, 8, "%s", ""), 0);
    EXPECT_EQ(V_snprintf(buf, 8, "%s", "1234567"), 7);
    EXPECT_STREQ(buf, "1234567");
    EXPECT_EQ(V_snprintf(buf, 7, "%s", "1234567"), 7);
    EXPECT_STREQ(buf, "123456");
}

TEST(StrToolsTest, CheckedWrappersKeepCLibraryResults) {
    const char* path = "a/b/c";
    EXPECT_EQ(V_strrchr(path, '/'), path + 3);
    EXPECT_EQ(V_strrchr(path, 'x'), nullptr);
    EXPECT_EQ(V_strrchr(path, '\0'), nullptr);
    EXPECT_EQ(V_strlen(path), 5);
    EXPECT_EQ(V_wcslen(L"abc"), 3);
    EXPECT_EQ(V_strstr(path, "b/"), path + 2);
    EXPECT_EQ(V_wcscmp(L"a", L"b"), -1);
    EXPECT_EQ(V_wcscmp(L"b", L"a"), -1);
    EXPECT_EQ(V_wcscmp(L"ab", L"ab"), 0);
    EXPECT_GT(V_strcmp("b", "a"), 0);
    EXPECT_LT(V_strcmp("\x01", "\x80"), 0);  // strcmp orders bytes as unsigned
    EXPECT_EQ(V_stricmp("ABC", "abc"), 0);

    unsigned char high[] = {0x80}, low[] = {0x05}, lower[] = {0x01};
    EXPECT_EQ(V_memcmp(high, low, 1), 1);
    EXPECT_EQ(V_memcmp(low, lower, 1), 1);  // unit sign, not the difference
    EXPECT_EQ(V_memcmp(lower, low, 1), -1);
    EXPECT_EQ(V_memcmp(high, low, 0), 0);
    EXPECT_EQ(V_memcmp("ab", "ac", 1), 0) << "only count bytes take part";
    EXPECT_EQ(V_memcmp("ab", "ac", 2), -1);

    char buf[8] = "abcdef";
    V_memmove(buf + 1, buf, 4);
    EXPECT_STREQ(buf, "aabcdf");
    V_memset(buf, 'x', -1);
    V_memcpy(buf, "zz", 0);
    EXPECT_STREQ(buf, "aabcdf");
    V_memset(buf, 'x', 2);
    V_memcpy(buf + 2, "yy", 2);
    EXPECT_STREQ(V_strcpy(buf + 6, "q"), "q");
    EXPECT_STREQ(buf, "xxyydfq");
}

TEST(StrToolsTest, PointerChecksReportWithoutChangingResults) {
    int before = HostTier0_InvalidPointerReports();
    EXPECT_EQ(V_strncmp(nullptr, "a", 0), 0);
    EXPECT_EQ(HostTier0_InvalidPointerReports(), before + 1);
}
