// The plugin's commands and their registration. Every failure is one console line;
// no command changes plugin state.
#include "plugin/PluginCommands.h"

#include <stdlib.h>

#include "plugin/SigScanListing.h"
#include "plugin/VorlaneUtilsPlugin.h"
#include "sigscan/GameCalls.h"
#include "plugin/SigScanLoad.h"
#include "sigscan/SigScanTable.h"
#include "tier0/dbg.h"
#include "tier1/StrTools.h"

namespace {

IEngineCvar* s_pPluginCvar = nullptr;

// Argument i of the command being run, as the engine gives it ("" when absent).
const char* Arg(int index) {
    const char* text = engine->Cmd_Argv(index);
    return text ? text : "";
}

int ArgInt(int index) { return V_StrToInt32(Arg(index), nullptr, 10); }

// The edict of the first player slot whose user id is `userId`, or null after printing
// the not-exists line. A slot without a client answers user id -1, so -1 never names a
// player: it matches no slot rather than the first empty one.
edict_t* FindPlayer(int userId) {
    const int maxClients = gpGlobals && userId != -1 ? gpGlobals->maxClients : 0;
    for (int slot = 1; slot <= maxClients; ++slot) {
        edict_t* edict = engine->PEntityOfEntIndex(slot);
        if (edict && engine->GetPlayerUserId(edict) == userId) return edict;
    }
    Msg("Userid '%i' not exists!\n", userId);
    return nullptr;
}

}  // namespace

void vlsigscan() {
    Msg("SigScanning List:\n-----------------------------\n");
    for (int i = 0; i < VRN_SigScan_Data.Count(); ++i) {
        PrintSigScanTableRecord(i, "-----------------------------\n");
    }
}

void vlsigscanreload() {
    int located = 0;
    int enabled = 0;
    const char* why = "";
    if (!UTIL_ReloadOffsets(&located, &enabled, &why)) {
        Msg("SigScan reload failed: %s; the previous table is kept\n", why);
        return;
    }
    vlsigscan();
    Msg("%d of %d entries located\n", located, enabled);
}

void vlspawn() {
    if (engine->Cmd_Argc() < 2) {
        Msg("Syntax: %s <userid>\n", Arg(0));
        return;
    }
    const int userId = ArgInt(1);
    edict_t* edict = FindPlayer(userId);
    if (!edict) return;
    if (!UTIL_RespawnPlayer(edict, true)) Msg("Unable to Respawn userid '%i'\n", userId);
}

void vlcteam() {
    if (engine->Cmd_Argc() < 3) {
        Msg("Syntax: %s <userid> <Team Index>\n", Arg(0));
        return;
    }
    const int userId = ArgInt(1);
    edict_t* edict = FindPlayer(userId);
    if (!edict) return;
    const int team = ArgInt(2);
    if (!UTIL_SwitchTeam(edict, team)) Msg("Unable to changeteam userid '%i'\n", userId);
}

bool CPluginConVarAccessor::RegisterConCommandBase(ConCommandBase* object) {
    object->AddFlags(FCVAR_PLUGIN);
    object->SetNext(nullptr);
    s_pPluginCvar->RegisterConCommandBase(object);
    return true;
}

CPluginConVarAccessor g_ConVarAccessor;

void InitCVars(InterfaceFactoryFn interfaceFactory) {
    s_pPluginCvar = static_cast<IEngineCvar*>(interfaceFactory(INTERFACEVERSION_CVAR, nullptr));
    if (s_pPluginCvar) ConCommandBaseMgr::OneTimeInit(&g_ConVarAccessor);
}

// Constructed in this order when the library loads, after the function table and
// before the plugin object; they wait on the registry's list until InitCVars.
static ConCommand vl_sigscan("vl_sigscan", vlsigscan, "Show SigScaning List", 0, nullptr);
static ConCommand vl_spawn("vl_spawn", vlspawn, "Spawns a player", 0, nullptr);
static ConCommand vl_changeteam("vl_changeteam", vlcteam, "Changes a Players Team", 0, nullptr);
static ConVar vl_utils_version("vl_utils_version", vluversion, FCVAR_NOTIFY, "Vorlane Utils Version");
static ConCommand vl_sigscan_reload("vl_sigscan_reload", vlsigscanreload,
                                    "Reloads the SigScan data file and shows the new list", 0, nullptr);
