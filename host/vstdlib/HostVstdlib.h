// Controls of the substitute runtime library "vstdlib_i486.so" that only the host and
// the tests use: the console registry behind GetCVarIF, the key-value system's node
// count, and the seed of RandomFloat.
#pragma once

#include <string>
#include <vector>

#include "tier0/platform.h"
#include "vstdlib/IEngineCvar.h"

// The host console's registry: the objects handed in, in registration order, and every
// change notification received.
class VL_EXPORT CHostCvar : public IEngineCvar {
public:
    struct Notification {
        ConVar* variable;
        std::string oldValue;
    };

    void RegisterConCommandBase(ConCommandBase* object) override;
    void NotifyGlobalChange(ConVar* variable, const char* oldValue) override;

    const std::vector<ConCommandBase*>& Registered() const { return registered_; }
    const std::vector<Notification>& Notifications() const { return notifications_; }
    // Forgets every registered object and notification (for a module that unloads).
    void Clear();
    // Forgets one registered object and the notifications about it; false when it was
    // not registered.
    bool Unregister(ConCommandBase* object);

private:
    std::vector<ConCommandBase*> registered_;
    std::vector<Notification> notifications_;

protected:
    ~CHostCvar() = default;
};

extern "C" {
VL_EXPORT CHostCvar* HostVstdlib_Cvar();
// Key-value nodes allocated and not yet freed.
VL_EXPORT int HostVstdlib_LiveKeyValues();
// Distinct symbols in the key-value symbol table.
VL_EXPORT int HostVstdlib_SymbolCount();
// Restarts RandomFloat's stream.
VL_EXPORT void HostVstdlib_SetRandomSeed(unsigned int seed);
}
