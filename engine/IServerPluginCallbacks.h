// The engine's plugin callback interface and the game-event listener interface. The
// engine calls the plugin object only through these virtual tables, by position, so the
// declaration order below is a binary contract.
#pragma once

#include "engine/EngineInterfaces.h"

// The engine's plugin result code; the plugin only ever returns PLUGIN_CONTINUE.
enum PLUGIN_RESULT {
    PLUGIN_CONTINUE = 0,
    PLUGIN_OVERRIDE,
    PLUGIN_STOP,
};

class IServerPluginCallbacks {
public:
    virtual bool Load(InterfaceFactoryFn interfaceFactory, InterfaceFactoryFn gameServerFactory) = 0;
    virtual void Unload() = 0;
    virtual void Pause() = 0;
    virtual void UnPause() = 0;
    virtual const char* GetPluginDescription() = 0;
    virtual void LevelInit(const char* mapName) = 0;
    virtual void ServerActivate(edict_t* edictList, int edictCount, int clientMax) = 0;
    virtual void GameFrame(bool simulating) = 0;
    virtual void LevelShutdown() = 0;
    virtual void ClientActive(edict_t* entity) = 0;
    virtual void ClientDisconnect(edict_t* entity) = 0;
    virtual void ClientPutInServer(edict_t* entity, const char* playerName) = 0;
    virtual void SetCommandClient(int index) = 0;
    virtual void ClientSettingsChanged(edict_t* edict) = 0;
    virtual PLUGIN_RESULT ClientConnect(bool* allowConnect, edict_t* entity, const char* name, const char* address,
                                        char* reject, int maxRejectLength) = 0;
    virtual PLUGIN_RESULT ClientCommand(edict_t* entity) = 0;
    virtual PLUGIN_RESULT NetworkIDValidated(const char* userName, const char* networkId) = 0;

protected:
    // Not virtual: the engine never deletes a plugin through this interface.
    ~IServerPluginCallbacks() = default;
};

class IGameEventListener2 {
public:
    virtual ~IGameEventListener2() = default;
    virtual void FireGameEvent(IGameEvent* event) = 0;
};
