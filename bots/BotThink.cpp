// The think steps of a plugin bot, run in a fixed order by Bot_Think. Three random
// sources are used, each where its step names it: the engine's random stream
// (randomStr) for the walking, turning and strafing choices, the runtime's RandomFloat
// for the fire draw, and the C library's rand() for the flip-out jitter.
#include "bots/BotThink.h"

#include <stdlib.h>

#include "math/mathlib.h"
#include "vstdlib/random.h"

namespace {

const float kTurnStep = 15.0f;     // degrees of yaw per turn
const int kMaxTurns = 24;          // a full circle
const float kProbeLength = 10.0f;  // how far ahead the probe looks
const float kEyeHeight = 36.0f;    // the probe starts this far above the origin
const float kTurnHoldTime = 2.0f;  // a turn keeps a clear heading this long
const float kStrafeInterval = 1.0f;
const float kWalkSpeed = 600.0f;
const float kJitterLimit = 15.0f;  // the jitter stays this close to the heading

float CurTime() { return gpGlobals->curTime; }

// Sets the attack button of the fire rule.
void Bot_Fire(CBotCmd& cmd) { cmd.buttons |= bot_forceattack2.GetInt() ? IN_ATTACK2 : IN_ATTACK; }

// Fires always when "plugin_bot_forceattackon" is on, otherwise when a draw of the
// runtime's RandomFloat lies above 0.5.
void Bot_FireAtRandom(CBotCmd& cmd) {
    if (bot_forceattackon.GetInt() || RandomFloat(0.0f, 1.0f) > 0.5f) Bot_Fire(cmd);
}

// Keeps `value` within kJitterLimit of `centre`.
float Bot_ClampToHeading(float value, float centre) {
    if (value - centre > kJitterLimit || centre - value > kJitterLimit) {
        return value > centre ? centre + kJitterLimit : centre - kJitterLimit;
    }
    return value;
}

// rand() as a float between -1 and 1 (for RAND_MAX 2^31 - 1).
float Bot_RandomUnit() { return static_cast<float>(rand()) * 4.656613e-10f * 2.0f - 1.0f; }

}  // namespace

bool CTraceFilterWorldAndPropsOnly::ShouldHitEntity(IHandleEntity*, int) { return false; }

int CTraceFilterWorldAndPropsOnly::GetTraceType() const { return 0; }

bool Bot_RunMimicCommand(CBotCmd& cmd) {
    const int index = Bot_MimicVar().GetInt();
    if (index < 1 || index > gpGlobals->maxClients) return false;
    edict_t* edict = engine->PEntityOfEntIndex(index);
    if (!edict || (edict->stateFlags & FL_EDICT_FREE)) return false;
    IPlayerInfoApi* playerInfo = playerinfomanager->GetPlayerInfo(edict);
    if (!playerInfo) return false;
    cmd = playerInfo->GetLastUserCommand();
    cmd.viewAngles.y += Bot_MimicYawOffsetVar().GetFloat();
    if (bot_crouch.GetInt()) cmd.buttons |= IN_DUCK;
    return true;
}

void Bot_HandleRespawn(CPluginBot* bot, CBotCmd&) {
    if (!bot->playerInfo->IsDead() || bot->playerInfo->GetTeamIndex() != 0) return;
    helpers->ClientCommand(bot->edict, "joingame");
    helpers->ClientCommand(bot->edict, "jointeam 3");
    helpers->ClientCommand(bot->edict, "joinclass 0");
}

void Bot_SetForwardMovement(CPluginBot* bot, CBotCmd& cmd) {
    if (bot->controller->IsEFlagSet(BOT_EFL_NO_MOVE)) return;
    if (bot->playerInfo->GetHealth() != 100) {
        cmd.forwardMove = 0.0f;
        return;
    }
    cmd.forwardMove = bot->movingBackwards ? -kWalkSpeed : kWalkSpeed;
    if (bot->strafeSpeed != 0.0f) cmd.forwardMove *= randomStr->RandomFloat(0.1f, 1.0f);
}

void Bot_UpdateDirection(CPluginBot* bot) {
    const float step = bot->turnNegative ? -kTurnStep : kTurnStep;
    QAngle angles = bot->controller->GetLocalAngles();
    CTraceFilterWorldAndPropsOnly filter;
    for (int turns = 0; turns < kMaxTurns; ++turns) {
        Vector forward;
        AngleVectors(angles, &forward);
        const Vector origin = bot->controller->GetLocalOrigin();
        Ray_t ray;
        ray.start = {origin.x, origin.y, origin.z + kEyeHeight};
        ray.end = {ray.start.x + forward.x * kProbeLength, ray.start.y + forward.y * kProbeLength,
                   ray.start.z + forward.z * kProbeLength};
        ray.mins = {-16.0f, -16.0f, 0.0f};
        ray.maxs = {16.0f, 16.0f, 72.0f};
        trace_t result = {};
        enginetrace->TraceRay(ray, BOT_PROBE_MASK, &filter, &result);
        if (result.fraction == 1.0f && bot->nextTurnTime > CurTime()) break;

        angles.y += step;
        if (angles.y > 180.0f) {
            angles.y -= 360.0f;
        } else if (angles.y < -180.0f) {
            angles.y += 360.0f;
        }
        bot->nextTurnTime = CurTime() + kTurnHoldTime;
        bot->turnNegative = randomStr->RandomInt(0, 1) == 0;
        bot->headingAngles = angles;
        bot->aimAngles = angles;
    }
    bot->controller->SetLocalAngles(angles);
}

void Bot_UpdateStrafing(CPluginBot* bot, CBotCmd& cmd) {
    if (CurTime() < bot->nextStrafeTime) return;
    bot->nextStrafeTime = CurTime() + kStrafeInterval;
    if (randomStr->RandomInt(0, 5) == 0) {
        bot->strafeSpeed = randomStr->RandomFloat(0.0f, 2.0f) * 1200.0f - 600.0f;
    } else {
        bot->strafeSpeed = 0.0f;
    }
    cmd.sideMove = bot->strafeSpeed;
    bot->movingBackwards = randomStr->RandomInt(0, 20) == 0;
}

void Bot_ForceFireWeapon(CPluginBot* bot, CBotCmd& cmd) {
    const char* weapon = bot_forcefireweapon.GetString();
    if (!weapon[0]) return;
    bot->controller->SetActiveWeapon(weapon);
    bot_forcefireweapon.SetValue("");
    Bot_FireAtRandom(cmd);
}

void Bot_HandleSendCmd(CPluginBot* bot) {
    const char* command = bot_sendcmd.GetString();
    if (!command[0]) return;
    helpers->ClientCommand(bot->edict, command);
    bot_sendcmd.SetValue("");
}

void Bot_FlipOut(CPluginBot* bot, CBotCmd& cmd) {
    if (bot_flipout.GetInt() <= 0 || bot->playerInfo->IsDead()) return;
    Bot_FireAtRandom(cmd);
    if (bot_flipout.GetInt() < 2) return;
    const float pitchOffset = Bot_RandomUnit();
    const float yawOffset = Bot_RandomUnit();
    bot->aimAngles.x += pitchOffset;
    bot->aimAngles.y += yawOffset;
    bot->aimAngles.x = Bot_ClampToHeading(bot->aimAngles.x, bot->headingAngles.x);
    bot->aimAngles.y = Bot_ClampToHeading(bot->aimAngles.y, bot->headingAngles.y);
    bot->aimAngles.z = 0.0f;
    bot->controller->SetLocalAngles(bot->aimAngles);
}

void Bot_Think(CPluginBot* bot) {
    CBotCmd cmd = {};
    if (!Bot_RunMimicCommand(cmd)) {
        cmd.sideMove = bot->strafeSpeed;
        if (bot->playerInfo->IsDead()) {
            Bot_HandleRespawn(bot, cmd);
        } else {
            Bot_SetForwardMovement(bot, cmd);
            if (!bot->controller->IsEFlagSet(BOT_EFL_NO_MOVE) && bot->playerInfo->GetHealth() == 100) {
                Bot_UpdateDirection(bot);
                Bot_UpdateStrafing(bot, cmd);
            }
            Bot_ForceFireWeapon(bot, cmd);
            Bot_HandleSendCmd(bot);
        }
        Bot_FlipOut(bot, cmd);
        bot->controller->PostClientMessagesSent();
        cmd.viewAngles = bot->controller->GetLocalAngles();
        cmd.impulse = 0;
        cmd.upMove = 0.0f;
    }
    bot->controller->RunPlayerMove(&cmd);
}
