// Small modules for the module-loading tests, one source built three ways:
//   SYSMOD_FACTORY    exports CreateInterface answering "SysModTest001";
//   SYSMOD_DEBUG      the same, and also exports "BuiltDebug";
//   SYSMOD_NOFACTORY  exports only an unrelated function.
#include <string.h>

#include "tier0/platform.h"

#if defined(SYSMOD_FACTORY) || defined(SYSMOD_DEBUG)
namespace {
// What the factory hands out: a record the tests can recognise.
struct TestInterface {
    int magic;
};
TestInterface s_interface = {0x5e5a};
}  // namespace

extern "C" VL_EXPORT void* CreateInterface(const char* name, int* returnCode) {
    bool found = strcmp(name, "SysModTest001") == 0;
    if (returnCode) *returnCode = found ? 0 : 1;
    return found ? &s_interface : nullptr;
}
#endif

#if defined(SYSMOD_DEBUG)
extern "C" {
VL_EXPORT int BuiltDebug = 1;
}
#endif

#if defined(SYSMOD_NOFACTORY)
extern "C" VL_EXPORT int SysModTestValue() { return 7; }
#endif
