// The player scan shared by the recipient filter's group adds and filter expressions:
// slots 1 up to and including the maximum client count, asked of the engine afresh.
#pragma once

#include "engine/EngineInterfaces.h"

// The highest player slot, read again by each caller on each step of a scan; 0 before
// the engine interface globals are set (so a scan then visits nothing).
inline int FilterMaxClients() { return gpGlobals && engine && playerinfomanager ? gpGlobals->maxClients : 0; }

// The player information of slot `index`, or null when the engine has no edict for
// it, the edict is free, or the game has no player information for it.
inline IPlayerInfoApi* FilterPlayerInfo(int index) {
    edict_t* edict = engine->PEntityOfEntIndex(index);
    if (!edict || (edict->stateFlags & FL_EDICT_FREE)) return nullptr;
    return playerinfomanager->GetPlayerInfo(edict);
}
