#include "tier1/UtlCharConversion.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <utility>

#include "support/BufferState.h"
#include "support/ExactBuffer.h"
#include "tier1/UtlBuffer.h"

namespace {

typedef CUtlBuffer B;

// FindConversion's character and the length it gives (-1 when it leaves the length alone).
std::pair<char, int> Find(CUtlCharConversion* conv, const char* text) {
    int length = -1;
    const char c = conv->FindConversion(text, &length);
    return {c, length};
}

// The read state (BufferState.h) after GetDelimitedString into 64 bytes that held "untouched".
std::string GetDelimited(CUtlBuffer& b, CUtlCharConversion* conv, int maxChars) {
    char dest[64] = "untouched";
    b.GetDelimitedString(conv, dest, maxChars);
    return ReadState(dest, b);
}

}  // namespace

TEST(UtlCharConversionTest, CStringConversionHasElevenBackslashEscapes) {
    CUtlCharConversion* conv = GetCStringCharConversion();
    EXPECT_EQ(conv->GetEscapeChar(), '\\');
    EXPECT_STREQ(conv->GetDelimiter(), "\"");
    EXPECT_EQ(conv->GetDelimiterLength(), 1);
    EXPECT_EQ(conv->MaxConversionLength(), 1);
    const char actual[] = "\n\t\v\b\r\f\a\\?'\"";
    const char replacement[] = "ntvbrfa\\?'\"";
    for (int i = 0; i < 11; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(conv->GetConversionLength(actual[i]), 1);
        EXPECT_EQ(std::string(conv->GetConversionString(actual[i])), std::string(1, replacement[i]));
        EXPECT_EQ(Find(conv, &replacement[i]), std::make_pair(actual[i], 1));
    }
    EXPECT_EQ(conv->GetConversionLength('a'), 0);
    EXPECT_EQ(conv->GetConversionString('a'), nullptr);
    EXPECT_EQ(conv->GetConversionLength('\xff'), 0);
    EXPECT_EQ(Find(conv, "q"), std::make_pair('\0', 0));
    EXPECT_EQ(Find(conv, "\xff"), std::make_pair('\0', 0));

    CUtlCharConversion* noEsc = GetNoEscCharConversion();
    EXPECT_EQ(noEsc->GetEscapeChar(), '\x7f');
    EXPECT_STREQ(noEsc->GetDelimiter(), "\"");
    EXPECT_EQ(noEsc->MaxConversionLength(), 0);
    EXPECT_EQ(noEsc->GetConversionLength('\x7f'), 0);
    EXPECT_EQ(Find(noEsc, ""), std::make_pair('\0', 0));
}

TEST(UtlCharConversionTest, BaseConversionTakesFirstMatchInRegistrationOrder) {
    CUtlCharConversion::ConversionArray_t rows[] = {{'&', "amp"}, {'!', "a"}, {'\xff', "never"}, {'<', nullptr}};
    CUtlCharConversion conv('%', nullptr, 4, rows);
    EXPECT_EQ(conv.MaxConversionLength(), 3);
    EXPECT_EQ(conv.GetDelimiterLength(), 0);
    EXPECT_EQ(conv.GetConversionLength('\xff'), 0);  // code 255 is never registered
    EXPECT_EQ(Find(&conv, "amp;"), std::make_pair('&', 3));
    EXPECT_EQ(Find(&conv, "ax"), std::make_pair('!', 1));
    EXPECT_EQ(Find(&conv, "zz"), std::make_pair('<', 0));  // its empty replacement matches anything

    CUtlCharConversion::ConversionArray_t reversed[] = {{'!', "a"}, {'&', "amp"}};
    CUtlCharConversion shortFirst('%', "'", 2, reversed);
    EXPECT_EQ(Find(&shortFirst, "amp"), std::make_pair('!', 1));
}

TEST(UtlCharConversionTest, CStringDelimitedStringsRoundTrip) {
    CUtlCharConversion* conv = GetCStringCharConversion();
    CUtlBuffer b(0, 0, B::BUFFER_TEXT);
    b.PutDelimitedString(conv, "a\nb\"\\");
    EXPECT_EQ(BufferData(b), "\"a\\nb\\\"\\\\\"");  // 10 bytes
    EXPECT_EQ(b.PeekDelimitedStringLength(conv, true), 6);
    EXPECT_EQ(b.PeekDelimitedStringLength(conv, false), 11);
    EXPECT_EQ(GetDelimited(b, conv, 16), "a\nb\"\\|10|ok");

    CUtlBuffer other(0, 0, B::BUFFER_TEXT);
    other.PutDelimitedString(conv, nullptr);
    other.PutDelimitedChar(conv, '\t');
    other.PutDelimitedString(conv, "\xff");
    EXPECT_EQ(BufferData(other), "\"\"\\t\"\xff\"");
    EXPECT_EQ(other.GetDelimitedChar(conv), '"');
    other.SeekGet(B::SEEK_FROM_HEAD, 2);
    EXPECT_EQ(other.GetDelimitedChar(conv), '\t');
}

TEST(UtlCharConversionTest, DelimitedReadsHandleBadEscapesLimitsAndMissingDelimiters) {
    CUtlCharConversion* conv = GetCStringCharConversion();
    char dest[16];
    ExactBuffer unknown("\"a\\qb\"");
    unknown.buf.GetDelimitedString(conv, dest, sizeof(dest));
    EXPECT_EQ(std::string(dest, 5), std::string("a\0qb\0", 5));
    EXPECT_EQ(unknown.buf.TellGet(), 6);

    ExactBuffer limited("\"abcdef\"x");
    memset(dest, '#', sizeof(dest));
    limited.buf.GetDelimitedString(conv, dest, 4);
    EXPECT_STREQ(dest, "abc");
    EXPECT_EQ(dest[4], '#') << "nothing is written past maxChars";
    EXPECT_EQ(limited.buf.TellGet(), 8);

    ExactBuffer spaced("  \"ab\\n\"");
    EXPECT_EQ(spaced.buf.PeekDelimitedStringLength(conv, true), 4);
    EXPECT_EQ(spaced.buf.PeekDelimitedStringLength(conv, false), 7);
    EXPECT_EQ(spaced.buf.TellGet(), 0);

    ExactBuffer bare("  abc");
    EXPECT_EQ(bare.buf.PeekDelimitedStringLength(conv), 0);
    EXPECT_EQ(GetDelimited(bare.buf, conv, 16), "untouched|2|ok");

    ExactBuffer open("\"ab");
    EXPECT_EQ(GetDelimited(open.buf, conv, 16), "ab|3|get overflow");
    EXPECT_EQ(GetDelimited(open.buf, conv, 16), "|3|get overflow");  // not valid: empty result

    ExactBuffer escapedEnd("\"a\\");  // the escape is the last byte
    EXPECT_EQ(GetDelimited(escapedEnd.buf, conv, 16), "a|3|get overflow");

    ExactBuffer high("\"\\\xff\"");
    high.buf.GetDelimitedString(conv, dest, sizeof(dest));
    EXPECT_EQ(std::string(dest, 3), std::string("\0\xff\0", 3));
}

TEST(UtlCharConversionTest, MeasuredRoomHoldsAnyDelimitedRead) {
    // Unlimited reads into exactly the room PeekDelimitedStringLength measured, for
    // strings closed, cut off by the end, and cut off right after an escape.
    const char* texts[] = {"\"ab\\n\"", "\"ab", "\"ab\\", "\"", ""};
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        ExactBuffer src(text);
        int room = src.buf.PeekDelimitedStringLength(GetCStringCharConversion(), true);
        std::string dest(static_cast<size_t>(room) + 4, 'z');
        src.buf.GetDelimitedString(GetCStringCharConversion(), &dest[0], 0);
        if (room > 0) {
            EXPECT_EQ(dest.substr(static_cast<size_t>(room)), "zzzz");
            EXPECT_EQ(dest[static_cast<size_t>(room) - 1], '\0');
        }
    }
}

TEST(UtlCharConversionTest, NoEscConversionTreatsBackslashAsText) {
    CUtlCharConversion* conv = GetNoEscCharConversion();
    char dest[16];
    ExactBuffer slash("\"a\\\"rest");
    EXPECT_EQ(slash.buf.PeekDelimitedStringLength(conv, true), 3);
    EXPECT_EQ(GetDelimited(slash.buf, conv, 16), "a\\|4|ok");

    ExactBuffer del("\"x\x7fy\"");
    del.buf.GetDelimitedString(conv, dest, sizeof(dest));
    EXPECT_EQ(std::string(dest, 4), std::string("x\0y\0", 4));

    CUtlBuffer out(0, 0, B::BUFFER_TEXT);
    out.PutDelimitedString(conv, "\x7f\\\n");
    EXPECT_EQ(BufferData(out), "\"\x7f\\\n\"");
}

TEST(UtlCharConversionTest, MultiCharacterEscapeNearEndIsNotOverread) {
    CUtlCharConversion::ConversionArray_t rows[] = {{'&', "amp"}};
    CUtlCharConversion conv('\\', "\"", 1, rows);
    char dest[16];
    ExactBuffer cut("\"x\\am");  // an escape with only two of its three characters
    EXPECT_EQ(cut.buf.PeekDelimitedStringLength(&conv, true), 5);
    cut.buf.GetDelimitedString(&conv, dest, sizeof(dest));
    EXPECT_EQ(std::string(dest, 4), std::string("x\0am", 4));
    EXPECT_EQ(cut.buf.GetErrorBits(), B::ERROR_GET_OVERFLOW);

    ExactBuffer whole("\"\\amp\"");
    EXPECT_EQ(GetDelimited(whole.buf, &conv, 16), "&|6|ok");
}

TEST(UtlCharConversionTest, DelimitedOperationsFallBackOutsideTextMode) {
    CUtlCharConversion* conv = GetCStringCharConversion();
    CUtlBuffer binary;
    binary.PutDelimitedString(conv, "a\"b");
    binary.PutDelimitedChar(conv, '\n');
    EXPECT_EQ(BufferData(binary), std::string("a\"b\0\n", 5));
    EXPECT_EQ(binary.PeekDelimitedStringLength(conv), 4);
    EXPECT_EQ(GetDelimited(binary, conv, 8), "a\"b|4|ok");
    EXPECT_EQ(binary.GetDelimitedChar(conv), '\n');

    CUtlBuffer text(0, 0, B::BUFFER_TEXT);
    text.PutDelimitedString(nullptr, "a\"b");
    EXPECT_EQ(BufferData(text), "a\"b");
}

TEST(UtlCharConversionTest, DelimitedWritesGetAutomaticTabs) {
    CUtlCharConversion* conv = GetCStringCharConversion();
    CUtlBuffer b(0, 0, B::BUFFER_TEXT);
    b.PushTab();
    b.PutChar('\n');
    b.PutDelimitedString(conv, "a\nb");
    b.PutChar('\n');
    b.PutDelimitedChar(conv, 'c');
    EXPECT_EQ(BufferData(b), "\n\t\"a\\nb\"\n\tc");

    char block[2];
    CUtlBuffer full(block, 2, B::BUFFER_TEXT);
    full.PutDelimitedString(conv, "\n");  // the escape fits, its replacement does not
    EXPECT_EQ(std::string(block, 2), "\"\\");
    EXPECT_EQ(full.GetErrorBits(), B::ERROR_PUT_OVERFLOW);
}

// The plain runs of a delimited string are taken sixteen bytes at a time: whatever needs
// a closer look (an escape, the byte 127 of the no-escape scheme, a 0 byte, the closing
// delimiter) is found at every offset around those steps, and a limit that falls inside
// a run keeps exactly maxChars - 1 characters.
TEST(UtlCharConversionTest, DelimitedStringsDecodeAtEveryOffset) {
    struct Special {
        CUtlCharConversion* conv;
        std::string text;     // written after the leading run
        std::string decoded;  // what it reads as
    };
    const Special specials[] = {
        {GetCStringCharConversion(), "\\n", "\n"},
        {GetCStringCharConversion(), "\\q", std::string(1, '\0') + "q"},
        {GetCStringCharConversion(), "\\\"", "\""},
        {GetNoEscCharConversion(), "\\", "\\"},
        {GetNoEscCharConversion(), "\x7f", std::string(1, '\0')},
        {GetNoEscCharConversion(), std::string(1, '\0'), std::string(1, '\0')},
        {GetNoEscCharConversion(), "", ""},
    };
    for (int offset : {0, 1, 14, 15, 16, 17, 30, 31, 32, 33}) {
        for (const Special& special : specials) {
            const std::string lead(static_cast<size_t>(offset), 'a');
            const std::string text = "\"" + lead + special.text + "bcdefghijklmnopqrstu\" rest";
            const std::string want = lead + special.decoded + "bcdefghijklmnopqrstu";
            // Limits inside the leading run, and one that holds the whole string (128).
            for (int limit : {offset, offset + 1, offset + 2, 128}) {
                if (limit < 1) continue;
                const std::string kept = want.substr(0, static_cast<size_t>(limit - 1));
                ExactBuffer in(text);
                char dest[130];
                memset(dest, 'Z', sizeof(dest));
                in.buf.GetDelimitedString(special.conv, dest, limit);
                EXPECT_EQ(std::string(dest, kept.size() + 2), kept + '\0' + 'Z')
                    << "offset " << offset << " " << special.text << " limit " << limit;
                EXPECT_EQ(in.buf.TellGet(), static_cast<int>(text.size()) - 5);
                EXPECT_TRUE(in.buf.IsValid());
            }
        }
    }
}
