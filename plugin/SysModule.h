// Module loading: opening the game server's other modules by name and reaching their
// factories. Every module exports CreateInterface and lives under the server's "bin"
// directory with the module suffix ("_i486.so", or "_amd64.so" in the 64-bit build;
// engine/PlatformFiles.h). Nothing in the plugin calls these; they are
// exported for other code in the server process.
//
// Names are handled in 1024-byte buffers. A name that does not contain ".so" anywhere
// (in any letter case) gets the suffix appended, and every separator in it becomes '/'.
// Only the name decides: a working directory such as "game.source" does not.
// A name that does not fit in 1024 bytes whole, suffix included, is never opened: a cut
// name would open some other file.
#pragma once

#include "plugin/InterfaceReg.h"
#include "tier0/platform.h"

// The dynamic loader's handle of an opened module, cast; never dereferenced.
class CSysModule;

// Opens `name` (after the suffix rule) as it stands, binding every symbol now. The
// loader's handle, or null with no message.
VL_EXPORT void* Sys_LoadLibrary(const char* name);
// Opens a module: a relative name is tried first as "<working directory>/bin/<name>",
// then (or when the working directory cannot be read) as given; an absolute name only
// as given. Null, with no message, when neither opens. Unless the command line holds
// "-allowdebug", a module exporting "BuiltDebug" is a fatal error reported through
// Error as "Module <name> is a debug build"; should Error return, the module is closed
// and null returned.
VL_EXPORT CSysModule* Sys_LoadModule(const char* name);
// Closes a module opened by Sys_LoadModule; null is ignored.
VL_EXPORT void Sys_UnloadModule(CSysModule* module);
// The module's CreateInterface, or null (also for a null module).
VL_EXPORT InterfaceFactoryFn Sys_GetFactory(CSysModule* module);
// The CreateInterface of a module that is already loaded in the process, found by the
// loader's own rules for `moduleName` (no suffix rule); its load count is unchanged and
// a module that is not loaded is never loaded. When no such module is loaded, prints
// "DLOPEN Error:<reason>" to standard output and falls back, as for a null name, to
// the first CreateInterface in the process's global symbol scope (null when none).
// Pass a null name as (const char*)nullptr; a bare nullptr is ambiguous.
VL_EXPORT InterfaceFactoryFn Sys_GetFactory(const char* moduleName);
// This library's own CreateInterface.
VL_EXPORT InterfaceFactoryFn Sys_GetFactoryThis();
// Sys_LoadModule, then its factory asked for `interfaceVersion`. On success stores the
// module in *outModule (when outModule is non-null) and the interface in *outInterface
// and returns true. Returns false and closes the module when it has no CreateInterface
// (nothing stored) or when the factory yields null (null stored in *outInterface,
// *outModule untouched). A module that cannot be opened gives false and stores nothing.
// A null outInterface is allowed; nothing is stored through it.
VL_EXPORT bool Sys_LoadInterface(const char* moduleName, const char* interfaceVersion, CSysModule** outModule,
                                 void** outInterface);
// The loader's handle of a module that is already loaded, found by the loader's rules
// for `name`; its load count is unchanged and a module that is not loaded is never
// loaded. Otherwise prints "DLOPEN Error:<reason>" to standard output and returns null.
// A null name gives null without a message.
VL_EXPORT void* GetModuleHandle(const char* name);
