// The plugin object and its registration under "ISERVERPLUGINCALLBACKS001". Load fills
// the engine interface globals defined in EngineInterfaces.cpp.
#include "plugin/VorlaneUtilsPlugin.h"

#include <stdio.h>

#include "bots/PluginBot.h"
#include "math/mathlib.h"
#include "plugin/InterfaceReg.h"
#include "plugin/LoadReport.h"
#include "plugin/PluginCommands.h"
#include "sigscan/SigScanData.h"
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
    snprintf(line, sizeof(line), format, text);
    Msg("%s", line);
    // Before the first interface request succeeds there is no server log to write to.
    if (engine) engine->LogPrint(line);
}

namespace {

// One engine interface request of Load: where the result goes, what to ask, and whom.
struct InterfaceRequest {
    void** target;
    const char* version;
    bool fromGameServer;
};

template <typename T>
void** Slot(T*& global) {
    return reinterpret_cast<void**>(&global);
}

}  // namespace

CVorlaneUtilsPlugin::CVorlaneUtilsPlugin() : commandClientIndex(0) {}

CVorlaneUtilsPlugin::~CVorlaneUtilsPlugin() {}

bool CVorlaneUtilsPlugin::Load(InterfaceFactoryFn interfaceFactory, InterfaceFactoryFn gameServerFactory) {
    const InterfaceRequest requests[] = {
        {Slot(engine), INTERFACEVERSION_ENGINESERVER, false},
        {Slot(gameeventmanager2), INTERFACEVERSION_GAMEEVENTSMANAGER, false},
        {Slot(filesystem), INTERFACEVERSION_FILESYSTEM, false},
        {Slot(helpers), INTERFACEVERSION_PLUGINHELPERS, false},
        {Slot(enginetrace), INTERFACEVERSION_ENGINETRACE, false},
        {Slot(cvars), INTERFACEVERSION_CVAR, false},
        {Slot(networkstringtable), INTERFACEVERSION_STRINGTABLE, false},
        {Slot(playerinfomanager), INTERFACEVERSION_PLAYERINFOMANAGER, true},
        {Slot(botmanager), INTERFACEVERSION_BOTMANAGER, true},
        {Slot(randomStr), INTERFACEVERSION_RANDOMSTREAM, false},
        {Slot(gamedll), INTERFACEVERSION_SERVERGAMEDLL, true},
        {Slot(gameents), INTERFACEVERSION_SERVERGAMEENTS, true},
    };
    for (const InterfaceRequest& request : requests) {
        InterfaceFactoryFn factory = request.fromGameServer ? gameServerFactory : interfaceFactory;
        *request.target = factory(request.version, nullptr);
        if (!*request.target) {
            DebugMsg(3, "Required interfaces failed to Load");
            DebugMsg(3, "Debugging to Specify the failed interface");
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

// The plugin object and its registration are defined together, object first, so the
// object is constructed before the name that publishes it.
CVorlaneUtilsPlugin g_VorlaneUtilsPlugin;

static void* CreatePluginCallbacks() { return static_cast<IServerPluginCallbacks*>(&g_VorlaneUtilsPlugin); }
static InterfaceReg s_PluginCallbacksReg(CreatePluginCallbacks, INTERFACEVERSION_PLUGINCALLBACKS);
