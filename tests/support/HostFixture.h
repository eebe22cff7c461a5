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
#include "support/LoadedLibrary.h"

using Lines = std::vector<std::string>;

std::string BinDir();
std::string GameDir();
std::string PluginPath();

// The exported `name` of the loaded plugin, as LoadedSymbol gives it.
template <typename T = void*>
T PluginSymbol(const char* name) {
    return LoadedSymbol<T>(PluginPath(), name);
}

// A fresh game directory under the test's temporary directory (a unique name made by
// mkdtemp): bin/server_i486.so (or _amd64) links to the built game library, and each (relative
// path, content) pair becomes a file. The directory is removed when the test ends.
std::string MakeGameDir(const std::vector<std::pair<std::string, std::string>>& files = {});

// The host program run as an operator runs it, on the demo game directory: its exit
// status and everything it wrote to standard output and standard error.
struct ProgramRun {
    int status;
    std::string out, err;
};
// Runs vlhost with `arguments` (shell words) and `input` on standard input. The files
// are named after the process, as tests may run side by side.
ProgramRun RunHostProgram(const std::string& arguments, const std::string& input = "");

class HostTest : public ::testing::Test {
protected:
    // Starts the engine with `options` (the game directory defaults to the demo's).
    void StartEngine(HostOptions options = HostOptions());
    // Starts the engine and loads the plugin; fails the test when either fails.
    void StartWithPlugin(HostOptions options = HostOptions());
    // Runs one console line and returns the lines it printed.
    Lines Run(const std::string& line);
    void TearDown() override;

    CHostEngine& host = CHostEngine::Instance();
    ConsoleCapture console;

private:
    ArrayLeakCheck arrays_;  // checked once the engine has unloaded everything
};
