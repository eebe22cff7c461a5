// Questions about a library this process may already have loaded, asked without loading
// it or keeping it loaded (dlopen with RTLD_NOLOAD, then dlclose).
#pragma once

#include <dlfcn.h>

#include <string>

// Whether the library at `path` is loaded.
inline bool IsLoaded(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

// The address of the exported `name` in the library at `path`, as a T; null when the
// library is not loaded or does not export it. The address stays valid only while
// whoever loaded the library keeps it.
template <typename T = void*>
T LoadedSymbol(const std::string& path, const char* name) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    void* address = handle ? dlsym(handle, name) : nullptr;
    if (handle) dlclose(handle);
    return reinterpret_cast<T>(address);
}
