// DebugMsg's leveled lines, on the console and in the server log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/VorlaneUtilsPlugin.h"
#include "support/ConsoleCapture.h"
#include "support/FakeEngine.h"

namespace {

TEST(DebugMsg, LevelsLabelTheLineOnConsoleAndLog) {
    FakeEngine recorder;
    ConsoleCapture console;
    DebugMsg(0, "Plugin Loaded");
    DebugMsg(1, "careful");
    DebugMsg(2, "broken");
    DebugMsg(3, "very broken");
    DebugMsg(4, "never");
    DebugMsg(-1, "never");

    EXPECT_EQ(console.Text(), "Plugin Loaded\nWarning : careful\nError : broken\nFatal Error : very broken\n");
    const std::vector<std::string> expected = {"Plugin Loaded\n", "Warning : careful\n", "Error : broken\n",
                                               "Fatal Error : very broken\n"};
    EXPECT_EQ(recorder.log, expected);
}

TEST(DebugMsg, WithoutEngineWritesConsoleOnly) {
    engine = nullptr;
    ConsoleCapture console;
    DebugMsg(3, "Required interfaces failed to Load");
    EXPECT_EQ(console.Text(), "Fatal Error : Required interfaces failed to Load\n");
}

TEST(DebugMsg, TextIsNeverAFormatAndLongTextIsCut) {
    engine = nullptr;
    ConsoleCapture console;
    DebugMsg(0, "100%s %n %d");
    EXPECT_EQ(console.Text(), "100%s %n %d\n");
    // "Warning : " and the line feed leave 1012 of the 1023 characters for the text.
    const struct {
        size_t length;
        size_t shown;
    } cases[] = {{1011, 1011}, {1012, 1012}, {1013, 1012}, {5000, 1012}};
    for (const auto& c : cases) {
        console.Clear();
        DebugMsg(1, std::string(c.length, 'x').c_str());
        EXPECT_EQ(console.Text(), "Warning : " + std::string(c.shown, 'x') + "\n") << c.length;
    }
}

}  // namespace
