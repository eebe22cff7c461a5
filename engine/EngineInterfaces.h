// The engine's side of the plugin boundary: the records the engine shares with the
// plugin (`edict_t`, `ServerGlobals`, `CBotCmd`) and the interfaces the plugin obtains
// by version string in Load. Operations are declared in each interface's own order;
// the engine relies on that order, so never reorder or insert.
//
// The records' 32-bit layouts are the engine's. The 64-bit build lays them out by the
// rule a 64-bit compiler applies (declaration order, natural alignment, 8-byte pointers):
// that is this plugin's choice, and a 64-bit engine must agree with it. Each record's
// figures on both architectures are pinned below it (VL_LAYOUT, tier0/platform.h); only
// edict_t, which holds pointers, differs.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "math/vector.h"
#include "tier0/platform.h"
#include "tier1/IBaseFileSystem.h"
#include "vstdlib/IEngineCvar.h"

// The factory type of CreateInterface and of both factories handed to Load: looks a
// version string up; stores 0 in *returnCode when found and 1 when not (if non-null).
typedef void* (*InterfaceFactoryFn)(const char* name, int* returnCode);

class CBaseEntity;

// The object in an edict's fourth word: it knows the game entity behind the slot.
class IServerUnknown {
public:
    // Null when the slot has no entity.
    virtual CBaseEntity* GetBaseEntity() = 0;

protected:
    ~IServerUnknown() = default;
};

#define FL_EDICT_FREE 0x2  // state flag: the slot holds no live object

struct edict_t {
    int stateFlags;
    int serialNumber;
    void* networkable;
    IServerUnknown* unknown;
};
static_assert(offsetof(edict_t, stateFlags) == 0, "state flags are the first word");
static_assert(offsetof(edict_t, unknown) == VL_LAYOUT(12, 16), "the entity's owner is the fourth field");
static_assert(sizeof(edict_t) == VL_LAYOUT(16, 24), "edicts lie in an array of this stride");

struct ServerGlobals {
    float realTime;
    int frameCount;
    float absoluteFrameTime;
    float curTime;  // server time in seconds
    float frameTime;
    int maxClients;  // highest player entity index
    int tickCount;
    float intervalPerTick;
};
static_assert(offsetof(ServerGlobals, curTime) == 12, "current time is the fourth field");
static_assert(offsetof(ServerGlobals, maxClients) == 20, "max clients is the sixth field");
static_assert(sizeof(ServerGlobals) == 32, "eight 4-byte fields on either architecture");

// The buttons of a movement command that the plugin sets.
#define IN_ATTACK (1 << 0)
#define IN_DUCK (1 << 2)
#define IN_ATTACK2 (1 << 11)

// One movement command of a player or bot for one frame.
struct CBotCmd {
    int commandNumber;
    int tickCount;
    QAngle viewAngles;
    float forwardMove;
    float sideMove;
    float upMove;
    int buttons;
    uint8_t impulse;
    int weaponSelect;
    int weaponSubtype;
    int randomSeed;
    short mouseDx;
    short mouseDy;
};
static_assert(offsetof(CBotCmd, buttons) == 32 && offsetof(CBotCmd, impulse) == 36 && sizeof(CBotCmd) == 56,
              "no pointers: one layout on either architecture");

class IEngineServerApi {
public:
    virtual int GetPlayerUserId(edict_t* edict) = 0;    // -1 when the slot has no client
    virtual edict_t* PEntityOfEntIndex(int index) = 0;  // null when there is none
    // The console command being run: argument count, and argument i (0 is the command
    // name as typed); "" past the last argument.
    virtual int Cmd_Argc() = 0;
    virtual const char* Cmd_Argv(int index) = 0;
    // The game directory, truncated to fit and always terminated.
    virtual void GetGameDir(char* out, int maxLength) = 0;
    // Writes one line of text, as given, to the server log.
    virtual void LogPrint(const char* text) = 0;

protected:
    ~IEngineServerApi() = default;
};

class IPlayerInfoApi {
public:
    virtual const char* GetName() = 0;
    virtual int GetUserID() = 0;
    virtual const char* GetNetworkIDString() = 0;
    virtual int GetTeamIndex() = 0;
    virtual bool IsConnected() = 0;
    virtual bool IsPlayer() = 0;
    virtual bool IsFakeClient() = 0;
    virtual bool IsDead() = 0;
    virtual int GetHealth() = 0;
    virtual CBotCmd GetLastUserCommand() = 0;

protected:
    ~IPlayerInfoApi() = default;
};

class IPlayerInfoManagerApi {
public:
    virtual IPlayerInfoApi* GetPlayerInfo(edict_t* edict) = 0;  // null when none
    virtual ServerGlobals* GetGlobalVars() = 0;

protected:
    ~IPlayerInfoManagerApi() = default;
};

class IBotControllerApi {
public:
    virtual Vector GetLocalOrigin() = 0;
    virtual void SetLocalAngles(const QAngle& angles) = 0;
    virtual QAngle GetLocalAngles() = 0;
    virtual void SetActiveWeapon(const char* weaponName) = 0;
    virtual void PostClientMessagesSent() = 0;
    virtual bool IsEFlagSet(int mask) = 0;
    virtual void RunPlayerMove(CBotCmd* command) = 0;

protected:
    ~IBotControllerApi() = default;
};

class IBotManagerApi {
public:
    virtual IBotControllerApi* GetBotController(edict_t* edict) = 0;
    virtual edict_t* CreateBot(const char* name) = 0;  // null when no bot could be made

protected:
    ~IBotManagerApi() = default;
};

class IPluginHelpersApi {
public:
    // Runs `command` as if the client of `edict` had typed it.
    virtual void ClientCommand(edict_t* edict, const char* command) = 0;

protected:
    ~IPluginHelpersApi() = default;
};

class IHandleEntity;

class ITraceFilter {
public:
    virtual bool ShouldHitEntity(IHandleEntity* entity, int contentsMask) = 0;
    virtual int GetTraceType() const = 0;

protected:
    ~ITraceFilter() = default;
};

// A box swept from `start` to `end`; the box spans `mins` to `maxs` around the path.
struct Ray_t {
    Vector start;
    Vector end;
    Vector mins;
    Vector maxs;
};

struct trace_t {
    Vector startPos;
    Vector endPos;
    float fraction;  // 1.0 when nothing was hit
    int contents;
    bool allSolid;
    bool startSolid;
};
static_assert(sizeof(Ray_t) == 48 && offsetof(trace_t, fraction) == 24 && sizeof(trace_t) == 36,
              "no pointers: one layout on either architecture");

class IEngineTraceApi {
public:
    virtual void TraceRay(const Ray_t& ray, unsigned int contentsMask, ITraceFilter* filter, trace_t* result) = 0;

protected:
    ~IEngineTraceApi() = default;
};

class IRandomStreamApi {
public:
    virtual float RandomFloat(float low, float high) = 0;  // in [low, high]
    virtual int RandomInt(int low, int high) = 0;          // both bounds included

protected:
    ~IRandomStreamApi() = default;
};

class IServerGameDllApi {
public:
    virtual const char* GetGameDescription() = 0;

protected:
    ~IServerGameDllApi() = default;
};

// Only tested for presence by the plugin.
class IGameEventsApi;
class IStringTableApi;
class IServerGameEntsApi;
class IGameEvent;

#define INTERFACEVERSION_ENGINESERVER "VEngineServer021"
#define INTERFACEVERSION_GAMEEVENTSMANAGER "GAMEEVENTSMANAGER002"
#define INTERFACEVERSION_FILESYSTEM "VFileSystem017"
#define INTERFACEVERSION_PLUGINHELPERS "ISERVERPLUGINHELPERS001"
#define INTERFACEVERSION_ENGINETRACE "EngineTraceServer003"
#define INTERFACEVERSION_CVAR "VEngineCvar003"
#define INTERFACEVERSION_STRINGTABLE "VEngineServerStringTable001"
#define INTERFACEVERSION_PLAYERINFOMANAGER "PlayerInfoManager002"
#define INTERFACEVERSION_BOTMANAGER "BotManager001"
#define INTERFACEVERSION_RANDOMSTREAM "VEngineRandom001"
#define INTERFACEVERSION_SERVERGAMEDLL "ServerGameDLL006"
#define INTERFACEVERSION_SERVERGAMEENTS "ServerGameEnts001"
#define INTERFACEVERSION_PLUGINCALLBACKS "ISERVERPLUGINCALLBACKS001"

// The engine interfaces, null until Load sets them. Exported for other server code.
extern VL_EXPORT IEngineServerApi* engine;
extern VL_EXPORT IGameEventsApi* gameeventmanager2;
extern VL_EXPORT IFileSystemApi* filesystem;
extern VL_EXPORT IPluginHelpersApi* helpers;
extern VL_EXPORT IEngineTraceApi* enginetrace;
extern VL_EXPORT IEngineCvar* cvars;
extern VL_EXPORT IStringTableApi* networkstringtable;
extern VL_EXPORT IPlayerInfoManagerApi* playerinfomanager;
extern VL_EXPORT IBotManagerApi* botmanager;
extern VL_EXPORT IRandomStreamApi* randomStr;
extern VL_EXPORT IServerGameDllApi* gamedll;
extern VL_EXPORT IServerGameEntsApi* gameents;
extern VL_EXPORT ServerGlobals* gpGlobals;
