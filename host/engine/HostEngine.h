// The simulated game server engine: the engine interfaces the plugin requests, player
// slots and edicts, a file system rooted at the game directory, the server log, a
// seedable random stream, traces against a small world of boxes, the host console, and
// the loading of the game server library and the plugin the way the real engine does.
// There is one engine per process; time advances only when a frame runs.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "host/engine/ModuleSymbols.h"
#include "host/game/HostGame.h"
#include "engine/EngineInterfaces.h"
#include "engine/IServerPluginCallbacks.h"

struct HostOptions {
    std::string gameDir;
    int maxClients = 8;
    std::string commandLine;      // the process command line the runtime reports
    unsigned int seed = 1;        // seeds every random stream
    std::set<std::string> omit;   // version strings both factories refuse
    std::string gameDescription;  // empty keeps the game library's own
    std::string logFile;          // the server log is also appended here when set
    std::string gameLibrary;      // empty: "<gameDir>/bin/server_i486.so" (_amd64 on x86-64)
};

// The traces the plugin asked for: how many, and what the last one passed. The filter
// is asked, during the trace, what it says of an entity and which trace type it is.
struct HostTraceRecord {
    int count = 0;
    Ray_t lastRay = {};
    unsigned int lastMask = 0;
    bool lastFilterGiven = false;
    bool lastFilterHitsEntities = false;
    int lastFilterType = -1;
};

// One lookup made through a factory handed to the plugin.
struct InterfaceRequest {
    std::string name;
    bool fromGameServer;
    bool answered;
};

class CHostEngine {
public:
    static CHostEngine& Instance();

    // Sets up slots and globals and loads the game server library (normally
    // "<gameDir>/bin/server_i486.so"). Prints one line and returns false when the game
    // library cannot be loaded.
    bool Start(const HostOptions& options);
    // Unloads the plugin (if any) and the game library.
    void Shutdown();

    // dlopen, CreateInterface("ISERVERPLUGINCALLBACKS001"), then Load with the engine's
    // and the game server's factories. On any failure prints one line, unloads what it
    // opened and returns false.
    bool LoadPlugin(const std::string& path);
    // Unload, then the console forgets the plugin's objects (those flagged 0x40000 by
    // the plugin's registration), then dlclose.
    void UnloadPlugin();
    IServerPluginCallbacks* Plugin() const { return plugin_; }
    // The loaded plugin's full symbol table (empty when none is loaded or it cannot be
    // read): how the host and the tests look at state the plugin does not export.
    const CModuleSymbols& PluginSymbols() const { return pluginSymbols_; }

    // Connects a client to the lowest free player slot; returns the slot, or 0 when the
    // server is full.
    int AddClient(const char* name, const char* networkId, bool fakeClient);
    void RemoveClient(int slot);
    edict_t* Edict(int index);
    int UserIdOf(int slot) const;

    // Advances time by one tick per frame and calls the game's and plugin's frames.
    void RunFrames(int count);

    // Runs one console line: ";" separates commands, double quotes group words, and a
    // line starting with "//" is a comment. Returns false after "quit".
    bool ExecuteLine(const std::string& line);
    // Runs every line of a file; false when it cannot be read.
    bool ExecuteFile(const std::string& path);

    void AddWorldBox(const Vector& mins, const Vector& maxs);
    // A trace the plugin made through the engine trace interface: recorded, then swept.
    void PluginTrace(const Ray_t& ray, unsigned int mask, ITraceFilter* filter, trace_t* result);
    const HostTraceRecord& Traces() const { return traces_; }

    IHostGame* Game() const { return game_; }
    ServerGlobals& Globals() { return globals_; }
    const std::vector<std::string>& LogLines() const { return log_; }
    const std::vector<InterfaceRequest>& Requests() const { return requests_; }
    const HostOptions& Options() const { return options_; }

    // Engine-side entry points of the interface objects.
    void* Lookup(const char* name, bool fromGameServer, bool forPlugin, int* returnCode);
    void Log(const char* text);
    const std::vector<std::string>& Args() const { return args_; }
    bool TraceBox(const Ray_t& ray, trace_t* result) const;
    IHostEngine* HostServices();
    // The registered console object whose name equals `name` ignoring case, or null.
    void* FindConsoleObject(const char* name) const;
    // Every name a console line can start with, sorted ignoring case: the registered
    // commands and variables (the plugin's among them while it is loaded) and the host's
    // own commands. Read afresh at each call.
    std::vector<std::string> ConsoleNames() const;

private:
    struct Client {
        bool connected = false;
        bool fake = false;
        int userId = -1;
        std::string name;
        std::string networkId;
    };
    struct Box {
        Vector mins, maxs;
    };

    void RunCommand(const std::vector<std::string>& args);
    bool RunConsoleObject(const std::vector<std::string>& args);
    bool RunHostCommand(const std::vector<std::string>& args);
    bool RunPluginCommand(const std::vector<std::string>& args);
    // host_addbot and host_filter (HostFilter.cpp).
    bool RunFilterCommand(const std::vector<std::string>& args);
    void AddBot(const std::string& name);
    void ShowFilter(const std::string& expression, bool partial);
    void ListPlayers();
    // "help <name>": a registered command's or variable's help (a variable's value,
    // default and bounds too), or a host command's syntax and help.
    void ShowHelp(const std::string& name);
    void PrintMathInfo();
    // The world and bot commands: host_worldbox, host_spawnpoint, host_place,
    // host_usercmd, host_bots. False when `args` is none of them.
    bool RunWorldCommand(const std::vector<std::string>& args);
    void ListBots();

    HostOptions options_;
    std::vector<edict_t> edicts_;
    std::vector<Client> clients_;
    ServerGlobals globals_ = {};
    int nextUserId_ = 2;
    void* gameModule_ = nullptr;
    InterfaceFactoryFn gameFactory_ = nullptr;
    IHostGame* game_ = nullptr;
    void* pluginModule_ = nullptr;
    std::string pluginPath_;  // the plugin last asked for: host_plugin_load's default
    IServerPluginCallbacks* plugin_ = nullptr;
    CModuleSymbols pluginSymbols_;
    std::vector<std::string> log_;
    std::vector<InterfaceRequest> requests_;
    std::vector<std::string> args_;
    std::vector<Box> world_;
    HostTraceRecord traces_;
    bool quit_ = false;
};

// Splits one command into words: white space separates, double quotes group (the
// quotes are dropped). Exposed for the tests.
std::vector<std::string> HostTokenize(const std::string& command);
// Splits a console line at ";" outside double quotes.
std::vector<std::string> HostSplitCommands(const std::string& line);
