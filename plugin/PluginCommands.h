// The plugin's console interface: "vl_sigscan", "vl_spawn", "vl_changeteam" and the
// variable "vl_utils_version", and their registration with the engine's console once
// Load has succeeded.
#pragma once

#include "engine/EngineInterfaces.h"
#include "tier1/Convar.h"

// The engine's flag on every console object a plugin registers.
#define FCVAR_PLUGIN 0x40000
// Flag of the version variable, interpreted by the engine's console only.
#define FCVAR_NOTIFY 0x100

// Hands each console object to the engine's console: marks it FCVAR_PLUGIN, takes it
// off the registry's local list, and registers it. Always reports success.
class CPluginConVarAccessor : public IConCommandBaseAccessor {
public:
    bool RegisterConCommandBase(ConCommandBase* object) override;
};

extern CPluginConVarAccessor g_ConVarAccessor;

// Asks `interfaceFactory` for the console interface once more and, when it answers,
// registers every listed console object through g_ConVarAccessor. Without the interface
// nothing is registered and nothing is printed.
void InitCVars(InterfaceFactoryFn interfaceFactory);

// The command functions; they read their arguments from the engine.
void vlsigscan();
// "vl_sigscan_reload": rebuilds the table from the data file, then lists it as
// vl_sigscan does with a closing "N of M entries located" line; on failure one line says
// why and the previous table stays.
void vlsigscanreload();
void vlspawn();
void vlcteam();
