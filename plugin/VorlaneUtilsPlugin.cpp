// The plugin object and its registration under "ISERVERPLUGINCALLBACKS001". Load fills
// the engine interface globals defined in EngineInterfaces.cpp.
#include "plugin/VorlaneUtilsPlugin.h"

#include <stdio.h>

#include "bots/PluginBot.h"
#include "math/mathlib.h"
#include "plugin/InterfaceReg.h"
#include "plugin/LoadReport.h"
#include "plugin/PluginCommands.h"
#include "plugin/SigScanLoad.h"
#include "sigscan/SigScanTable.h"
#include "tier0/dbg.h"

char padesc[1024];
char vluversion[100] = "0.0.2";
char vlusponcer[100] = "https://vorlane.example/utils";

void DebugMsg(int level, const char* text) {
    const char* format;
    switch (level) {
        case 0: format = "%s\n"; break;
        case 1: format = "Warning : %s\n"; break;
        case 2: format = "Error : %s\n"; break;
        case 3: format = "Fatal Error : %s\n"; break;
        default: return;
    }
    char line[1024];
    if (snprintf(line, sizeof(line), format, text ? text : "") >= static_cast<int>(sizeof(line))) {
        line[sizeof(line) - 2] = '\n';  // a cut line still ends its line
    }
    Msg("%s", line);
    // Before the first interface request succeeds there is no server log to write to.
    if (engine) engine->LogPrint(line);
}

namespace {

// One interface Load requires: the global that receives it, its version string, and
// which factory answers it.
struct RequiredInterface {
    void** target;
    const char* version;
    bool fromGameServer;
};

template <typename T>
void** GlobalAddress(T*& global) {
    return reinterpret_cast<void**>(&global);
}

}  // namespace

CVorlaneUtilsPlugin::~CVorlaneUtilsPlugin() {}

bool CVorlaneUtilsPlugin::Load(InterfaceFactoryFn interfaceFactory, InterfaceFactoryFn gameServerFactory) {
    const RequiredInterface required[] = {
        {GlobalAddress(engine), INTERFACEVERSION_ENGINESERVER, false},
        {GlobalAddress(gameeventmanager2), INTERFACEVERSION_GAMEEVENTSMANAGER, false},
        {GlobalAddress(filesystem), INTERFACEVERSION_FILESYSTEM, false},
        {GlobalAddress(helpers), INTERFACEVERSION_PLUGINHELPERS, false},
        {GlobalAddress(enginetrace), INTERFACEVERSION_ENGINETRACE, false},
        {GlobalAddress(cvars), INTERFACEVERSION_CVAR, false},
        {GlobalAddress(networkstringtable), INTERFACEVERSION_STRINGTABLE, false},
        {GlobalAddress(playerinfomanager), INTERFACEVERSION_PLAYERINFOMANAGER, true},
        {GlobalAddress(botmanager), INTERFACEVERSION_BOTMANAGER, true},
        {GlobalAddress(randomStr), INTERFACEVERSION_RANDOMSTREAM, false},
        {GlobalAddress(gamedll), INTERFACEVERSION_SERVERGAMEDLL, true},
        {GlobalAddress(gameents), INTERFACEVERSION_SERVERGAMEENTS, true},
    };
    for (const RequiredInterface& request : required) {
        InterfaceFactoryFn factory = request.fromGameServer ? gameServerFactory : interfaceFactory;
        *request.target = factory(request.version, nullptr);
        if (!*request.target) {
            DebugMsg(3, "Required interfaces failed to Load");
            DebugMsg(3, "Debugging to Specify the failed interface");
            // The report below lists every interface still null, in its own order, and
            // every one after this was never asked for: name the one that failed.
            char failed[160];
            snprintf(failed, sizeof(failed), "Load stopped at interface \"%s\", which the %s factory does not provide",
                     request.version, request.fromGameServer ? "game server" : "engine");
            DebugMsg(3, failed);
            CheckPlugin();
            return false;
        }
    }
    gpGlobals = playerinfomanager->GetGlobalVars();
    UTIL_PrecacheOffsets();  // a missing data file is reported there and does not fail the load
    CheckPlugin();
    DebugMsg(0, "Plugin Loaded");
    InitCVars(interfaceFactory);
    MathLib_Init(2.2f, 2.2f, 0.0f, 2, true, true, true, true);
    return true;
}

// The bot records are forgotten so that nothing reaches them after the plugin is gone
// and a later load starts with an empty registry; the engine's bots stay on the server.
void CVorlaneUtilsPlugin::Unload() {
    DebugMsg(0, "Plugin UnLoaded");
    Bot_RemoveAll();
}
void CVorlaneUtilsPlugin::Pause() { DebugMsg(0, "Plugin Paused"); }
void CVorlaneUtilsPlugin::UnPause() { DebugMsg(0, "Plugin UnPaused"); }

const char* CVorlaneUtilsPlugin::GetPluginDescription() {
    snprintf(padesc, sizeof(padesc), "Vorlane Utils %s, Brekkon, %s", vluversion, vlusponcer);
    return padesc;
}

void CVorlaneUtilsPlugin::LevelInit(const char*) {}
void CVorlaneUtilsPlugin::ServerActivate(edict_t*, int, int) {}
void CVorlaneUtilsPlugin::GameFrame(bool simulating) {
    if (simulating) Bot_RunAll();
}
void CVorlaneUtilsPlugin::LevelShutdown() {}
void CVorlaneUtilsPlugin::ClientActive(edict_t*) {}
void CVorlaneUtilsPlugin::ClientDisconnect(edict_t*) {}
void CVorlaneUtilsPlugin::ClientPutInServer(edict_t*, const char*) {}
void CVorlaneUtilsPlugin::SetCommandClient(int index) { commandClientIndex = index; }
void CVorlaneUtilsPlugin::ClientSettingsChanged(edict_t*) {}

PLUGIN_RESULT CVorlaneUtilsPlugin::ClientConnect(bool*, edict_t*, const char*, const char*, char*, int) {
    return PLUGIN_CONTINUE;
}

PLUGIN_RESULT CVorlaneUtilsPlugin::ClientCommand(edict_t*) { return PLUGIN_CONTINUE; }

PLUGIN_RESULT CVorlaneUtilsPlugin::NetworkIDValidated(const char*, const char*) { return PLUGIN_CONTINUE; }

void CVorlaneUtilsPlugin::FireGameEvent(IGameEvent*) {}

int CVorlaneUtilsPlugin::GetCommandIndex() { return commandClientIndex; }

// The plugin object is constant-initialised, and its registration only links a list
// node (the list head is constant-initialised too), so neither depends on the order in
// which the units' static constructors run.
CVorlaneUtilsPlugin g_VorlaneUtilsPlugin;

static void* CreatePluginCallbacks() { return static_cast<IServerPluginCallbacks*>(&g_VorlaneUtilsPlugin); }
static InterfaceReg s_PluginCallbacksReg(CreatePluginCallbacks, INTERFACEVERSION_PLUGINCALLBACKS);
