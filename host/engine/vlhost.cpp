// The host program: what an operator runs to try the plugin. It starts the simulated
// engine on a game directory, runs the game directory's "cfg/world.cfg" (the map),
// loads the plugin as the engine does, runs "cfg/server.cfg", then reads console lines
// from a script file or from standard input until the input ends or "quit". At a
// terminal the lines are edited, with history and completion (HostLineEditor.h).
//
// Exit status: 0 after the console input ends; 1 when the server cannot start (the game
// library, the plugin or the script file cannot be loaded); 2 for a bad command line,
// which is named on standard error. --help prints the options on standard output.
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "host/engine/HostEngine.h"
#include "host/engine/HostInterfaces.h"
#include "host/engine/HostLineEditor.h"
#include "host/tier0/HostTier0.h"
#include "tier0/dbg.h"

namespace {

const int kMaxPlayerSlots = 64;

void Usage(FILE* out) {
    fprintf(out,
            "usage: vlhost [options]\n"
            "  --game DIR          game directory (holds bin/server" VL_MODULE_SUFFIX "; default: the\n"
            "                      current directory)\n"
            "  --plugin PATH       plugin library (default: vorlane_utils.so beside vlhost,\n"
            "                      else DIR/addons/vorlane/vorlane_utils.so)\n"
            "  --maxclients N      player slots, 1 to 64 (default 8)\n"
            "  --seed N            seed of every random stream, 0 to 4294967295 (default 1)\n"
            "  --cmdline TEXT      the process command line the runtime reports\n"
            "                      (\"-allowdebug -vl_sigscan_fallback\": parameters after \"vlhost\")\n"
            "  --omit VERSION      refuse this interface version to the plugin (repeatable)\n"
            "  --description TEXT  the game description the game library reports\n"
            "  --developer N       developer message level, 0 or more (default 1)\n"
            "  --log FILE          also append the server log to FILE\n"
            "  --cpu-features N    the processor feature byte the runtime reports, 0 to 255\n"
            "                      (0x08 SSE, 0x10 SSE2, 0x20 3DNow, 0x40 MMX; default: this\n"
            "                      processor's)\n"
            "  --script FILE       read console lines from FILE instead of standard input\n"
            "  --help              show this and exit\n"
            "exit status: 0 when the console input ends, 1 when the game library, the plugin\n"
            "or the script cannot be loaded, 2 for a bad command line\n");
}

// Reads `text` as a whole number from `min` to `max`: digits only (base 10, or with
// `anyBase` also 0x... and 0... as strtoll reads them), no sign, no spaces.
bool ParseNumber(const char* text, bool anyBase, long long min, long long max, long long* value) {
    if (text[0] < '0' || text[0] > '9') return false;
    char* end = nullptr;
    errno = 0;
    const long long parsed = strtoll(text, &end, anyBase ? 0 : 10);
    if (errno != 0 || *end != '\0' || parsed < min || parsed > max) return false;
    *value = parsed;
    return true;
}

std::string Directory(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// vorlane_utils.so beside vlhost when there is one (the build tree), otherwise the
// game directory's addons/vorlane/vorlane_utils.so (the installed layout, and where a
// server loads it from).
std::string DefaultPluginPath(const char* argv0, const std::string& gameDir) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    const std::string beside = Directory(n > 0 ? std::string(self, n) : std::string(argv0)) + "/vorlane_utils.so";
    if (access(beside.c_str(), F_OK) == 0) return beside;
    return gameDir + "/addons/vorlane/vorlane_utils.so";
}

}  // namespace

int main(int argc, char** argv) {
    HostOptions options;
    options.gameDir = ".";
    std::string pluginPath;
    std::string script;
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                fprintf(stderr, "vlhost: option %s needs a value\n", opt.c_str());
                exit(2);
            }
            return argv[++i];
        };
        auto number = [&](bool anyBase, long long min, long long max, const char* expected) {
            const char* text = value();
            long long parsed = 0;
            if (!ParseNumber(text, anyBase, min, max, &parsed)) {
                fprintf(stderr, "vlhost: bad value \"%s\" for %s: expected %s\n", text, opt.c_str(), expected);
                exit(2);
            }
            return parsed;
        };
        if (opt == "--help" || opt == "-h") {
            Usage(stdout);
            return 0;
        } else if (opt == "--game") {
            options.gameDir = value();
        } else if (opt == "--plugin") {
            pluginPath = value();
        } else if (opt == "--maxclients") {
            options.maxClients = static_cast<int>(number(false, 1, kMaxPlayerSlots, "a whole number from 1 to 64"));
        } else if (opt == "--seed") {
            options.seed = static_cast<unsigned int>(number(false, 0, UINT_MAX, "a whole number from 0 to 4294967295"));
        } else if (opt == "--cmdline") {
            options.commandLine = value();
        } else if (opt == "--omit") {
            options.omit.insert(value());
        } else if (opt == "--description") {
            options.gameDescription = value();
        } else if (opt == "--developer") {
            HostTier0_SetDeveloperLevel(static_cast<int>(number(false, 0, INT_MAX, "a whole number, 0 or more")));
        } else if (opt == "--log") {
            options.logFile = value();
        } else if (opt == "--cpu-features") {
            HostTier0_SetCPUFeatures(static_cast<unsigned char>(number(true, 0, 255, "a number from 0 to 255 (0xff)")));
        } else if (opt == "--script") {
            script = value();
        } else {
            fprintf(stderr, "vlhost: unknown option \"%s\" (vlhost --help lists the options)\n", opt.c_str());
            return 2;
        }
    }
    if (pluginPath.empty()) pluginPath = DefaultPluginPath(argv[0], options.gameDir);
    // A command line's first word is the program; parameters given alone follow "vlhost".
    if (options.commandLine.empty() || options.commandLine[0] == '-')
        options.commandLine = "vlhost " + options.commandLine;

    FILE* input = stdin;
    if (!script.empty()) {
        input = fopen(script.c_str(), "r");
        if (!input) {
            fprintf(stderr, "vlhost: cannot read script %s: %s\n", script.c_str(), strerror(errno));
            return 1;
        }
    }
    // Closes the script file, if one was opened, and gives the exit status.
    auto stop = [&](int status) {
        if (input != stdin) fclose(input);
        return status;
    };

    CHostEngine& host = CHostEngine::Instance();
    if (!host.Start(options)) {
        fflush(stdout);  // the console's lines first, when both go to one place
        fprintf(stderr, "vlhost: the server did not start on game directory %s\n", options.gameDir.c_str());
        return stop(1);
    }
    host.ExecuteFile(options.gameDir + "/cfg/world.cfg");  // the map: walls and spawn points
    if (!host.LoadPlugin(pluginPath)) {
        fflush(stdout);
        fprintf(stderr, "vlhost: the plugin %s did not load\n", pluginPath.c_str());
        host.Shutdown();
        return stop(1);
    }
    host.ExecuteFile(options.gameDir + "/cfg/server.cfg");

    const bool interactive = script.empty() && isatty(fileno(stdin));
    // A person at a terminal edits lines; Ctrl-C and Ctrl-D end the console as "quit".
    CHostLineEditor editor;
    if (interactive && isatty(fileno(stdout)) &&
        editor.Open(HostHistoryPath(options.gameDir), [&host] { return host.ConsoleNames(); })) {
        std::string text;
        while (editor.ReadLine(&text) && host.ExecuteLine(text)) {
        }
        host.Shutdown();
        return stop(0);
    }
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
    host.Shutdown();
    return stop(0);
}
