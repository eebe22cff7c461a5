// The registration list and its lookup.
#include "plugin/InterfaceReg.h"

#include <string.h>

InterfaceReg* InterfaceReg::s_pInterfaceRegs = nullptr;

InterfaceReg::InterfaceReg(InstantiateFn fn, const char* name)
    : createFn(fn), interfaceName(name), nextReg(s_pInterfaceRegs) {
    s_pInterfaceRegs = this;
}

void* CreateInterface(const char* name, int* returnCode) {
    for (InterfaceReg* reg = InterfaceReg::s_pInterfaceRegs; reg; reg = reg->nextReg) {
        if (strcmp(reg->interfaceName, name) == 0) {
            if (returnCode) *returnCode = 0;
            return reg->createFn();
        }
    }
    if (returnCode) *returnCode = 1;
    return nullptr;
}
