// The bot registry, the steering variables and "plugin_bot_add". The objects below are
// constructed in the order they are defined when the library loads; each variable links
// itself into the console registry list, whose head is constant-initialised, so the
// order relative to other files does not matter.
#include "bots/PluginBot.h"

#include "bots/BotThink.h"
#include "tier0/dbg.h"
#include "tier1/StrTools.h"

ConVar bot_forcefireweapon("plugin_bot_forcefireweapon", "", 0, "Force bots with the specified weapon to fire.");
ConVar bot_forceattack2("plugin_bot_forceattack2", "0", 0, "When firing, use attack2.");
ConVar bot_forceattackon("plugin_bot_forceattackon", "0", 0, "When firing, don't tap fire, hold it down.");
ConVar bot_flipout("plugin_bot_flipout", "0", 0, "When on, all bots fire their guns.");
ConVar bot_changeclass("plugin_bot_changeclass", "0", 0, "Force all bots to change to the specified class.");
static ConVar bot_mimic("plugin_bot_mimic", "0", 0, "Bot uses usercmd of player by index.");
static ConVar bot_mimic_yaw_offset("plugin_bot_mimic_yaw_offset", "0", 0, "Offsets the bot yaw.");
ConVar bot_sendcmd("plugin_bot_sendcmd", "", 0, "Forces bots to send the specified command.");
ConVar bot_crouch("plugin_bot_crouch", "0", 0, "Bot crouches");

static CUtlVector<CPluginBot> s_Bots;

// Raised on every "plugin_bot_add" that reaches the naming step; never reset while the
// library stays loaded.
static int botNameCounter = 0;

ConCommand cc_Bot("plugin_bot_add", BotAdd_f, "Add a bot.", 0, nullptr);

ConVar& Bot_MimicVar() { return bot_mimic; }
ConVar& Bot_MimicYawOffsetVar() { return bot_mimic_yaw_offset; }
CUtlVector<CPluginBot>& Bot_Registry() { return s_Bots; }

// A command that adds nothing says why on the developer channel (level 1), so that the
// console stays as it was at the default level.
void BotAdd_f() {
    if (!botmanager) {
        DevMsg(1, "plugin_bot_add: no bot added: the engine's bot manager is not available\n");
        return;
    }
    char name[64];
    V_snprintf(name, sizeof(name), "Bot_%i", botNameCounter);
    ++botNameCounter;
    edict_t* edict = botmanager->CreateBot(name);
    if (!edict) {
        DevMsg(1, "plugin_bot_add: no bot added: the engine could not create %s (the server may be full)\n", name);
        return;
    }
    IBotControllerApi* controller = botmanager->GetBotController(edict);
    IPlayerInfoApi* playerInfo = playerinfomanager ? playerinfomanager->GetPlayerInfo(edict) : nullptr;
    if (!controller || !playerInfo) {
        DevMsg(1, "plugin_bot_add: %s joined without a controller or player information; the plugin does not steer it\n",
               name);
        return;
    }
    CPluginBot& bot = s_Bots[s_Bots.AddToTail(CPluginBot())];
    bot.controller = controller;
    bot.playerInfo = playerInfo;
    bot.edict = edict;
}

// Whether the record still stands for a bot on the server. The checks run in this
// order because the later ones call into engine objects that exist only while the
// earlier ones hold: a freed slot or a slot without an entity may have taken its
// player objects with it, and a slot given to another client answers other objects
// than the recorded ones, which must not be called.
static bool Bot_IsPresent(const CPluginBot& bot) {
    const edict_t* edict = bot.edict;
    if (edict->stateFlags & FL_EDICT_FREE) return false;
    if (!edict->unknown || !edict->unknown->GetBaseEntity()) return false;
    if (playerinfomanager->GetPlayerInfo(bot.edict) != bot.playerInfo) return false;
    if (botmanager->GetBotController(bot.edict) != bot.controller) return false;
    return bot.playerInfo->IsConnected();
}

void Bot_RunAll() {
    if (!botmanager || s_Bots.Count() == 0) return;
    int i = 0;
    while (i < s_Bots.Count()) {
        if (!Bot_IsPresent(s_Bots[i])) {
            s_Bots.Remove(i);
            continue;
        }
        Bot_Think(&s_Bots[i]);
        ++i;
    }
}

void Bot_RemoveAll() { s_Bots.RemoveAll(); }
