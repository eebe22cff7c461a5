#include "support/HostFixture.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

std::string BinDir() { return VL_BIN_DIR; }
std::string GameDir() { return VL_GAME_DIR; }
std::string PluginPath() { return BinDir() + "/vorlane_utils.so"; }

namespace {

// Removes the game directories made during a test when the test ends (after its
// TearDown, so the engine has let go of them), and any left at the end of the program.
class GameDirCleaner final : public ::testing::EmptyTestEventListener {
public:
    static std::vector<std::string>& Made() {
        static std::vector<std::string> made;
        return made;
    }
    static void RemoveAll() {
        for (const std::string& dir : Made()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        }
        Made().clear();
    }
    void OnTestEnd(const ::testing::TestInfo&) override { RemoveAll(); }
    void OnTestProgramEnd(const ::testing::UnitTest&) override { RemoveAll(); }
};

void Remember(const std::string& dir) {
    // The listener list owns the cleaner; it is added once, on first use.
    static const bool added = [] {
        ::testing::UnitTest::GetInstance()->listeners().Append(new GameDirCleaner);
        return true;
    }();
    (void)added;
    GameDirCleaner::Made().push_back(dir);
}

}  // namespace

std::string MakeGameDir(const std::vector<std::pair<std::string, std::string>>& files) {
    // mkdtemp picks a name no other process holds, so a reused process id cannot collide
    // with a directory some earlier run left behind.
    std::string pattern = ::testing::TempDir() + "vlgame_XXXXXX";
    if (!mkdtemp(&pattern[0])) {
        ADD_FAILURE() << "cannot make a game directory from " << pattern;
        return pattern;
    }
    const std::string dir = pattern;
    Remember(dir);
    std::filesystem::create_directories(dir + "/bin");
    std::filesystem::create_symlink(GameDir() + "/bin/server" VL_MODULE_SUFFIX, dir + "/bin/server" VL_MODULE_SUFFIX);
    for (const auto& file : files) {
        const std::filesystem::path path = dir + "/" + file.first;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << file.second;
    }
    return dir;
}

void HostTest::StartEngine(HostOptions options) {
    if (options.gameDir.empty()) options.gameDir = GameDir();
    ASSERT_TRUE(host.Start(options)) << console.Text();
}

void HostTest::StartWithPlugin(HostOptions options) {
    StartEngine(options);
    ASSERT_TRUE(host.LoadPlugin(PluginPath())) << console.Text();
}

Lines HostTest::Run(const std::string& line) {
    console.Clear();
    host.ExecuteLine(line);
    return console.Lines();
}

void HostTest::TearDown() {
    host.Shutdown();
    // The plugin's static objects (variable texts, the table's signatures) are released
    // when the engine closes the library.
    EXPECT_EQ(arrays_.Live(), 0) << "new[] blocks left after the plugin was unloaded";
}

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

ProgramRun RunHostProgram(const std::string& arguments, const std::string& input) {
    const std::string base = ::testing::TempDir() + "vlhost_run_" + std::to_string(getpid());
    std::ofstream(base + ".in") << input;
    const std::string command = std::string(VL_BIN_DIR) + "/vlhost --game " + VL_GAME_DIR + " " + arguments + " <" +
                                base + ".in >" + base + ".out 2>" + base + ".err";
    const int status = system(command.c_str());
    ProgramRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(base + ".out"), ReadFile(base + ".err")};
    for (const char* suffix : {".in", ".out", ".err"}) remove((base + suffix).c_str());
    return run;
}
