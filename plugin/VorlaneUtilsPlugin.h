// The plugin object the engine drives: its callbacks, the load sequence that acquires
// the engine interfaces, and DebugMsg, the leveled line that goes to the console and the
// server log.
#pragma once

#include "engine/IServerPluginCallbacks.h"

class CVorlaneUtilsPlugin : public IServerPluginCallbacks, public IGameEventListener2 {
public:
    // Constant-initialised: the object is complete before any static constructor runs.
    constexpr CVorlaneUtilsPlugin() : commandClientIndex(0) {}

    // Requests the twelve engine interfaces in a fixed order, stopping at the first
    // missing one (reported at level 3, returns false; what was stored stays stored).
    // On success sets gpGlobals and brings the plugin up; returns true.
    bool Load(InterfaceFactoryFn interfaceFactory, InterfaceFactoryFn gameServerFactory) override;
    void Unload() override;
    void Pause() override;
    void UnPause() override;
    // Rewrites and returns the one static description buffer.
    const char* GetPluginDescription() override;
    void LevelInit(const char* mapName) override;
    void ServerActivate(edict_t* edictList, int edictCount, int clientMax) override;
    void GameFrame(bool simulating) override;
    void LevelShutdown() override;
    void ClientActive(edict_t* entity) override;
    void ClientDisconnect(edict_t* entity) override;
    void ClientPutInServer(edict_t* entity, const char* playerName) override;
    void SetCommandClient(int index) override;
    void ClientSettingsChanged(edict_t* edict) override;
    PLUGIN_RESULT ClientConnect(bool* allowConnect, edict_t* entity, const char* name, const char* address,
                                char* reject, int maxRejectLength) override;
    PLUGIN_RESULT ClientCommand(edict_t* entity) override;
    PLUGIN_RESULT NetworkIDValidated(const char* userName, const char* networkId) override;

    ~CVorlaneUtilsPlugin() override;
    void FireGameEvent(IGameEvent* event) override;
    virtual int GetCommandIndex();

private:
    int commandClientIndex;
};

extern CVorlaneUtilsPlugin g_VorlaneUtilsPlugin;
extern char padesc[1024];
extern char vluversion[100];
extern char vlusponcer[100];  // the authors' web address; the spelling is the established name

// Writes one leveled line: 0 plain, 1 "Warning : ", 2 "Error : ", 3 "Fatal Error : ";
// any other level writes nothing. The line goes to the console and, once the engine
// interface is known, to the server log. The line is formatted in 1024 bytes: a text
// that does not fit is cut so that the line, with its line feed, is 1023 bytes long.
void DebugMsg(int level, const char* text);
