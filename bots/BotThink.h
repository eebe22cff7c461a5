// The per-frame think of a plugin bot: one movement command, either copied from the
// player that "plugin_bot_mimic" names or made up by a fixed sequence of steps (join a
// team while dead, walk, probe ahead and turn away from obstacles, strafe, forced
// weapon and fire, forced client command, flip-out), then run by the bot's controller.
//
// Every step assumes the engine interface globals that Load fills (engine,
// playerinfomanager, helpers, enginetrace, randomStr, gpGlobals) and the bot's own
// controller and player information are set; Bot_RunAll only thinks for such bots.
#pragma once

#include "bots/PluginBot.h"

// The entity flag that keeps a bot from walking, turning and strafing.
#define BOT_EFL_NO_MOVE 256
// The contents the obstacle probe stops at.
#define BOT_PROBE_MASK 0x0201400Bu

// The probe's filter: it hits the world (and props) only, never an entity.
class CTraceFilterWorldAndPropsOnly : public ITraceFilter {
public:
    bool ShouldHitEntity(IHandleEntity* entity, int contentsMask) override;
    int GetTraceType() const override;
};

// The whole think for one bot: builds the command and hands it to the controller.
void Bot_Think(CPluginBot* bot);

// Copies the last command of the player that "plugin_bot_mimic" names into `cmd`, adds
// "plugin_bot_mimic_yaw_offset" to its yaw (not normalised) and, when
// "plugin_bot_crouch" is non-zero, the crouch button. Returns false, leaving `cmd`
// alone, when the index is below 1 or above the maximum client count, or its slot has
// no edict, a free edict or no player information.
bool Bot_RunMimicCommand(CBotCmd& cmd);
// A dead bot on team 0 sends "joingame", "jointeam 3" and "joinclass 0".
void Bot_HandleRespawn(CPluginBot* bot, CBotCmd& cmd);
// Forward move: 0 while the entity flag 256 is set (left as it is) or health is not
// exactly 100; otherwise +-600, scaled by a random 0.1..1.0 while the bot strafes.
void Bot_SetForwardMovement(CPluginBot* bot, CBotCmd& cmd);
// Probes 10 units ahead with the bot's box and turns by 15 degrees while the way is
// blocked or the turn timer has run out, at most 24 times; then sets the view angles.
void Bot_UpdateDirection(CPluginBot* bot);
// Once a second: a new side speed (one time in six a random one), and one time in 21
// walk backwards.
void Bot_UpdateStrafing(CPluginBot* bot, CBotCmd& cmd);
// When "plugin_bot_forcefireweapon" names a weapon: switch to it, clear the variable,
// and fire (at random unless "plugin_bot_forceattackon").
void Bot_ForceFireWeapon(CPluginBot* bot, CBotCmd& cmd);
// When "plugin_bot_sendcmd" holds text: send it for this bot, then clear the variable.
void Bot_HandleSendCmd(CPluginBot* bot);
// "plugin_bot_flipout" 1 or more: a live bot fires at random; 2 or more: its aim also
// jitters, kept within 15 degrees of the last turn's heading, with roll 0.
void Bot_FlipOut(CPluginBot* bot, CBotCmd& cmd);
