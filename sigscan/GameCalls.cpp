// Entity wrappers and table-based game calls.
#include "sigscan/GameCalls.h"

void SetModel(CBaseEntity* entity, const char* model) {
    GameSlotOf<SetModelSlot>(entity, kSlotSetModel)(entity, model);
}

void Teleport(CBaseEntity* entity, const Vector* origin, const QAngle* angles, const Vector* velocity) {
    GameSlotOf<TeleportSlot>(entity, kSlotTeleport)(entity, origin, angles, velocity);
}

void Ignite(CBaseEntity* entity, float lifetime, bool npcOnly, float size, bool calledByLevelDesigner) {
    GameSlotOf<IgniteSlot>(entity, kSlotIgnite)(entity, lifetime, npcOnly, size, calledByLevelDesigner);
}

CBaseEntity* GiveNamedItem(CBaseEntity* entity, const char* name, int subType) {
    return GameSlotOf<GiveNamedItemSlot>(entity, kSlotGiveNamedItem)(entity, name, subType);
}

void CommitSuicide(CBaseEntity* entity) { GameSlotOf<CommitSuicideSlot>(entity, kSlotCommitSuicide)(entity); }

bool RemovePlayerItem(CBaseEntity* entity, CBaseCombatWeapon* weapon) {
    return GameSlotOf<RemovePlayerItemSlot>(entity, kSlotRemovePlayerItem)(entity, weapon);
}

int GiveAmmo(CBaseEntity* entity, int count, int ammoIndex) {
    if (ammoIndex == 0) return 0;
    return GameSlotOf<GiveAmmoSlot>(entity, kSlotGiveAmmo)(entity, count, ammoIndex, false);
}

void RemoveAllItems(CBaseEntity* entity, bool removeSuit) {
    GameSlotOf<RemoveAllItemsSlot>(entity, kSlotRemoveAllItems)(entity, removeSuit);
}

const char* GetName(CBaseCombatWeapon* weapon) { return GameSlotOf<GetNameSlot>(weapon, kSlotGetName)(weapon); }

CBaseCombatWeapon* Weapon_GetSlot(CBaseEntity* entity, int slot) {
    return GameSlotOf<WeaponGetSlotSlot>(entity, kSlotWeaponGetSlot)(entity, slot);
}

bool Weapon_Switch(CBaseEntity* entity, CBaseCombatWeapon* weapon) {
    return GameSlotOf<WeaponSwitchSlot>(entity, kSlotWeaponSwitch)(entity, weapon, 0);
}

void Weapon_Drop(CBaseEntity* entity, CBaseCombatWeapon* weapon) {
    GameSlotOf<WeaponDropSlot>(entity, kSlotWeaponDrop)(entity, weapon, nullptr, nullptr);
}

void Delete(CBaseCombatWeapon* weapon) { GameSlotOf<DeleteSlot>(weapon, kSlotDelete)(weapon); }

void OnPickedUp(CBaseCombatCharacter* character) { GameSlotOf<OnPickedUpSlot>(character, kSlotOnPickedUp)(character); }

namespace {

// The entity behind an edict, or null when the edict, its owner object or its entity is
// missing.
CBaseEntity* EntityOf(edict_t* edict) {
    if (!edict || !edict->unknown) return nullptr;
    return edict->unknown->GetBaseEntity();
}

// Looks `entry` up and finds the entity; both must exist for a call to be made.
template <typename Fn>
bool Prepare(const char* entry, edict_t* edict, Fn* function, CBaseEntity** entity) {
    void* address = GetFuncAddr(entry);
    if (!address) return false;
    *entity = EntityOf(edict);
    if (!*entity) return false;
    *function = reinterpret_cast<Fn>(address);
    return true;
}

}  // namespace

bool UTIL_Dissolve(edict_t* edict, const char* materialName, float startTime, bool npcOnly, int dissolveType,
                   Vector dissolverOrigin, int magnitude) {
    DissolveFn dissolve;
    CBaseEntity* entity;
    if (!Prepare("CBaseAnimating::Dissolve", edict, &dissolve, &entity)) return false;
    dissolve(entity, materialName, startTime, npcOnly, dissolveType, dissolverOrigin, magnitude);
    return true;
}

bool UTIL_Remove(edict_t* edict) {
    RemoveFn remove;
    CBaseEntity* entity;
    if (!Prepare("UTIL_Remove", edict, &remove, &entity)) return false;
    remove(entity);
    return true;
}

bool UTIL_RespawnPlayer(edict_t* edict, bool) {
    RoundRespawnFn respawn;
    CBaseEntity* entity;
    if (!Prepare("CCSPlayer::RoundRespawn", edict, &respawn, &entity)) return false;
    respawn(entity);
    return true;
}

bool UTIL_KillPlayer(edict_t* edict) {
    CommitSuicideFn kill;
    CBaseEntity* entity;
    if (!Prepare("CommitSuicide", edict, &kill, &entity)) return false;
    kill(entity);
    return true;
}

bool UTIL_SwitchTeam(edict_t* edict, int team) {
    SwitchTeamFn switchTeam;
    CBaseEntity* entity;
    if (!Prepare("CCSPlayer::SwitchTeam", edict, &switchTeam, &entity)) return false;
    switchTeam(entity, team);
    return true;
}

void* VRN_GetTempEnts() { return GetFuncAddr("te"); }
