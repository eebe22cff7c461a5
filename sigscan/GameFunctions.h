// The contracts of the game server library that no engine interface exposes, as the
// call layer calls them: the functions located through the signature table and the
// entity virtual slots called directly. The game library is built apart from the
// plugin, so nothing checks these against it at compile time; the tests state the slots
// and arguments on their own and check the calls the stand-in game library records.
//
// Every call passes the game object first, then the listed arguments in order, as a
// plain cdecl call (the i386 member-function convention of the game's compiler); a
// `Vector` by value is its three floats.
#pragma once

#include "math/vector.h"

class CBaseEntity;
class CBaseCombatWeapon;
class CBaseCombatCharacter;

// Functions found by entry name; their results are not used.
typedef void (*DissolveFn)(CBaseEntity* entity, const char* materialName, float startTime, bool npcOnly,
                           int dissolveType, Vector dissolverOrigin, int magnitude);
typedef void (*RemoveFn)(CBaseEntity* entity);
typedef void (*RoundRespawnFn)(CBaseEntity* entity);
typedef void (*CommitSuicideFn)(CBaseEntity* entity);
typedef void (*SwitchTeamFn)(CBaseEntity* entity, int team);

// Virtual slots of game objects, counted from 0 in the object's virtual table.
enum GameSlot : int {
    kSlotSetModel = 26,
    kSlotTeleport = 99,
    kSlotIgnite = 189,
    kSlotWeaponDrop = 220,
    kSlotWeaponSwitch = 221,
    kSlotWeaponGetSlot = 225,
    kSlotRemovePlayerItem = 227,
    kSlotGiveAmmo = 214,
    kSlotOnPickedUp = 262,
    kSlotGetName = 283,
    kSlotRemoveAllItems = 284,
    kSlotDelete = 307,
    kSlotGiveNamedItem = 330,
    kSlotCommitSuicide = 358,
};

typedef void (*SetModelSlot)(CBaseEntity* self, const char* model);
typedef void (*TeleportSlot)(CBaseEntity* self, const Vector* origin, const QAngle* angles, const Vector* velocity);
typedef void (*IgniteSlot)(CBaseEntity* self, float lifetime, bool npcOnly, float size, bool calledByLevelDesigner);
typedef CBaseEntity* (*GiveNamedItemSlot)(CBaseEntity* self, const char* name, int subType);
typedef void (*CommitSuicideSlot)(CBaseEntity* self);
typedef bool (*RemovePlayerItemSlot)(CBaseEntity* self, CBaseCombatWeapon* weapon);
typedef int (*GiveAmmoSlot)(CBaseEntity* self, int count, int ammoIndex, bool suppressSound);
typedef void (*RemoveAllItemsSlot)(CBaseEntity* self, bool removeSuit);
typedef const char* (*GetNameSlot)(CBaseCombatWeapon* self);
typedef CBaseCombatWeapon* (*WeaponGetSlotSlot)(CBaseEntity* self, int slot);
typedef bool (*WeaponSwitchSlot)(CBaseEntity* self, CBaseCombatWeapon* weapon, int viewModelIndex);
typedef void (*WeaponDropSlot)(CBaseEntity* self, CBaseCombatWeapon* weapon, const Vector* target,
                               const Vector* velocity);
typedef void (*DeleteSlot)(CBaseCombatWeapon* self);
typedef void (*OnPickedUpSlot)(CBaseCombatCharacter* self);

// The virtual table of any game object, as the call layer sees it.
template <typename Fn>
inline Fn GameSlotOf(const void* object, int slot) {
    void* const* table = *static_cast<void* const* const*>(object);
    return reinterpret_cast<Fn>(table[slot]);
}
