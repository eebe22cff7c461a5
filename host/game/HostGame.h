// The control side of the substitute game server library, used only by the simulated
// engine and the tests: player slots, player state, the client commands it
// understands, and the record of every game call the plugin made.
#pragma once

#include <string>
#include <vector>

#include "engine/EngineInterfaces.h"

#define HOSTGAME_INTERFACE_VERSION "VLHostGame001"
#define HOSTENGINE_INTERFACE_VERSION "VLHostEngine001"

// What the game library asks of the engine beyond the plugin-visible interfaces.
class IHostEngine {
public:
    // Connects a fake client; returns its edict, or null when every slot is taken.
    virtual edict_t* CreateFakeClient(const char* name) = 0;
    // Sweeps `ray`'s box through the world's boxes for the game's own movement; unlike
    // the plugin's traces these are not recorded.
    virtual void TraceWorld(const Ray_t& ray, trace_t* result) = 0;

protected:
    ~IHostEngine() = default;
};

// What the simulated world knows of one player, for listings and tests.
struct HostPlayerState {
    int team = 0;
    bool dead = true;
    int health = 0;
    bool fake = false;
    Vector origin = {0, 0, 0};
    QAngle angles = {0, 0, 0};
    CBotCmd lastCommand = {};  // the last command run (bots) or set (host_usercmd)
    int commandsRun = 0;
    int notifications = 0;  // calls of the controller's notification
    std::string activeWeapon;
};

// One call into the game made through a located function or an entity slot.
struct GameCall {
    std::string function;  // the exported symbol, or "slot N Name" for a virtual slot
    int entity;            // entity index of the object called (0 when not a player)
    std::string args;      // the arguments after the object, formatted
};

class IHostGame {
public:
    // Connects the game to the engine; `globals` is the engine's record, shared.
    virtual void Init(InterfaceFactoryFn engineFactory, ServerGlobals* globals) = 0;
    virtual void SetGameDescription(const char* description) = 0;
    // Creates the player entity for a connecting client in `edict` (slot `index`).
    virtual void ClientPutInServer(edict_t* edict, int index, const char* name, int userId, const char* networkId,
                                   bool fakeClient) = 0;
    virtual void ClientDisconnect(edict_t* edict) = 0;
    // A command text typed by (or for) the client of `edict`: "joingame", "jointeam N",
    // "joinclass N", "kill"; anything else is recorded and ignored.
    virtual void ClientCommand(edict_t* edict, const char* command) = 0;
    // Sets one field of a player for a demonstration or a test: "team", "dead",
    // "health", "eflags", "name", "connected" (0 while still connecting), "player" (0
    // for a slot that is not a player). Returns false for an unknown field or slot.
    virtual bool SetPlayerField(edict_t* edict, const char* field, const char* value) = 0;
    // A one-line description of a player's state for listings.
    virtual std::string DescribePlayer(edict_t* edict) = 0;
    virtual void GameFrame() = 0;
    virtual const std::vector<GameCall>& Calls() = 0;
    virtual void ClearCalls() = 0;

    // The simulated world: bots walk by the commands they run, blocked by the engine's
    // world boxes, and respawn at the spawn points (slot n takes point (n - 1) modulo
    // their count; the origin facing yaw 0 when there are none).
    virtual bool GetPlayerState(edict_t* edict, HostPlayerState* state) = 0;
    virtual bool PlacePlayer(edict_t* edict, const Vector& origin, const QAngle& angles) = 0;
    // Sets the last user command a player reports (what a human last sent).
    virtual bool SetLastUserCommand(edict_t* edict, const CBotCmd& command) = 0;
    virtual void AddSpawnPoint(const Vector& origin, float yaw) = 0;

protected:
    ~IHostGame() = default;
};
