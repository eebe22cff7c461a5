// The simulated engine: module loading, slots, frames and the host console.
#include "host/engine/HostEngine.h"

#include <dlfcn.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "host/engine/ConsoleObjects.h"
#include "host/engine/HostInterfaces.h"
#include "host/tier0/HostTier0.h"
#include "host/vstdlib/HostVstdlib.h"
#include "tier0/commandline.h"
#include "tier0/cpu.h"
#include "tier0/dbg.h"
#include "tier0/platform.h"

// The records this engine shares with the plugin, as the engine lays them out (stated
// here, not taken from the plugin's pins): an edict's owner, the globals the plugin
// reads, and the trace's ray and result.
static_assert(offsetof(edict_t, unknown) == VL_LAYOUT(12, 16) && sizeof(edict_t) == VL_LAYOUT(16, 24),
              "edict_t: flags, serial, networkable, owner");
static_assert(offsetof(ServerGlobals, curTime) == 12 && offsetof(ServerGlobals, maxClients) == 20 &&
                  sizeof(ServerGlobals) == 32,
              "ServerGlobals: eight 4-byte fields");
static_assert(sizeof(Ray_t) == 48 && offsetof(trace_t, endPos) == 12 && offsetof(trace_t, fraction) == 24 &&
                  offsetof(trace_t, allSolid) == 32 && sizeof(trace_t) == 36,
              "Ray_t: four vectors; trace_t: two vectors, fraction, contents, two flags");

namespace {

const int kExtraEdicts = 64;  // non-player entities after the player slots
const int kEdictFree = 0x2;   // the engine's state flag of an edict that holds nothing
const float kTickInterval = 0.015f;
const int kPluginFlag = 0x40000;  // the console flag of objects a plugin registered

void* PluginInterfaceFactory(const char* name, int* returnCode) {
    return CHostEngine::Instance().Lookup(name, false, true, returnCode);
}

void* PluginGameServerFactory(const char* name, int* returnCode) {
    return CHostEngine::Instance().Lookup(name, true, true, returnCode);
}

void* GameInitFactory(const char* name, int* returnCode) {
    return CHostEngine::Instance().Lookup(name, false, false, returnCode);
}

class CHostServices final : public IHostEngine {
public:
    edict_t* CreateFakeClient(const char* name) override {
        CHostEngine& host = CHostEngine::Instance();
        char networkId[32];
        snprintf(networkId, sizeof(networkId), "BOT");
        int slot = host.AddClient(name, networkId, true);
        return slot ? host.Edict(slot) : nullptr;
    }
    void TraceWorld(const Ray_t& ray, trace_t* result) override { CHostEngine::Instance().TraceBox(ray, result); }
};
CHostServices s_services;

// The host's own commands, in the order host_help lists them: how each is typed, and
// what it does (a line feed continues the text on the next line).
struct HostCommandHelp {
    const char* usage;  // the command's name, then its arguments
    const char* help;
};
const HostCommandHelp kHostCommands[] = {
    {"host_players", "list the players"},
    {"host_addplayer <name> [networkid]", "connect a player"},
    {"host_kick <slot>", "disconnect a player"},
    {"host_addbot <name>", "connect a bot (network id BOT)"},
    {"host_setplayer <slot> <field> <v>", "set team, dead, health, eflags, name,\nconnected or player"},
    {"host_filter <expr> [partial]", "the slots a recipient filter expression selects"},
    {"host_frames [n]", "run n frames (default 1)"},
    {"host_calls", "list the game calls made so far"},
    {"host_bots", "list the bots: team, position and yaw"},
    {"host_worldbox <x y z> <x y z>", "add a solid box (mins, maxs) to the world"},
    {"host_spawnpoint <x y z> <yaw>", "add a spawn point"},
    {"host_place <slot> <x y z> <yaw>", "put a player somewhere"},
    {"host_usercmd <slot> <fwd> <side> <yaw> <buttons>", "set a player's last command"},
    {"host_log", "show the server log"},
    {"host_mathinfo", "show the plugin's selected math routines"},
    {"host_plugin_unload", "unload the plugin"},
    {"host_plugin_load [path]", "load the plugin (default: the last one)"},
    {"help <name>", "show a command's or variable's value and help"},
    {"host_help", "list these commands"},
    {"quit", "leave"},
};

// The entry whose name (the usage's first word) equals `name` ignoring case, or null.
const HostCommandHelp* FindHostCommand(const std::string& name) {
    for (const HostCommandHelp& command : kHostCommands) {
        const size_t length = strcspn(command.usage, " ");
        if (name.size() == length && strncasecmp(command.usage, name.c_str(), length) == 0) return &command;
    }
    return nullptr;
}

// Prints `text` and a line feed; each further line of it starts with `indent`.
void PrintHelpText(const char* text, const char* indent) {
    for (const char* end; (end = strchr(text, '\n')) != nullptr; text = end + 1) {
        Msg("%.*s\n%s", static_cast<int>(end - text), text, indent);
    }
    Msg("%s\n", text);
}

}  // namespace

CHostEngine& CHostEngine::Instance() {
    static CHostEngine engine;
    return engine;
}

IHostEngine* CHostEngine::HostServices() { return &s_services; }

bool CHostEngine::Start(const HostOptions& options) {
    options_ = options;
    if (options_.maxClients < 0) options_.maxClients = 0;
    CommandLine_Tier0()->CreateCmdLine(options_.commandLine.c_str());
    HostSeedRandomStream(options_.seed);
    HostVstdlib_SetRandomSeed(options_.seed);
    srand(options_.seed);

    edicts_.assign(options_.maxClients + 1 + kExtraEdicts, edict_t{});
    for (size_t i = 1; i < edicts_.size(); ++i) edicts_[i].stateFlags = kEdictFree;
    clients_.assign(options_.maxClients + 1, Client{});
    globals_ = ServerGlobals{};
    globals_.maxClients = options_.maxClients;
    world_.clear();
    traces_ = HostTraceRecord{};
    globals_.intervalPerTick = kTickInterval;
    globals_.frameTime = kTickInterval;
    globals_.absoluteFrameTime = kTickInterval;

    const std::string path =
        options_.gameLibrary.empty() ? options_.gameDir + "/bin/server" VL_MODULE_SUFFIX : options_.gameLibrary;
    gameModule_ = dlopen(path.c_str(), RTLD_NOW);
    if (!gameModule_) {
        Msg("host: cannot load the game server library: %s\n", dlerror());
        return false;
    }
    gameFactory_ = reinterpret_cast<InterfaceFactoryFn>(dlsym(gameModule_, "CreateInterface"));
    game_ = gameFactory_ ? static_cast<IHostGame*>(gameFactory_(HOSTGAME_INTERFACE_VERSION, nullptr)) : nullptr;
    if (!game_) {
        Msg("host: %s is not a game server library\n", path.c_str());
        dlclose(gameModule_);
        gameModule_ = nullptr;
        return false;
    }
    game_->Init(GameInitFactory, &globals_);
    if (!options_.gameDescription.empty()) game_->SetGameDescription(options_.gameDescription.c_str());
    return true;
}

void CHostEngine::Shutdown() {
    UnloadPlugin();
    for (int slot = 1; slot < static_cast<int>(clients_.size()); ++slot) RemoveClient(slot);
    if (gameModule_) dlclose(gameModule_);
    gameModule_ = nullptr;
    gameFactory_ = nullptr;
    game_ = nullptr;
}

void* CHostEngine::Lookup(const char* name, bool fromGameServer, bool forPlugin, int* returnCode) {
    void* object = nullptr;
    if (!forPlugin || !options_.omit.count(name)) {
        if (fromGameServer) {
            object = gameFactory_ ? gameFactory_(name, nullptr) : nullptr;
        } else if (!forPlugin && strcmp(name, HOSTENGINE_INTERFACE_VERSION) == 0) {
            object = &s_services;
        } else {
            object = HostEngineInterface(name);
        }
    }
    if (forPlugin) requests_.push_back({name, fromGameServer, object != nullptr});
    if (returnCode) *returnCode = object ? 0 : 1;
    return object;
}

bool CHostEngine::LoadPlugin(const std::string& path) {
    if (pluginModule_) {
        Msg("host: a plugin is already loaded\n");
        return false;
    }
    pluginPath_ = path;
    void* module = dlopen(path.c_str(), RTLD_NOW);
    if (!module) {
        Msg("host: cannot load plugin: %s\n", dlerror());
        return false;
    }
    auto factory = reinterpret_cast<InterfaceFactoryFn>(dlsym(module, "CreateInterface"));
    auto* plugin =
        factory ? static_cast<IServerPluginCallbacks*>(factory("ISERVERPLUGINCALLBACKS001", nullptr)) : nullptr;
    if (!plugin) {
        Msg("host: %s has no plugin interface \"%s\"\n", path.c_str(), "ISERVERPLUGINCALLBACKS001");
        dlclose(module);
        return false;
    }
    if (!plugin->Load(PluginInterfaceFactory, PluginGameServerFactory)) {
        Msg("host: plugin failed to load\n");
        dlclose(module);
        return false;
    }
    pluginModule_ = module;
    plugin_ = plugin;
    pluginSymbols_.Read(module);
    Msg("host: loaded plugin \"%s\"\n", plugin_->GetPluginDescription());
    return true;
}

void CHostEngine::UnloadPlugin() {
    if (!plugin_) return;
    plugin_->Unload();
    plugin_ = nullptr;
    // The console must not keep objects that live in the library being closed: like the
    // engine, it drops those that carry the plugin flag, which the plugin's registration
    // adds to every object it hands over.
    const std::vector<ConCommandBase*> registered = HostVstdlib_Cvar()->Registered();
    for (ConCommandBase* object : registered) {
        if (ConsoleSlot<bool (*)(const void*, int)>(object, console_slots::kIsBitSet)(object, kPluginFlag)) {
            HostVstdlib_Cvar()->Unregister(object);
        }
    }
    dlclose(pluginModule_);
    pluginModule_ = nullptr;
    pluginSymbols_ = CModuleSymbols();
}

int CHostEngine::AddClient(const char* name, const char* networkId, bool fakeClient) {
    for (int slot = 1; slot < static_cast<int>(clients_.size()); ++slot) {
        Client& client = clients_[slot];
        if (client.connected) continue;
        edict_t* edict = &edicts_[slot];
        if (plugin_) {
            bool allow = true;
            char reject[256] = "";
            plugin_->ClientConnect(&allow, edict, name, fakeClient ? "loopback" : "127.0.0.1", reject, sizeof(reject));
        }
        client.connected = true;
        client.fake = fakeClient;
        client.userId = nextUserId_++;
        client.name = name;
        client.networkId = networkId;
        edict->stateFlags = 0;
        game_->ClientPutInServer(edict, slot, name, client.userId, networkId, fakeClient);
        if (plugin_) {
            plugin_->ClientPutInServer(edict, name);
            plugin_->NetworkIDValidated(name, networkId);
            plugin_->ClientActive(edict);
        }
        return slot;
    }
    return 0;
}

void CHostEngine::RemoveClient(int slot) {
    if (slot < 1 || slot >= static_cast<int>(clients_.size()) || !clients_[slot].connected) return;
    edict_t* edict = &edicts_[slot];
    if (plugin_) plugin_->ClientDisconnect(edict);
    if (game_) game_->ClientDisconnect(edict);
    clients_[slot] = Client{};
    edict->stateFlags = kEdictFree;
}

edict_t* CHostEngine::Edict(int index) {
    if (index < 0 || static_cast<size_t>(index) >= edicts_.size()) return nullptr;
    return &edicts_[index];
}

int CHostEngine::UserIdOf(int slot) const {
    if (slot < 1 || slot >= static_cast<int>(clients_.size()) || !clients_[slot].connected) return -1;
    return clients_[slot].userId;
}

void CHostEngine::RunFrames(int count) {
    for (int i = 0; i < count; ++i) {
        globals_.frameCount++;
        globals_.tickCount++;
        globals_.curTime = globals_.tickCount * globals_.intervalPerTick;
        globals_.realTime = globals_.curTime;
        if (game_) game_->GameFrame();
        if (plugin_) plugin_->GameFrame(true);
    }
}

void CHostEngine::Log(const char* text) {
    std::string line = text ? text : "";
    log_.push_back(line);
    if (!options_.logFile.empty()) {
        std::ofstream out(options_.logFile, std::ios::app);
        out << line;
    }
}

void CHostEngine::AddWorldBox(const Vector& mins, const Vector& maxs) { world_.push_back({mins, maxs}); }

// Sweeps the ray's box through the world: each world box grown by the ray's extents
// is tested against the segment from start to end (slab method).
bool CHostEngine::TraceBox(const Ray_t& ray, trace_t* result) const {
    const float start[3] = {ray.start.x, ray.start.y, ray.start.z};
    const float delta[3] = {ray.end.x - ray.start.x, ray.end.y - ray.start.y, ray.end.z - ray.start.z};
    const float rmin[3] = {ray.mins.x, ray.mins.y, ray.mins.z};
    const float rmax[3] = {ray.maxs.x, ray.maxs.y, ray.maxs.z};
    float best = 1.0f;
    bool startSolid = false;
    for (const Box& box : world_) {
        const float bmin[3] = {box.mins.x - rmax[0], box.mins.y - rmax[1], box.mins.z - rmax[2]};
        const float bmax[3] = {box.maxs.x - rmin[0], box.maxs.y - rmin[1], box.maxs.z - rmin[2]};
        float enter = 0.0f, leave = 1.0f;
        bool miss = false;
        for (int axis = 0; axis < 3 && !miss; ++axis) {
            if (delta[axis] == 0.0f) {
                miss = start[axis] < bmin[axis] || start[axis] > bmax[axis];
                continue;
            }
            float t0 = (bmin[axis] - start[axis]) / delta[axis];
            float t1 = (bmax[axis] - start[axis]) / delta[axis];
            if (t0 > t1) std::swap(t0, t1);
            enter = std::max(enter, t0);
            leave = std::min(leave, t1);
            miss = enter > leave;
        }
        if (miss) continue;
        if (enter == 0.0f) startSolid = true;
        best = std::min(best, enter);
    }
    *result = trace_t{};
    result->startPos = ray.start;
    result->fraction = best;
    result->endPos = {ray.start.x + delta[0] * best, ray.start.y + delta[1] * best, ray.start.z + delta[2] * best};
    result->startSolid = startSolid;
    result->allSolid = startSolid && best == 0.0f;
    return best < 1.0f;
}

std::vector<std::string> HostSplitCommands(const std::string& line) {
    std::vector<std::string> commands;
    std::string current;
    bool quoted = false;
    for (char c : line) {
        if (c == '"') quoted = !quoted;
        if (c == ';' && !quoted) {
            commands.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    commands.push_back(current);
    return commands;
}

std::vector<std::string> HostTokenize(const std::string& command) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < command.size()) {
        while (i < command.size() && isspace(static_cast<unsigned char>(command[i]))) ++i;
        if (i >= command.size()) break;
        std::string word;
        if (command[i] == '"') {
            size_t end = command.find('"', i + 1);
            if (end == std::string::npos) end = command.size();
            word = command.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            while (i < command.size() && !isspace(static_cast<unsigned char>(command[i])) && command[i] != '"') {
                word += command[i++];
            }
        }
        words.push_back(word);
    }
    return words;
}

bool CHostEngine::ExecuteLine(const std::string& line) {
    size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line.compare(first, 2, "//") == 0) return !quit_;
    for (const std::string& command : HostSplitCommands(line)) {
        std::vector<std::string> args = HostTokenize(command);
        if (!args.empty()) RunCommand(args);
        if (quit_) break;
    }
    return !quit_;
}

bool CHostEngine::ExecuteFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!ExecuteLine(line)) break;
    }
    return true;
}

void CHostEngine::RunCommand(const std::vector<std::string>& args) {
    args_ = args;
    if (!RunConsoleObject(args) && !RunHostCommand(args) && !RunWorldCommand(args) && !RunFilterCommand(args) &&
        !RunPluginCommand(args))
        Msg("Unknown command \"%s\"\n", args[0].c_str());
    args_.clear();
}

void* CHostEngine::FindConsoleObject(const char* name) const {
    for (ConCommandBase* object : HostVstdlib_Cvar()->Registered()) {
        const char* objectName = ConsoleObjectName(object);
        if (objectName && strcasecmp(objectName, name) == 0) return object;
    }
    return nullptr;
}

std::vector<std::string> CHostEngine::ConsoleNames() const {
    std::vector<std::string> names = {"host_help", "exit"};
    for (ConCommandBase* object : HostVstdlib_Cvar()->Registered()) {
        if (const char* name = ConsoleObjectName(object)) names.push_back(name);
    }
    for (const HostCommandHelp& command : kHostCommands) {
        names.emplace_back(command.usage, strcspn(command.usage, " "));
    }
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
    return names;
}

// A registered command runs through its Dispatch; a variable is set through its
// SetValue(const char*) by "name value", and "name" alone shows its value and help.
bool CHostEngine::RunConsoleObject(const std::vector<std::string>& args) {
    void* object = FindConsoleObject(args[0].c_str());
    if (!object) return false;
    if (ConsoleObjectIsCommand(object)) {
        ConsoleSlot<void (*)(void*)>(object, console_slots::kDispatch)(object);
        return true;
    }
    if (args.size() >= 2) {
        ConsoleSlot<void (*)(void*, const char*)>(object, console_slots::kSetValueString)(object, args[1].c_str());
        return true;
    }
    auto* variable = static_cast<ConsoleVariableView*>(object);
    const ConsoleVariableView* holder = variable->parent ? variable->parent : variable;
    const char* help = ConsoleSlot<const char* (*)(void*)>(object, console_slots::kGetHelpText)(object);
    Msg("\"%s\" is \"%s\" (default \"%s\")\n", ConsoleObjectName(object),
        holder->stringValue ? holder->stringValue : "", holder->defaultValue ? holder->defaultValue : "");
    if (help && *help) Msg("  %s\n", help);
    return true;
}

// "help <name>": a console object first (as a line runs one before the host's own
// commands), then a host command. The first line says what the name is; the help text
// follows, each of its lines indented by two spaces.
void CHostEngine::ShowHelp(const std::string& name) {
    if (void* object = FindConsoleObject(name.c_str())) {
        const char* help = ConsoleSlot<const char* (*)(void*)>(object, console_slots::kGetHelpText)(object);
        if (ConsoleObjectIsCommand(object)) {
            Msg("command \"%s\"\n", ConsoleObjectName(object));
        } else {
            auto* variable = static_cast<ConsoleVariableView*>(object);
            const ConsoleVariableView* holder = variable->parent ? variable->parent : variable;
            Msg("variable \"%s\" is \"%s\" (default \"%s\"", ConsoleObjectName(object),
                holder->stringValue ? holder->stringValue : "", holder->defaultValue ? holder->defaultValue : "");
            if (holder->hasMin) Msg(", min %g", holder->minValue);
            if (holder->hasMax) Msg(", max %g", holder->maxValue);
            Msg(")\n");
        }
        Msg("  ");
        PrintHelpText(help && *help ? help : "(no help text)", "  ");
        return;
    }
    if (const HostCommandHelp* command = FindHostCommand(name)) {
        Msg("host command \"%.*s\", syntax: %s\n  ", static_cast<int>(strcspn(command->usage, " ")), command->usage,
            command->usage);
        PrintHelpText(command->help, "  ");
        return;
    }
    Msg("help: no command or variable \"%s\"\n", name.c_str());
}

void CHostEngine::ListPlayers() {
    Msg("slot userid name                 networkid        state\n");
    for (int slot = 1; slot < static_cast<int>(clients_.size()); ++slot) {
        const Client& client = clients_[slot];
        if (!client.connected) continue;
        Msg("%4d %6d %-20s %-16s %s %s\n", slot, client.userId, client.name.c_str(), client.networkId.c_str(),
            game_->DescribePlayer(&edicts_[slot]).c_str(), client.fake ? "bot" : "human");
    }
}

// The processor features the runtime reports, the feature flags of the plugin's math
// library and the routine behind each of its function pointers, found through the
// plugin's full symbol table, which also names the routine each pointer holds.
void CHostEngine::PrintMathInfo() {
    if (!plugin_) {
        Msg("host: no plugin loaded\n");
        return;
    }
    struct Flag {
        const char* label;
        const char* symbol;
    };
    const Flag flags[] = {{"3DNow", "_Z20MathLib_3DNowEnabledv"},
                          {"MMX", "_Z18MathLib_MMXEnabledv"},
                          {"SSE", "_Z18MathLib_SSEEnabledv"},
                          {"SSE2", "_Z19MathLib_SSE2Enabledv"}};
    const char* const pointers[] = {
        "pfSqrt",        "pfRSqrt",      "pfRSqrtFast", "pfVectorNormalize", "pfVectorNormalizeFast",
        "pfInvRSquared", "pfFastSinCos", "pfFastCos"};
    unsigned char features;
    memcpy(&features, reinterpret_cast<const unsigned char*>(GetCPUInformation()) + 4, 1);
    Msg("processor features 0x%02x; math library:", features);
    for (const Flag& flag : flags) {
        auto enabled = reinterpret_cast<bool (*)()>(pluginSymbols_.Address(flag.symbol));
        Msg(" %s %s", flag.label, enabled ? (enabled() ? "on" : "off") : "?");
    }
    Msg("\n");
    for (const char* pointer : pointers) {
        void* const* slot = static_cast<void* const*>(pluginSymbols_.Address(pointer));
        // The C library's cosf is resolved by the loader (possibly to a processor-specific
        // body without a name of its own), so it is recognised by address.
        std::string routine = !slot                                  ? "(not found)"
                              : *slot == dlsym(RTLD_DEFAULT, "cosf") ? "cosf"
                                                                     : pluginSymbols_.NameAt(*slot);
        Msg("  %-22s %s\n", pointer, routine.c_str());
    }
}

// The host's own commands, all named "host_..." (and "quit") so that they stay apart
// from anything a plugin registers.
bool CHostEngine::RunHostCommand(const std::vector<std::string>& args) {
    const std::string& name = args[0];
    auto arg = [&](size_t i) { return i < args.size() ? args[i] : std::string(); };
    if (strcasecmp(name.c_str(), "quit") == 0 || strcasecmp(name.c_str(), "exit") == 0) {
        quit_ = true;
    } else if (strcasecmp(name.c_str(), "host_help") == 0) {
        Msg("host commands:\n");
        for (const HostCommandHelp& command : kHostCommands) {
            Msg("  %-33s  ", command.usage);
            PrintHelpText(command.help, "                                     ");
        }
    } else if (strcasecmp(name.c_str(), "help") == 0) {
        if (args.size() < 2) {
            Msg("Syntax: help <name>\n");
        } else {
            ShowHelp(args[1]);
        }
    } else if (strcasecmp(name.c_str(), "host_players") == 0) {
        ListPlayers();
    } else if (strcasecmp(name.c_str(), "host_addplayer") == 0) {
        if (args.size() < 2) {
            Msg("Syntax: host_addplayer <name> [networkid]\n");
        } else {
            int slot = AddClient(arg(1).c_str(), args.size() > 2 ? arg(2).c_str() : "ID_LAN", false);
            if (slot) {
                Msg("player \"%s\" connected in slot %d, userid %d\n", arg(1).c_str(), slot, UserIdOf(slot));
            } else {
                Msg("server is full\n");
            }
        }
    } else if (strcasecmp(name.c_str(), "host_kick") == 0) {
        RemoveClient(atoi(arg(1).c_str()));
    } else if (strcasecmp(name.c_str(), "host_setplayer") == 0) {
        edict_t* edict = Edict(atoi(arg(1).c_str()));
        if (args.size() < 4 || !game_->SetPlayerField(edict, arg(2).c_str(), arg(3).c_str())) {
            Msg("Syntax: host_setplayer <slot> team|dead|health|eflags|name|connected|player <value>\n");
        }
    } else if (strcasecmp(name.c_str(), "host_frames") == 0) {
        int count = args.size() > 1 ? atoi(arg(1).c_str()) : 1;
        RunFrames(count > 0 ? count : 0);
    } else if (strcasecmp(name.c_str(), "host_calls") == 0) {
        for (const GameCall& call : game_->Calls()) {
            Msg("%s entity %d (%s)\n", call.function.c_str(), call.entity, call.args.c_str());
        }
    } else if (strcasecmp(name.c_str(), "host_log") == 0) {
        for (const std::string& line : log_) Msg("L %s", line.c_str());
    } else if (strcasecmp(name.c_str(), "host_mathinfo") == 0) {
        PrintMathInfo();
    } else {
        return false;
    }
    return true;
}

// Reloading the plugin as a running server allows: unload, then load again (the same
// library unless a path is given).
bool CHostEngine::RunPluginCommand(const std::vector<std::string>& args) {
    const char* name = args[0].c_str();
    if (strcasecmp(name, "host_plugin_unload") == 0) {
        if (!plugin_) {
            Msg("host: no plugin is loaded\n");
        } else {
            UnloadPlugin();
            Msg("host: unloaded plugin\n");
        }
    } else if (strcasecmp(name, "host_plugin_load") == 0) {
        const std::string path = args.size() > 1 ? args[1] : pluginPath_;
        if (path.empty()) {
            Msg("Syntax: host_plugin_load <path>\n");
        } else {
            LoadPlugin(path);
        }
    } else {
        return false;
    }
    return true;
}
