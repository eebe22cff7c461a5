// The host console interface ("VEngineCvar003"), implemented by the runtime library
// "vstdlib_i486.so" and also handed out by the engine's interface factory.
#pragma once

#include "tier0/platform.h"

class ConCommandBase;
class ConVar;

class IEngineCvar {
public:
    // Takes a console object into the host console. The object stays owned by its
    // module, which must keep it alive while registered.
    virtual void RegisterConCommandBase(ConCommandBase* object) = 0;
    // Told after every change of a variable's text, with the text it had before.
    virtual void NotifyGlobalChange(ConVar* variable, const char* oldValue) = 0;

protected:
    ~IEngineCvar() = default;
};

extern "C" VL_EXPORT IEngineCvar* GetCVarIF();
