// Console lines with untrusted text: which bytes are escaped, and how a long line is
// split into Msg calls without tearing an escape.
#include "tier1/ConsoleLine.h"

#include <gtest/gtest.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "support/ConsoleCapture.h"

namespace {

std::string Escaped(const std::string& text, bool escapeBackslash, size_t maxLength = SIZE_MAX) {
    ConsoleCapture console;
    {
        CConsoleLine line;
        line.AppendEscaped(text.c_str(), maxLength, escapeBackslash);
    }
    return console.Text();
}

TEST(ConsoleLine, EscapesEveryByteOutsidePrintableAscii) {
    struct Case {
        std::string text;
        bool escapeBackslash;
        std::string shown;
    } cases[] = {
        {"Plain name :: with spaces ~", false, "Plain name :: with spaces ~"},
        {std::string("\x1f\x20\x7e\x7f", 4), false, "\\x1F ~\\x7F"},
        {"\x80\xff\n\t\r", false, "\\x80\\xFF\\x0A\\x09\\x0D"},
        {"back\\slash", false, "back\\slash"},
        {"back\\slash", true, "back\\x5Cslash"},
        {"%s%n", true, "%s%n"},
    };
    for (const Case& c : cases) EXPECT_EQ(Escaped(c.text, c.escapeBackslash), c.shown) << c.text;

    // A zero byte or the length bound ends the text, whichever comes first.
    EXPECT_EQ(Escaped(std::string("ab\0cd", 5), false), "ab");
    EXPECT_EQ(Escaped("abcdef", false, 3), "abc");
    EXPECT_EQ(Escaped("ab", false, 3), "ab");
    EXPECT_EQ(Escaped("\n\n", false, 1), "\\x0A");
    EXPECT_EQ(Escaped("abc", false, 0), "");
}

TEST(ConsoleLine, LongLinesArePrintedWholeInPiecesCutBetweenEscapes) {
    const int room = CConsoleLine::kBufferSize - 1;  // 1023 bytes per Msg call
    struct Case {
        std::string text;            // appended escaped, after the label "L: "
        std::vector<size_t> pieces;  // the sizes of the Msg calls, "\n" included
    } cases[] = {
        {std::string(room - 4, 'a'), {1023}},                       // exact fit, line feed included
        {std::string(room - 3, 'a'), {1023, 1}},                    // one past: the line feed goes alone
        {std::string(1024, 'b'), {1023, 5}},                        // the longest name and more
        {std::string(255, '\x01'), {1023, 1}},                      // 3 + 255 * 4 = 1023 exactly
        {"ab" + std::string(255, '\x01'), {1021, 5}},               // the escape that does not fit moves on whole
        {std::string(1024, '\x02'), {1023, 1020, 1020, 1020, 17}},  // a record's longest signature
    };
    for (const Case& c : cases) {
        ConsoleCapture console;
        CConsoleLine line;
        line.Append("L: ");
        line.AppendEscaped(c.text.c_str(), SIZE_MAX);
        line.End();
        std::vector<size_t> sizes;
        for (const std::string& piece : console.Pieces()) sizes.push_back(piece.size());
        EXPECT_EQ(sizes, c.pieces) << c.text.size();
        EXPECT_EQ(console.Lines().size(), 1u);
        // Every piece but the last ends a whole escape or character: none ends inside one.
        for (size_t i = 0; i + 1 < console.Pieces().size(); ++i) {
            const std::string& piece = console.Pieces()[i];
            const size_t escape = piece.rfind('\\');
            EXPECT_TRUE(escape == std::string::npos || escape + 4 <= piece.size()) << "piece " << i << " torn";
        }
    }
}

TEST(ConsoleLine, ProgramTextsMayBeSplitAnywhereAndNothingIsLost) {
    ConsoleCapture console;
    const std::string fixed(3000, 'f');
    {
        CConsoleLine line;
        line.Append(fixed.c_str());
        line.Append(nullptr);
        line.AppendEscaped(nullptr, 10);
        line.End();
    }
    EXPECT_EQ(console.Text(), fixed + "\n");
    for (const std::string& piece : console.Pieces()) EXPECT_LE(piece.size(), 1023u);
    console.Clear();
    {
        CConsoleLine line;
        line.Append("unfinished");
    }
    EXPECT_EQ(console.Text(), "unfinished") << "what is held is printed when the line is dropped";
}

TEST(ConsoleLine, TheSpanEscaperFillsTheRoomWithWholePiecesOnly) {
    // Into exactly `room` bytes (a canary after them): what fits, then "|" and how much of
    // the text it stands for.
    auto escape = [](const char* text, size_t room) {
        std::string out(room + 1, '#');
        size_t consumed = 99;
        out.resize(EscapeConsoleText(text, SIZE_MAX, true, &out[0], room, &consumed) + 1);
        return out + "|" + std::to_string(consumed);
    };
    EXPECT_EQ(escape("\n", 3), "#|0");  // an escape needs four bytes
    EXPECT_EQ(escape("\n", 4), "\\x0A#|1");
    EXPECT_EQ(escape("ab\\", 5), "ab#|2");  // kept bytes fill up to the escape that does not fit
    EXPECT_EQ(escape("abc", 2), "ab#|2");
    EXPECT_EQ(escape("ab", 0), "#|0");
    size_t consumed = 99;
    EXPECT_EQ(EscapeConsoleText(nullptr, 5, false, nullptr, 0, &consumed), 0u);
    EXPECT_EQ(consumed, 0u);
}

}  // namespace
