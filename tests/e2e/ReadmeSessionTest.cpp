// The README's example sessions are run for real, so they cannot drift from what the
// host program prints. Each session is the fenced block after an "example-session"
// marker: a "$ printf '...' | ./scripts/run.sh" line, then the output, where "] text" lines are
// the typed console lines and a line "..." stands for any number of lines.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/HostFixture.h"

namespace {

using Lines = std::vector<std::string>;

// Every fenced block that follows an "example-session" marker, in order.
std::vector<Lines> ReadmeSessions() {
    std::ifstream in(VL_SOURCE_DIR "/README.md");
    std::string line;
    std::vector<Lines> blocks;
    bool marked = false, inside = false;
    while (std::getline(in, line)) {
        if (line.find("<!-- example-session") != std::string::npos) marked = true;
        if (!marked) continue;
        if (line.rfind("```", 0) == 0) {
            if (inside) {
                marked = inside = false;
                continue;
            }
            inside = true;
            blocks.emplace_back();
            continue;
        }
        if (inside) blocks.back().push_back(line);
    }
    return blocks;
}

// The lines a printf format of the README's command line produces.
Lines PrintfLines(const std::string& command) {
    const size_t open = command.find('\'');
    const size_t close = command.find('\'', open + 1);
    Lines lines;
    if (open == std::string::npos || close == std::string::npos) return lines;
    std::string text = command.substr(open + 1, close - open - 1), current;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            lines.push_back(current);
            current.clear();
            ++i;
        } else {
            current += text[i];
        }
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
}

// The session's output: what the host wrote, standard output then standard error.
Lines RunHost(const Lines& input) {
    std::string text;
    for (const std::string& line : input) text += line + "\n";
    const ProgramRun run = RunHostProgram("", text);
    std::istringstream lines(run.out + run.err);
    Lines output;
    for (std::string line; std::getline(lines, line);) output.push_back(line);
    return output;
}

// Whether `actual` matches `expected`, where an expected "..." matches any run of lines.
bool Matches(const Lines& expected, size_t e, const Lines& actual, size_t a) {
    if (e == expected.size()) return a == actual.size();
    if (expected[e] == "...") {
        for (size_t skip = a; skip <= actual.size(); ++skip) {
            if (Matches(expected, e + 1, actual, skip)) return true;
        }
        return false;
    }
    return a < actual.size() && expected[e] == actual[a] && Matches(expected, e + 1, actual, a + 1);
}

void CheckSession(const Lines& block) {
    ASSERT_GE(block.size(), 2u) << "an example session without output";
    ASSERT_EQ(block[0].rfind("$ printf '", 0), 0u) << block[0];
    ASSERT_NE(block[0].find("| ./scripts/run.sh"), std::string::npos) << block[0];
    const Lines input = PrintfLines(block[0]);
    Lines typed;
    for (size_t i = 1; i < block.size(); ++i) {
        if (block[i].rfind("] ", 0) == 0) typed.push_back(block[i].substr(2));
    }
    EXPECT_EQ(typed, input) << "every typed line of the command shows in the session";

    const Lines expected(block.begin() + 1, block.end());
    const Lines actual = RunHost(input);
    std::string shown;
    for (const std::string& line : actual) shown += line + "\n";
    EXPECT_TRUE(Matches(expected, 0, actual, 0)) << "the host printed:\n" << shown;
}

TEST(ReadmeExample, SessionsPrintWhatTheReadmeShows) {
    const std::vector<Lines> sessions = ReadmeSessions();
    ASSERT_GE(sessions.size(), 2u) << "README.md shows the commands session and the bots session";
    for (size_t i = 0; i < sessions.size(); ++i) {
        SCOPED_TRACE("example session " + std::to_string(i + 1));
        CheckSession(sessions[i]);
    }
}

}  // namespace
