// The geometry of a library the dynamic loader has mapped into this process: where its
// segments lie, and which of them hold code. Read from the loader's own records, so the
// answers describe what is mapped, never what a file on disk claims.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct CodeRange {
    const unsigned char* begin;
    size_t size;
};

// The readable, executable segments of the module loaded at `loadBase` whose file name
// is `moduleName` (both as the dynamic loader reports them), counting only the bytes the
// file backs. At most `maxRanges` are stored; returns how many (0 when the module is not
// loaded or the arguments are unusable).
int ModuleCodeRanges(uintptr_t loadBase, const char* moduleName, CodeRange* ranges, int maxRanges);

// Whether [address, address + 1) lies in one of the module's loaded segments (of any
// kind). Used to refuse a symbol value that would point outside the library.
bool ModuleContains(uintptr_t loadBase, const char* moduleName, uintptr_t address);

// The load base and the loader's file name of the module behind a dynamic loader
// `handle`. False, leaving both untouched, when the handle is null or unknown. The name
// belongs to the loader and stays valid while the module is open.
bool ModuleOfHandle(void* handle, uintptr_t* loadBase, const char** moduleName);
