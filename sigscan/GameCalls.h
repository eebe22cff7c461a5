// The typed layer through which plugin code acts on game entities: wrappers that call a
// fixed virtual slot of a game object, and UTIL_ calls that look a game function up in
// the function table by entry name and call it on the entity behind an edict. Nothing
// is cached: every UTIL_ call repeats the table lookup.
#pragma once

#include "engine/EngineInterfaces.h"
#include "sigscan/GameFunctions.h"
#include "sigscan/SigScanTable.h"

// Entity wrappers: no argument is checked (except GiveAmmo's ammo index); the caller
// passes live game objects.
VL_EXPORT void SetModel(CBaseEntity* entity, const char* model);
VL_EXPORT void Teleport(CBaseEntity* entity, const Vector* origin, const QAngle* angles, const Vector* velocity);
VL_EXPORT void Ignite(CBaseEntity* entity, float lifetime, bool npcOnly, float size, bool calledByLevelDesigner);
VL_EXPORT CBaseEntity* GiveNamedItem(CBaseEntity* entity, const char* name, int subType);
VL_EXPORT void CommitSuicide(CBaseEntity* entity);
VL_EXPORT bool RemovePlayerItem(CBaseEntity* entity, CBaseCombatWeapon* weapon);
// Returns 0 without calling the game when `ammoIndex` is 0.
VL_EXPORT int GiveAmmo(CBaseEntity* entity, int count, int ammoIndex);
VL_EXPORT void RemoveAllItems(CBaseEntity* entity, bool removeSuit);
// The weapon's class name as the game reports it (owned by the game).
VL_EXPORT const char* GetName(CBaseCombatWeapon* weapon);
VL_EXPORT CBaseCombatWeapon* Weapon_GetSlot(CBaseEntity* entity, int slot);
VL_EXPORT bool Weapon_Switch(CBaseEntity* entity, CBaseCombatWeapon* weapon);
VL_EXPORT void Weapon_Drop(CBaseEntity* entity, CBaseCombatWeapon* weapon);
VL_EXPORT void Delete(CBaseCombatWeapon* weapon);
VL_EXPORT void OnPickedUp(CBaseCombatCharacter* character);

// Table-based calls: false when the entry is not in the table (missing data file,
// disabled or unresolved entry), when `edict` is null, or when it has no entity;
// otherwise the game function is called and the result is true. Nothing is printed.
VL_EXPORT bool UTIL_Dissolve(edict_t* edict, const char* materialName, float startTime, bool npcOnly, int dissolveType,
                             Vector dissolverOrigin, int magnitude);
VL_EXPORT bool UTIL_Remove(edict_t* edict);
// `respawn` is accepted for callers' sake and not used.
VL_EXPORT bool UTIL_RespawnPlayer(edict_t* edict, bool respawn);
VL_EXPORT bool UTIL_KillPlayer(edict_t* edict);
VL_EXPORT bool UTIL_SwitchTeam(edict_t* edict, int team);

// The address the table holds for the entry "te" (the game's temporary-entity object,
// a data symbol), or null when there is no such entry. The address itself is returned,
// not a pointer read from it: the symbol names the object, and reading through it would
// misinterpret the object's first word. The table build sets `te` (SigScanTable.h) the
// same way.
void* VRN_GetTempEnts();
