#include "support/HostFixture.h"

std::string BinDir() { return VL_BIN_DIR; }
std::string GameDir() { return VL_GAME_DIR; }
std::string PluginPath() { return BinDir() + "/vorlane_utils.so"; }

void HostTest::StartEngine(HostOptions options) {
    if (options.gameDir.empty()) options.gameDir = GameDir();
    ASSERT_TRUE(host.Start(options)) << console.Text();
}

void HostTest::StartWithPlugin(HostOptions options) {
    StartEngine(options);
    ASSERT_TRUE(host.LoadPlugin(PluginPath())) << console.Text();
}

void HostTest::TearDown() { host.Shutdown(); }
