// The engine interface globals: null until the plugin's Load stores what the engine's
// factories return. They sit in a library of their own, below every subsystem that
// reads them (sigscan/, filter/, bots/) and below the plugin object that fills them.
#include "engine/EngineInterfaces.h"

// Constant-initialised, so they are null before any static constructor runs.
IEngineServerApi* engine = nullptr;
IGameEventsApi* gameeventmanager2 = nullptr;
IFileSystemApi* filesystem = nullptr;
IPluginHelpersApi* helpers = nullptr;
IEngineTraceApi* enginetrace = nullptr;
IEngineCvar* cvars = nullptr;
IStringTableApi* networkstringtable = nullptr;
IPlayerInfoManagerApi* playerinfomanager = nullptr;
IBotManagerApi* botmanager = nullptr;
IRandomStreamApi* randomStr = nullptr;
IServerGameDllApi* gamedll = nullptr;
IServerGameEntsApi* gameents = nullptr;
ServerGlobals* gpGlobals = nullptr;
