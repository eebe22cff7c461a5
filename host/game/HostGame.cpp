// The substitute game server library "bin/server_i486.so": players with their state,
// a bot manager whose bots move by the commands they run, entities whose virtual slots
// record each call, and the game functions located through the signature data file.
// It prints what each game call did, so an operator sees the effect.
#include "host/game/HostGame.h"

#include <math.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "math/vector.h"
#include "tier0/dbg.h"

class CBaseEntity;
class CBaseCombatWeapon;
class CBaseCombatCharacter;

namespace {

// The positions of the virtual functions the plugin calls, counted from 0 in a game
// object's table. The game fixes them; they are written out here, not taken from the
// plugin's headers, so that a wrong slot in the plugin reaches an unexpected slot.
const int kEntityTableSize = 359;  // slots 0 to 358

class CHostPlayer;

// The engine's movement command layout, as the engine fixes it.
static_assert(offsetof(CBotCmd, viewAngles) == 8 && offsetof(CBotCmd, forwardMove) == 20 &&
                  offsetof(CBotCmd, sideMove) == 24 && offsetof(CBotCmd, upMove) == 28 &&
                  offsetof(CBotCmd, buttons) == 32 && offsetof(CBotCmd, impulse) == 36 && sizeof(CBotCmd) == 56,
              "CBotCmd: number, tick, angles, three moves, buttons, impulse, weapon, subtype, seed, mouse");

struct SpawnPoint {
    Vector origin;
    float yaw;
};
std::vector<SpawnPoint> s_spawnPoints;

// A game object as the plugin sees it: a virtual table first, then the game's data.
struct CHostEntity {
    void* const* vtable;
    CHostPlayer* owner;  // the player holding it (weapons) or being it (player bodies)
    std::string name;    // weapon class name for weapons
    bool isWeapon;
};

ServerGlobals* s_globals = nullptr;
IHostEngine* s_engine = nullptr;
IEngineServerApi* s_engineServer = nullptr;
std::string s_description = "Vorlane Demo";
std::vector<GameCall> s_calls;

int EntityIndex(const CHostEntity* entity);

void Record(const char* function, const CHostEntity* entity, const std::string& args) {
    s_calls.push_back({function, entity ? EntityIndex(entity) : 0, args});
}

std::string Format(const char* fmt, ...) VL_FMT(1, 2);
std::string Format(const char* fmt, ...) {
    char text[512];
    va_list args;
    va_start(args, fmt);
    vsnprintf(text, sizeof(text), fmt, args);
    va_end(args);
    return text;
}

std::string FormatVector(const Vector* v) { return v ? Format("(%g %g %g)", v->x, v->y, v->z) : std::string("null"); }

void* const* EntityTable();
void* const* WeaponTable();

class CHostPlayer final : public IServerUnknown, public IPlayerInfoApi, public IBotControllerApi {
public:
    CHostPlayer(edict_t* edict, int index, const char* name, int userId, const char* networkId, bool fake)
        : edict_(edict), index_(index), name_(name), userId_(userId), networkId_(networkId), fake_(fake) {
        body_.vtable = EntityTable();
        body_.owner = this;
        body_.isWeapon = false;
        GiveWeapon("weapon_knife");
        GiveWeapon("weapon_pistol");
    }

    CBaseEntity* GetBaseEntity() override { return reinterpret_cast<CBaseEntity*>(&body_); }

    const char* GetName() override { return name_.c_str(); }
    int GetUserID() override { return userId_; }
    const char* GetNetworkIDString() override { return networkId_.c_str(); }
    int GetTeamIndex() override { return team; }
    bool IsConnected() override { return connected; }
    bool IsPlayer() override { return isPlayer; }
    bool IsFakeClient() override { return fake_; }
    bool IsDead() override { return dead; }
    int GetHealth() override { return health; }
    CBotCmd GetLastUserCommand() override { return lastCommand; }

    Vector GetLocalOrigin() override { return origin; }
    void SetLocalAngles(const QAngle& a) override { angles = a; }
    QAngle GetLocalAngles() override { return angles; }
    void SetActiveWeapon(const char* weaponName) override {
        activeWeapon = weaponName ? weaponName : "";
        Record("SetActiveWeapon", &body_, Format("\"%s\"", activeWeapon.c_str()));
    }
    void PostClientMessagesSent() override { ++notifications; }
    bool IsEFlagSet(int mask) override { return (eflags & mask) != 0; }
    void RunPlayerMove(CBotCmd* command) override {
        lastCommand = *command;
        ++commandsRun;
        if (dead || !s_globals) return;
        angles = command->viewAngles;
        Move(command->forwardMove, command->sideMove);
    }

    CHostEntity* GiveWeapon(const char* className) {
        auto weapon = std::make_unique<CHostEntity>();
        weapon->vtable = WeaponTable();
        weapon->owner = this;
        weapon->name = className;
        weapon->isWeapon = true;
        weapons.push_back(std::move(weapon));
        return weapons.back().get();
    }

    bool DropWeapon(CHostEntity* weapon) {
        for (size_t i = 0; i < weapons.size(); ++i) {
            if (weapons[i].get() == weapon) {
                weapons.erase(weapons.begin() + i);
                return true;
            }
        }
        return false;
    }

    // Walks for one frame: the forward move along the yaw and the side move to its
    // right, in units per second, stopped a little short of the first world box in
    // the way (no sliding along it).
    void Move(float forwardMove, float sideMove) {
        const float seconds = s_globals->frameTime;
        const float yaw = angles.y * static_cast<float>(M_PI) / 180.0f;
        const float c = cosf(yaw), s = sinf(yaw);
        const Vector delta = {(forwardMove * c + sideMove * s) * seconds, (forwardMove * s - sideMove * c) * seconds,
                              0.0f};
        const float length = sqrtf(delta.x * delta.x + delta.y * delta.y);
        if (length == 0.0f || !s_engine) return;
        Ray_t ray = {origin, {origin.x + delta.x, origin.y + delta.y, origin.z}, {-16, -16, 0}, {16, 16, 72}};
        trace_t result;
        s_engine->TraceWorld(ray, &result);
        float fraction = result.fraction;
        if (fraction < 1.0f) fraction = fmaxf(0.0f, fraction - kSkin / length);
        origin.x += delta.x * fraction;
        origin.y += delta.y * fraction;
    }

    static constexpr float kSkin = 0.125f;  // gap kept to a wall, so a bot never starts touching one

    edict_t* Edict() const { return edict_; }
    int Index() const { return index_; }
    void Rename(const char* name) { name_ = name; }

    CHostEntity body_;
    int team = 0;
    bool dead = true;  // a new player waits to join a team
    int health = 0;    // a new player is dead until it joins
    int eflags = 0;
    bool connected = true;  // false while the client is still connecting
    bool isPlayer = true;   // false for a slot that holds a spectating proxy
    int ammo = 0;
    int notifications = 0;
    int commandsRun = 0;
    Vector origin = {0, 0, 0};
    QAngle angles = {0, 0, 0};
    std::string model;
    std::string activeWeapon;
    CBotCmd lastCommand = {};
    std::vector<std::unique_ptr<CHostEntity>> weapons;

private:
    edict_t* edict_;
    int index_;
    std::string name_;
    int userId_;
    std::string networkId_;
    bool fake_;
};

std::vector<std::unique_ptr<CHostPlayer>> s_players;

CHostPlayer* PlayerOf(edict_t* edict) {
    if (!edict) return nullptr;
    for (auto& player : s_players) {
        if (player->Edict() == edict) return player.get();
    }
    return nullptr;
}

int EntityIndex(const CHostEntity* entity) { return entity->owner ? entity->owner->Index() : 0; }

CHostEntity* AsEntity(const void* object) { return static_cast<CHostEntity*>(const_cast<void*>(object)); }

void Announce(const CHostEntity* entity, const std::string& what) {
    Msg("player %d %s\n", EntityIndex(entity), what.c_str());
}

// The body of the game's two ways of killing a player: recorded under `function`, the
// player left dead with no health, and `announcement` printed.
void Kill(CHostEntity* e, const char* function, const char* announcement) {
    Record(function, e, "");
    if (e->owner) {
        e->owner->dead = true;
        e->owner->health = 0;
    }
    Announce(e, announcement);
}

// ---- virtual slots -------------------------------------------------------------

void SlotSetModel(CBaseEntity* self, const char* model) {
    CHostEntity* e = AsEntity(self);
    Record("slot 26 SetModel", e, Format("\"%s\"", model ? model : "(null)"));
    if (e->owner) e->owner->model = model ? model : "";
}

void SlotTeleport(CBaseEntity* self, const Vector* origin, const QAngle* angles, const Vector* velocity) {
    CHostEntity* e = AsEntity(self);
    Record("slot 99 Teleport", e,
           FormatVector(origin) + ", " + FormatVector(reinterpret_cast<const Vector*>(angles)) + ", " +
               FormatVector(velocity));
    if (e->owner && origin) e->owner->origin = *origin;
    if (e->owner && angles) e->owner->angles = *angles;
}

void SlotIgnite(CBaseEntity* self, float lifetime, bool npcOnly, float size, bool byDesigner) {
    Record("slot 189 Ignite", AsEntity(self),
           Format("%g, %s, %g, %s", lifetime, npcOnly ? "true" : "false", size, byDesigner ? "true" : "false"));
}

CBaseEntity* SlotGiveNamedItem(CBaseEntity* self, const char* name, int subType) {
    CHostEntity* e = AsEntity(self);
    Record("slot 330 GiveNamedItem", e, Format("\"%s\", %d", name ? name : "(null)", subType));
    if (!e->owner || !name) return nullptr;
    return reinterpret_cast<CBaseEntity*>(e->owner->GiveWeapon(name));
}

void SlotCommitSuicide(CBaseEntity* self) {
    CHostEntity* e = AsEntity(self);
    Record("slot 358 CommitSuicide", e, "");
    if (e->owner) {
        e->owner->dead = true;
        e->owner->health = 0;
    }
}

bool SlotRemovePlayerItem(CBaseEntity* self, CBaseCombatWeapon* weapon) {
    CHostEntity* e = AsEntity(self);
    CHostEntity* w = AsEntity(weapon);
    Record("slot 227 RemovePlayerItem", e, w ? Format("\"%s\"", w->name.c_str()) : std::string("null"));
    return e->owner && w && e->owner->DropWeapon(w);
}

int SlotGiveAmmo(CBaseEntity* self, int count, int ammoIndex, bool suppressSound) {
    CHostEntity* e = AsEntity(self);
    Record("slot 214 GiveAmmo", e, Format("%d, %d, %s", count, ammoIndex, suppressSound ? "true" : "false"));
    if (e->owner) e->owner->ammo += count;
    return count;
}

void SlotRemoveAllItems(CBaseEntity* self, bool removeSuit) {
    CHostEntity* e = AsEntity(self);
    Record("slot 284 RemoveAllItems", e, removeSuit ? "true" : "false");
    if (e->owner) e->owner->weapons.clear();
}

const char* SlotGetName(CBaseCombatWeapon* self) {
    CHostEntity* w = AsEntity(self);
    Record("slot 283 GetName", w, "");
    return w->name.c_str();
}

CBaseCombatWeapon* SlotWeaponGetSlot(CBaseEntity* self, int slot) {
    CHostEntity* e = AsEntity(self);
    Record("slot 225 Weapon_GetSlot", e, Format("%d", slot));
    if (!e->owner || slot < 0 || static_cast<size_t>(slot) >= e->owner->weapons.size()) return nullptr;
    return reinterpret_cast<CBaseCombatWeapon*>(e->owner->weapons[slot].get());
}

bool SlotWeaponSwitch(CBaseEntity* self, CBaseCombatWeapon* weapon, int viewModelIndex) {
    CHostEntity* e = AsEntity(self);
    CHostEntity* w = AsEntity(weapon);
    Record("slot 221 Weapon_Switch", e,
           (w ? Format("\"%s\"", w->name.c_str()) : std::string("null")) + Format(", %d", viewModelIndex));
    if (!e->owner || !w) return false;
    e->owner->activeWeapon = w->name;
    return true;
}

void SlotWeaponDrop(CBaseEntity* self, CBaseCombatWeapon* weapon, const Vector* target, const Vector* velocity) {
    CHostEntity* e = AsEntity(self);
    CHostEntity* w = AsEntity(weapon);
    Record("slot 220 Weapon_Drop", e,
           (w ? Format("\"%s\"", w->name.c_str()) : std::string("null")) + ", " + FormatVector(target) + ", " +
               FormatVector(velocity));
}

void SlotDelete(CBaseCombatWeapon* self) { Record("slot 307 Delete", AsEntity(self), ""); }

void SlotOnPickedUp(CBaseCombatCharacter* self) { Record("slot 262 OnPickedUp", AsEntity(self), ""); }

// Every other slot records that it was reached: the plugin has no business there.
template <int N>
void UnexpectedSlot(void* self) {
    Record("unexpected slot", AsEntity(self), Format("%d", N));
}

template <int... N>
std::vector<void*> StubTable(std::integer_sequence<int, N...>) {
    return {reinterpret_cast<void*>(&UnexpectedSlot<N>)...};
}

std::vector<void*> MakeTable() {
    std::vector<void*> table = StubTable(std::make_integer_sequence<int, kEntityTableSize>());
    const struct {
        int slot;
        void* function;
    } known[] = {
        {26, reinterpret_cast<void*>(&SlotSetModel)},        {99, reinterpret_cast<void*>(&SlotTeleport)},
        {189, reinterpret_cast<void*>(&SlotIgnite)},         {214, reinterpret_cast<void*>(&SlotGiveAmmo)},
        {220, reinterpret_cast<void*>(&SlotWeaponDrop)},     {221, reinterpret_cast<void*>(&SlotWeaponSwitch)},
        {225, reinterpret_cast<void*>(&SlotWeaponGetSlot)},  {227, reinterpret_cast<void*>(&SlotRemovePlayerItem)},
        {262, reinterpret_cast<void*>(&SlotOnPickedUp)},     {283, reinterpret_cast<void*>(&SlotGetName)},
        {284, reinterpret_cast<void*>(&SlotRemoveAllItems)}, {307, reinterpret_cast<void*>(&SlotDelete)},
        {330, reinterpret_cast<void*>(&SlotGiveNamedItem)},  {358, reinterpret_cast<void*>(&SlotCommitSuicide)},
    };
    for (const auto& entry : known) table[entry.slot] = entry.function;
    return table;
}

// Players and weapons share one table: each slot knows what it is called on.
void* const* EntityTable() {
    static const std::vector<void*> table = MakeTable();
    return table.data();
}

void* const* WeaponTable() { return EntityTable(); }

// ---- interfaces ----------------------------------------------------------------

class CPlayerInfoManager final : public IPlayerInfoManagerApi {
public:
    IPlayerInfoApi* GetPlayerInfo(edict_t* edict) override { return PlayerOf(edict); }
    ServerGlobals* GetGlobalVars() override { return s_globals; }
};

class CBotManager final : public IBotManagerApi {
public:
    IBotControllerApi* GetBotController(edict_t* edict) override {
        CHostPlayer* player = PlayerOf(edict);
        return player && player->IsFakeClient() ? player : nullptr;
    }
    edict_t* CreateBot(const char* name) override { return s_engine ? s_engine->CreateFakeClient(name) : nullptr; }
};

class CServerGameDll final : public IServerGameDllApi {
public:
    const char* GetGameDescription() override { return s_description.c_str(); }
};

// Tested for presence only.
class CServerGameEnts {};

class CHostGame final : public IHostGame {
public:
    void Init(InterfaceFactoryFn engineFactory, ServerGlobals* globals) override {
        s_globals = globals;
        s_spawnPoints.clear();
        s_engine = static_cast<IHostEngine*>(engineFactory(HOSTENGINE_INTERFACE_VERSION, nullptr));
        s_engineServer = static_cast<IEngineServerApi*>(engineFactory("VEngineServer021", nullptr));
    }
    void SetGameDescription(const char* description) override { s_description = description ? description : ""; }
    void ClientPutInServer(edict_t* edict, int index, const char* name, int userId, const char* networkId,
                           bool fakeClient) override {
        ClientDisconnect(edict);
        s_players.push_back(std::make_unique<CHostPlayer>(edict, index, name, userId, networkId, fakeClient));
        edict->unknown = s_players.back().get();
    }
    void ClientDisconnect(edict_t* edict) override {
        for (size_t i = 0; i < s_players.size(); ++i) {
            if (s_players[i]->Edict() == edict) {
                edict->unknown = nullptr;
                s_players.erase(s_players.begin() + i);
                return;
            }
        }
    }
    void ClientCommand(edict_t* edict, const char* command) override {
        CHostPlayer* player = PlayerOf(edict);
        if (!player || !command) return;
        Record("ClientCommand", &player->body_, Format("\"%s\"", command));
        int value = 0;
        if (sscanf(command, "jointeam %d", &value) == 1) {
            player->team = value;
            Announce(&player->body_, Format("joined team %d", value));
        } else if (sscanf(command, "joinclass %d", &value) == 1) {
            if (player->team != 0 && player->dead) Respawn(player);
        } else if (strcmp(command, "kill") == 0) {
            player->dead = true;
            player->health = 0;
        }
    }
    bool SetPlayerField(edict_t* edict, const char* field, const char* value) override {
        CHostPlayer* player = PlayerOf(edict);
        if (!player || !field || !value) return false;
        if (strcmp(field, "team") == 0) {
            player->team = atoi(value);
        } else if (strcmp(field, "dead") == 0) {
            // Dying empties the health; coming back alive restores it when it was empty
            // and puts the player at its spawn point.
            const bool wasDead = player->dead;
            player->dead = atoi(value) != 0;
            if (player->dead) player->health = 0;
            if (!player->dead && player->health <= 0) player->health = 100;
            if (wasDead && !player->dead) PlaceAtSpawnPoint(player);
        } else if (strcmp(field, "health") == 0) {
            player->health = atoi(value);
        } else if (strcmp(field, "eflags") == 0) {
            player->eflags = atoi(value);
        } else if (strcmp(field, "name") == 0) {
            player->Rename(value);
        } else if (strcmp(field, "connected") == 0) {
            player->connected = atoi(value) != 0;
        } else if (strcmp(field, "player") == 0) {
            player->isPlayer = atoi(value) != 0;
        } else {
            return false;
        }
        return true;
    }
    std::string DescribePlayer(edict_t* edict) override {
        CHostPlayer* p = PlayerOf(edict);
        if (!p) return "";
        return Format("team %d %s health %d", p->team, p->dead ? "dead" : "alive", p->health);
    }
    void GameFrame() override {}
    const std::vector<GameCall>& Calls() override { return s_calls; }
    void ClearCalls() override { s_calls.clear(); }

    static void Respawn(CHostPlayer* player) {
        player->dead = false;
        player->health = 100;
        PlaceAtSpawnPoint(player);
    }

    static void PlaceAtSpawnPoint(CHostPlayer* player) {
        if (s_spawnPoints.empty()) return;
        const SpawnPoint& point = s_spawnPoints[(player->Index() - 1) % s_spawnPoints.size()];
        player->origin = point.origin;
        player->angles = {0.0f, point.yaw, 0.0f};
    }

    bool GetPlayerState(edict_t* edict, HostPlayerState* state) override {
        CHostPlayer* p = PlayerOf(edict);
        if (!p || !state) return false;
        state->team = p->team;
        state->dead = p->dead;
        state->health = p->health;
        state->fake = p->IsFakeClient();
        state->origin = p->origin;
        state->angles = p->angles;
        state->lastCommand = p->lastCommand;
        state->commandsRun = p->commandsRun;
        state->notifications = p->notifications;
        state->activeWeapon = p->activeWeapon;
        return true;
    }
    bool PlacePlayer(edict_t* edict, const Vector& origin, const QAngle& angles) override {
        CHostPlayer* p = PlayerOf(edict);
        if (!p) return false;
        p->origin = origin;
        p->angles = angles;
        return true;
    }
    bool SetLastUserCommand(edict_t* edict, const CBotCmd& command) override {
        CHostPlayer* p = PlayerOf(edict);
        if (!p) return false;
        p->lastCommand = command;
        return true;
    }
    void AddSpawnPoint(const Vector& origin, float yaw) override { s_spawnPoints.push_back({origin, yaw}); }
};

CPlayerInfoManager s_playerInfoManager;
CBotManager s_botManager;
CServerGameDll s_serverGameDll;
CServerGameEnts s_serverGameEnts;
CHostGame s_hostGame;

CHostEntity* EntityOrNull(CBaseEntity* entity) { return reinterpret_cast<CHostEntity*>(entity); }

}  // namespace

// ---- game functions located through the signature data file --------------------

// VL_HOST_GAME_UPDATED builds the library as a game update might ship it (the tests'
// "updated" build; the normal build defines nothing here): GameSwitchTeam is no longer
// exported, GameHiddenRespawn is renamed, and a new function sits between two known ones.
#ifdef VL_HOST_GAME_UPDATED
#define VL_SWITCH_TEAM_VISIBILITY __attribute__((visibility("hidden"), used, noinline))
#define VL_HIDDEN_RESPAWN_NAME "GameHiddenRespawnNew"
#else
#define VL_SWITCH_TEAM_VISIBILITY VL_EXPORT
#define VL_HIDDEN_RESPAWN_NAME "GameHiddenRespawn"
#endif

extern "C" {

VL_EXPORT void GameDissolve(CBaseEntity* entity, const char* materialName, float startTime, bool npcOnly,
                            int dissolveType, Vector origin, int magnitude) {
    CHostEntity* e = EntityOrNull(entity);
    Record("GameDissolve", e,
           Format("\"%s\", %g, %s, %d, ", materialName ? materialName : "(null)", startTime, npcOnly ? "true" : "false",
                  dissolveType) +
               FormatVector(&origin) + Format(", %d", magnitude));
    if (e->owner) {
        e->owner->dead = true;
        e->owner->health = 0;
    }
    Announce(e, "dissolved");
}

VL_EXPORT void GameRemoveEntity(CBaseEntity* entity) {
    CHostEntity* e = EntityOrNull(entity);
    Record("GameRemoveEntity", e, "");
    Announce(e, "removed");
}

#ifdef VL_HOST_GAME_UPDATED
VL_EXPORT void GameRoundStart(CBaseEntity* entity) {
    CHostEntity* e = EntityOrNull(entity);
    Record("GameRoundStart", e, "");
    if (e->owner && !e->owner->dead) e->owner->health = 100;
}
#endif

VL_EXPORT void GameRoundRespawn(CBaseEntity* entity) {
    CHostEntity* e = EntityOrNull(entity);
    Record("GameRoundRespawn", e, "");
    if (e->owner) CHostGame::Respawn(e->owner);
    Announce(e, "respawned");
}

VL_EXPORT void GameCommitSuicide(CBaseEntity* entity) { Kill(EntityOrNull(entity), "GameCommitSuicide", "killed"); }

VL_SWITCH_TEAM_VISIBILITY void GameSwitchTeam(CBaseEntity* entity, int team) {
    CHostEntity* e = EntityOrNull(entity);
    Record("GameSwitchTeam", e, Format("%d", team));
    if (e->owner) e->owner->team = team;
    Announce(e, Format("moved to team %d", team));
}

// ---- game functions the library does not export -------------------------------
// A real server library exports few of its functions. These are hidden (local in the
// full symbol table, absent from the dynamic one), so the plugin finds them only by its
// fallbacks: the symbol table of the file on disk, or a byte signature.

// Found by name in the full symbol table of the unstripped library.
__attribute__((used, noinline)) void GameHiddenSlay(CBaseEntity* entity) {
    Kill(EntityOrNull(entity), "GameHiddenSlay", "slain");
}

__attribute__((used, noinline)) void GameHiddenRespawnBody(CBaseEntity* entity) {
    CHostEntity* e = EntityOrNull(entity);
    Record("GameHiddenRespawn", e, "");
    if (e->owner) CHostGame::Respawn(e->owner);
    Announce(e, "respawned");
}

// Three entry stubs written in assembly, so their first bytes are known whatever the
// compiler does; each forwards its caller's arguments untouched to a body above.
//   GameHiddenRespawn: 55 89 E5 B8 31 52 4C 56 5D E9 <rel32>   (mov $'VLR1', %eax)
//   GameHiddenTwinA:   55 89 E5 B8 32 52 4C 56 5D E9 <rel32>   (mov $'VLR2', %eax)
//   GameHiddenTwinB:   55 89 E5 B8 32 52 4C 56 90 5D E9 <rel32>
// The twins share their first eight bytes, so a signature of those matches twice.
// The x86-64 build writes the same bytes: 55 and 5D push and pop %rbp there, and 89 E5
// copies %esp into %ebp (clearing the upper half of %rbp, which the pop restores), so one
// data file's signatures serve both builds of this library.
#if defined(__x86_64__)
#define VL_STUB_FRAME_PUSH "  push %rbp\n"
#define VL_STUB_FRAME_POP "  pop %rbp\n"
#else
#define VL_STUB_FRAME_PUSH "  push %ebp\n"
#define VL_STUB_FRAME_POP "  pop %ebp\n"
#endif
__asm__(
    ".text\n"
    ".p2align 4\n"
    ".type " VL_HIDDEN_RESPAWN_NAME ", @function\n"
    VL_HIDDEN_RESPAWN_NAME ":\n"
    VL_STUB_FRAME_PUSH
    "  mov %esp, %ebp\n"
    "  mov $0x564C5231, %eax\n"
    VL_STUB_FRAME_POP
    "  jmp GameHiddenRespawnBody\n"
    ".size " VL_HIDDEN_RESPAWN_NAME ", .-" VL_HIDDEN_RESPAWN_NAME "\n"
    ".p2align 4\n"
    ".type GameHiddenTwinA, @function\n"
    "GameHiddenTwinA:\n"
    VL_STUB_FRAME_PUSH
    "  mov %esp, %ebp\n"
    "  mov $0x564C5232, %eax\n"
    VL_STUB_FRAME_POP
    "  jmp GameHiddenSlay\n"
    ".size GameHiddenTwinA, .-GameHiddenTwinA\n"
    ".p2align 4\n"
    ".type GameHiddenTwinB, @function\n"
    "GameHiddenTwinB:\n"
    VL_STUB_FRAME_PUSH
    "  mov %esp, %ebp\n"
    "  mov $0x564C5232, %eax\n"
    "  nop\n"
    VL_STUB_FRAME_POP
    "  jmp GameHiddenSlay\n"
    ".size GameHiddenTwinB, .-GameHiddenTwinB\n");

// The game's temporary-entity manager; the data file's "te" entry names it.
struct CHostTempEntities {
    int effectsSent;
};
VL_EXPORT CHostTempEntities g_TempEntities = {0};

VL_EXPORT void* CreateInterface(const char* name, int* returnCode) {
    struct Entry {
        const char* name;
        void* object;
    };
    const Entry entries[] = {
        {"PlayerInfoManager002", static_cast<IPlayerInfoManagerApi*>(&s_playerInfoManager)},
        {"BotManager001", static_cast<IBotManagerApi*>(&s_botManager)},
        {"ServerGameDLL006", static_cast<IServerGameDllApi*>(&s_serverGameDll)},
        {"ServerGameEnts001", &s_serverGameEnts},
        {HOSTGAME_INTERFACE_VERSION, static_cast<IHostGame*>(&s_hostGame)},
    };
    for (const Entry& entry : entries) {
        if (strcmp(entry.name, name) == 0) {
            if (returnCode) *returnCode = 0;
            return entry.object;
        }
    }
    if (returnCode) *returnCode = 1;
    return nullptr;
}

}  // extern "C"
