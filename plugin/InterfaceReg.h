// The interface registry: named creators that any translation unit can publish, and the
// exported CreateInterface through which other modules look them up by version string.
#pragma once

#include "engine/EngineInterfaces.h"

typedef void* (*InstantiateFn)();

// One published name. Registrations are static objects, linked into a newest-first
// list during static construction; they are never unlinked.
class InterfaceReg {
public:
    // Keeps the pointer `name`, not a copy: the text must outlive the registration.
    InterfaceReg(InstantiateFn fn, const char* name);

    InstantiateFn createFn;
    const char* interfaceName;
    InterfaceReg* nextReg;

    static InterfaceReg* s_pInterfaceRegs;
};

// Looks `name` up with an exact, case-sensitive comparison; the newest registration of a
// name wins. Found: stores 0 in *returnCode (when non-null) and returns what the creator
// returns, calling it on every lookup. Not found: stores 1 and returns null.
extern "C" VL_EXPORT void* CreateInterface(const char* name, int* returnCode);
