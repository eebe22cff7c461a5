// Plugin bots: the registry of bots created with "plugin_bot_add", the nine
// "plugin_bot_" console variables that steer them, and the per-frame think that builds
// one movement command for each bot and hands it to the engine.
//
// Everything runs on the engine's main thread, one command or frame at a time; the
// registry and the variables are plain static data and are not locked.
#pragma once

#include "engine/EngineInterfaces.h"
#include "tier1/Convar.h"
#include "tier1/UtlVector.h"

// One bot. The three engine pointers are borrowed: obtained once when the bot is
// created, never refreshed, never owned. Removing a record releases nothing in the engine.
class CPluginBot {
public:
    bool movingBackwards = false;               // the forward move is negative
    float nextTurnTime = 0.0f;                  // server time until which a clear path keeps the heading
    bool turnNegative = false;                  // turns go by -15 degrees of yaw instead of +15
    float nextStrafeTime = 0.0f;                // server time of the next strafe decision
    float strafeSpeed = 0.0f;                   // side move of every command of this bot
    QAngle headingAngles = {0.0f, 0.0f, 0.0f};  // angles of the last turn; centre of the jitter
    QAngle aimAngles = {0.0f, 0.0f, 0.0f};      // angles the flip-out jitter moves
    IBotControllerApi* controller = nullptr;
    IPlayerInfoApi* playerInfo = nullptr;
    edict_t* edict = nullptr;
};

// The command function of "plugin_bot_add": asks the bot manager for a fake client named
// "Bot_<n>" and records it. Does nothing without a bot manager (not even count a name).
// A name number is used up whenever the naming step is reached, also when the engine
// refuses the bot. A bot for which the engine gives no controller or no player
// information is not recorded: it could not be steered, and every later frame would
// have to call through a null pointer.
void BotAdd_f();

// Once per simulated frame: forgets the bots whose slot was freed, whose entity is gone,
// whose client disconnected, or whose slot now belongs to another client (the engine
// then answers other objects for it than the ones recorded); runs one think for every
// other bot, in order of creation. Does nothing without a bot manager.
void Bot_RunAll();

// Forgets every bot record (the engine's bots stay on the server, no longer steered).
// Called when the plugin is unloaded, so no later frame or load reaches a record made
// by an earlier load.
void Bot_RemoveAll();

// The registry, oldest bot first. Exposed for the tests.
CUtlVector<CPluginBot>& Bot_Registry();

// The seven exported steering variables and the command. "plugin_bot_mimic" and
// "plugin_bot_mimic_yaw_offset" are private to the bots.
extern VL_EXPORT ConVar bot_forcefireweapon;
extern VL_EXPORT ConVar bot_forceattack2;
extern VL_EXPORT ConVar bot_forceattackon;
extern VL_EXPORT ConVar bot_flipout;
extern VL_EXPORT ConVar bot_changeclass;
extern VL_EXPORT ConVar bot_sendcmd;
extern VL_EXPORT ConVar bot_crouch;
extern VL_EXPORT ConCommand cc_Bot;

// Reached by the think steps only.
ConVar& Bot_MimicVar();
ConVar& Bot_MimicYawOffsetVar();
