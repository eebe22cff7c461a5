// Module loading through the dynamic loader; contracts are in SysModule.h.
#include "plugin/SysModule.h"

#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "engine/PlatformFiles.h"
#include "tier0/commandline.h"
#include "tier0/dbg.h"
#include "tier1/ConsoleLine.h"
#include "tier1/PathTools.h"
#include "tier1/StrTools.h"

namespace {

const int kNameSize = 1024;

// The file to open for module `name`: `prefix` (a directory, or ""), the name, and
// kModuleSuffix when the name holds no ".so" in any letter case, with every separator
// made '/'. Only the name decides the suffix: a directory such as "game.source" must not
// change which file is opened. False when the whole does not fit in kNameSize bytes.
bool ModulePath(char* path, const char* prefix, const char* name) {
    const char* suffix = V_stristr(name, ".so") ? "" : kModuleSuffix;
    if (V_snprintf(path, kNameSize, "%s%s%s", prefix, name, suffix) >= kNameSize) return false;
    V_FixSlashes(path, '/');
    return true;
}

void* OpenModulePath(const char* name) {
    char path[kNameSize];
    return ModulePath(path, "", name) ? dlopen(path, RTLD_NOW) : nullptr;
}

// "<working directory>/bin/<name>" under the suffix rule, or null when the working
// directory cannot be read or the path does not fit.
void* OpenUnderWorkingDirectory(const char* name) {
    char directory[kNameSize];
    if (!getcwd(directory, sizeof(directory))) return nullptr;
    size_t length = strlen(directory);
    if (length > 0 && directory[length - 1] == '/') directory[length - 1] = '\0';
    char prefix[kNameSize];
    if (V_snprintf(prefix, sizeof(prefix), "%s/bin/", directory) >= kNameSize) return nullptr;
    char path[kNameSize];
    return ModulePath(path, prefix, name) ? dlopen(path, RTLD_NOW) : nullptr;
}

// The handle of `name` when the loader already has it loaded, with one more reference
// that the caller must drop; null otherwise, after printing why. A module that is not
// loaded stays unloaded: handing out an address inside a module that is closed again
// at once would leave the caller with a dangling pointer.
void* ReferenceLoadedModule(const char* name) {
    dlerror();
    void* handle = dlopen(name, RTLD_NOW | RTLD_NOLOAD);
    if (!handle) {
        // The loader gives no text when the file exists but is not loaded.
        const char* reason = dlerror();
        char fallback[kNameSize];
        if (!reason) {
            V_snprintf(fallback, sizeof(fallback), "%s: module is not loaded", name);
            reason = fallback;
        }
        // The loader's text repeats the module name, which comes from the caller: escaped
        // as every console line with outside text is, so it cannot forge lines.
        fputs("DLOPEN Error:", stdout);
        char piece[256];
        for (size_t done = 0, consumed = 0; reason[done] != 0; done += consumed) {
            fwrite(piece, 1, EscapeConsoleText(reason + done, SIZE_MAX, false, piece, sizeof(piece), &consumed), stdout);
        }
        fputs("\n", stdout);
        fflush(stdout);
    }
    return handle;
}

InterfaceFactoryFn FactoryOf(void* handle) {
    return reinterpret_cast<InterfaceFactoryFn>(dlsym(handle, "CreateInterface"));
}

}  // namespace

void* Sys_LoadLibrary(const char* name) { return OpenModulePath(name); }

CSysModule* Sys_LoadModule(const char* name) {
    void* handle = nullptr;
    if (!V_IsAbsolutePath(name)) handle = OpenUnderWorkingDirectory(name);
    if (!handle) handle = OpenModulePath(name);
    if (!handle) return nullptr;

    if (!CommandLine_Tier0()->FindParm("-allowdebug") && dlsym(handle, "BuiltDebug")) {
        Error("Module %s is a debug build\n", name);
        dlclose(handle);
        return nullptr;
    }
    return reinterpret_cast<CSysModule*>(handle);
}

void Sys_UnloadModule(CSysModule* module) {
    if (module) dlclose(module);
}

InterfaceFactoryFn Sys_GetFactory(CSysModule* module) { return module ? FactoryOf(module) : nullptr; }

InterfaceFactoryFn Sys_GetFactory(const char* moduleName) {
    if (moduleName) {
        void* handle = ReferenceLoadedModule(moduleName);
        if (handle) {
            InterfaceFactoryFn factory = FactoryOf(handle);
            // The module was loaded before this call and stays loaded after it.
            dlclose(handle);
            return factory;
        }
    }
    return FactoryOf(RTLD_DEFAULT);
}

InterfaceFactoryFn Sys_GetFactoryThis() { return CreateInterface; }

bool Sys_LoadInterface(const char* moduleName, const char* interfaceVersion, CSysModule** outModule,
                       void** outInterface) {
    CSysModule* module = Sys_LoadModule(moduleName);
    if (!module) return false;
    InterfaceFactoryFn factory = Sys_GetFactory(module);
    if (!factory) {
        Sys_UnloadModule(module);
        return false;
    }
    void* object = factory(interfaceVersion, nullptr);
    if (outInterface) *outInterface = object;
    if (!object) {
        Sys_UnloadModule(module);
        return false;
    }
    if (outModule) *outModule = module;
    return true;
}

void* GetModuleHandle(const char* name) {
    if (!name) return nullptr;
    void* handle = ReferenceLoadedModule(name);
    // Dropping our reference leaves the module as loaded as it was, so the handle stays
    // valid for as long as its other users keep it.
    if (handle) dlclose(handle);
    return handle;
}
