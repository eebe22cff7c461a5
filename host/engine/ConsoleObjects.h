// The engine's own view of a console object handed to it by a module: it knows the
// objects only by the positions of their virtual functions and the layout of their
// fields, exactly as a separately built engine would, and never includes the module's
// headers. Every call passes the object first (the i386 member-function convention).
#pragma once

#include <stddef.h>

#include "tier0/platform.h"

namespace console_slots {
// Common to commands and variables.
const int kIsCommand = 2;
const int kIsBitSet = 3;
const int kAddFlags = 4;
const int kGetName = 5;
const int kGetHelpText = 6;
const int kIsRegistered = 7;
// Commands.
const int kCanAutoComplete = 11;
const int kDispatch = 12;
// Variables.
const int kSetValueString = 10;
}  // namespace console_slots

// The fields the engine reads directly, in the modules' declaration order.
struct ConsoleObjectView {
    void* const* vtable;
    ConsoleObjectView* next;
    bool registered;
    const char* name;
    const char* helpText;
    int flags;
};

struct ConsoleVariableView {
    ConsoleObjectView common;
    ConsoleVariableView* parent;  // holds the value
    const char* defaultValue;
    char* stringValue;
    int stringLength;
    float floatValue;
    int intValue;
    bool hasMin;  // the bounds, each in force only when its flag is set
    float minValue;
    bool hasMax;
    float maxValue;
};
static_assert(offsetof(ConsoleObjectView, flags) == VL_LAYOUT(20, 40), "flags end the common part");
static_assert(offsetof(ConsoleVariableView, parent) == VL_LAYOUT(24, 48), "a variable's parent follows the common part");
static_assert(offsetof(ConsoleVariableView, stringValue) == VL_LAYOUT(32, 64), "then the default, then the text");
static_assert(offsetof(ConsoleVariableView, hasMin) == VL_LAYOUT(48, 84) &&
                  offsetof(ConsoleVariableView, maxValue) == VL_LAYOUT(60, 96),
              "the bounds follow the int value, each flag before its value");

template <typename Fn>
inline Fn ConsoleSlot(const void* object, int slot) {
    return reinterpret_cast<Fn>(static_cast<const ConsoleObjectView*>(object)->vtable[slot]);
}

inline const char* ConsoleObjectName(const void* object) {
    return ConsoleSlot<const char* (*)(const void*)>(object, console_slots::kGetName)(object);
}

inline bool ConsoleObjectIsCommand(const void* object) {
    return ConsoleSlot<bool (*)(const void*)>(object, console_slots::kIsCommand)(object);
}
