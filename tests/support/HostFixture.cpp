#include "support/HostFixture.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

std::string BinDir() { return VL_BIN_DIR; }
std::string GameDir() { return VL_GAME_DIR; }
std::string PluginPath() { return BinDir() + "/vorlane_utils.so"; }

std::string MakeGameDir(const std::vector<std::pair<std::string, std::string>>& files) {
    static int counter = 0;
    const std::string dir =
        ::testing::TempDir() + "vlgame_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    // A directory left by an earlier process that had the same id is not ours to keep.
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/bin");
    std::filesystem::create_symlink(GameDir() + "/bin/server_i486.so", dir + "/bin/server_i486.so");
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

void HostTest::TearDown() { host.Shutdown(); }
