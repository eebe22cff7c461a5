// The host program: what an operator runs to try the plugin. It starts the simulated
// engine on a game directory, runs the game directory's "cfg/world.cfg" (the map),
// loads the plugin as the engine does, runs "cfg/server.cfg", then reads console lines
// from a script file or from standard input until the input ends or "quit".
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <iostream>
#include <string>

#include "host/engine/HostEngine.h"
#include "host/engine/HostInterfaces.h"
#include "host/tier0/HostTier0.h"
#include "tier0/dbg.h"

namespace {

void Usage() {
    fprintf(stderr,
            "usage: vlhost [options]\n"
            "  --game DIR          game directory (holds bin/server_i486.so)\n"
            "  --plugin PATH       plugin library (default: vorlane_utils.so beside vlhost)\n"
            "  --maxclients N      player slots (default 8)\n"
            "  --seed N            seed of every random stream (default 1)\n"
            "  --cmdline TEXT      the process command line the runtime reports\n"
            "                      (\"-allowdebug -vl_sigscan_fallback\": parameters after \"vlhost\")\n"
            "  --omit VERSION      refuse this interface version to the plugin (repeatable)\n"
            "  --description TEXT  the game description the game library reports\n"
            "  --developer N       developer message level (default 1)\n"
            "  --log FILE          also append the server log to FILE\n"
            "  --cpu-features N    the processor feature byte the runtime reports (0x08 SSE,\n"
            "                      0x10 SSE2, 0x20 3DNow, 0x40 MMX; default: this processor's)\n"
            "  --script FILE       read console lines from FILE instead of standard input\n");
}

std::string DefaultPluginPath(const char* argv0) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    std::string path = n > 0 ? std::string(self, n) : std::string(argv0);
    size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/vorlane_utils.so";
}

}  // namespace

int main(int argc, char** argv) {
    HostOptions options;
    options.gameDir = ".";
    std::string pluginPath = DefaultPluginPath(argv[0]);
    std::string script;
    for (int i = 1; i < argc; ++i) {
        std::string opt = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                Usage();
                exit(2);
            }
            return argv[++i];
        };
        if (opt == "--help" || opt == "-h") {
            Usage();
            return 0;
        } else if (opt == "--game")
            options.gameDir = value();
        else if (opt == "--plugin")
            pluginPath = value();
        else if (opt == "--maxclients")
            options.maxClients = atoi(value());
        else if (opt == "--seed")
            options.seed = strtoul(value(), nullptr, 10);
        else if (opt == "--cmdline")
            options.commandLine = value();
        else if (opt == "--omit")
            options.omit.insert(value());
        else if (opt == "--description")
            options.gameDescription = value();
        else if (opt == "--developer")
            HostTier0_SetDeveloperLevel(atoi(value()));
        else if (opt == "--log")
            options.logFile = value();
        else if (opt == "--cpu-features")
            HostTier0_SetCPUFeatures(static_cast<unsigned char>(strtoul(value(), nullptr, 0)));
        else if (opt == "--script")
            script = value();
        else {
            Usage();
            return 2;
        }
    }
    // A command line's first word is the program; parameters given alone follow "vlhost".
    if (options.commandLine.empty() || options.commandLine[0] == '-')
        options.commandLine = "vlhost " + options.commandLine;

    CHostEngine& host = CHostEngine::Instance();
    if (!host.Start(options)) return 1;
    host.ExecuteFile(options.gameDir + "/cfg/world.cfg");  // the map: walls and spawn points
    host.LoadPlugin(pluginPath);
    host.ExecuteFile(options.gameDir + "/cfg/server.cfg");

    FILE* input = stdin;
    if (!script.empty()) {
        input = fopen(script.c_str(), "r");
        if (!input) {
            Msg("host: cannot read script %s\n", script.c_str());
            host.Shutdown();
            return 1;
        }
    }
    const bool interactive = script.empty() && isatty(fileno(stdin));
    char* line = nullptr;
    size_t capacity = 0;
    while (true) {
        if (interactive) {
            fputs("] ", stdout);
            fflush(stdout);
        }
        ssize_t length = getline(&line, &capacity, input);
        if (length < 0) break;
        std::string text(line, length);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        if (!script.empty() || !interactive) Msg("] %s\n", text.c_str());
        if (!host.ExecuteLine(text)) break;
    }
    free(line);
    if (input != stdin) fclose(input);
    host.Shutdown();
    return 0;
}
