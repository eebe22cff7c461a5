// The key-value system of the runtime library "vstdlib_i486.so": node memory and the
// name <-> symbol table that key-value trees use instead of storing key names.
#pragma once

#include <stddef.h>

#include "tier0/platform.h"

typedef int HKeySymbol;
#define INVALID_KEY_SYMBOL (-1)

class IKeyValuesSystem {
public:
    // Slot 0 is reserved by the runtime; the system never calls it.
    virtual void RegisterSizeofKeyValues(int size) = 0;
    // Memory for one node; `size` is always the size of one node. Never null.
    virtual void* AllocKeyValuesMemory(int size) = 0;
    virtual void FreeKeyValuesMemory(void* memory) = 0;
    // The symbol of `name`, creating it when new. Equal texts (compared exactly) share
    // one symbol. A null name yields INVALID_KEY_SYMBOL.
    virtual HKeySymbol GetSymbolForString(const char* name) = 0;
    // The text of a symbol; "" for an unknown one. The text lives as long as the system.
    virtual const char* GetStringForSymbol(HKeySymbol symbol) = 0;

protected:
    ~IKeyValuesSystem() = default;
};

extern "C" VL_EXPORT IKeyValuesSystem* KeyValuesSystem();
