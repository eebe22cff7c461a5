// Starts the simulated engine on the built demo game directory and loads the built
// plugin into it with dlopen, as the engine does. Paths are the build tree's, compiled in.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "host/engine/HostEngine.h"
#include "support/ArrayAllocations.h"
#include "support/ConsoleCapture.h"

std::string BinDir();
std::string GameDir();
std::string PluginPath();

// A fresh game directory under the test's temporary directory (a unique name made by
// mkdtemp): bin/server_i486.so links to the built game library, and each (relative
// path, content) pair becomes a file. The directory is removed when the test ends.
std::string MakeGameDir(const std::vector<std::pair<std::string, std::string>>& files = {});

class HostTest : public ::testing::Test {
protected:
    // Starts the engine with `options` (the game directory defaults to the demo's).
    void StartEngine(HostOptions options = HostOptions());
    // Starts the engine and loads the plugin; fails the test when either fails.
    void StartWithPlugin(HostOptions options = HostOptions());
    void TearDown() override;

    CHostEngine& host = CHostEngine::Instance();
    ConsoleCapture console;

private:
    ArrayLeakCheck arrays_;  // checked once the engine has unloaded everything
};
