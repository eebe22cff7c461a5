// The resolver: opening the game server library and looking its symbols up.
#include "sigscan/SigScan.h"

#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "engine/EngineInterfaces.h"
#include "tier0/dbg.h"
#include "tier1/ConsoleLine.h"

void* g_BaseAddr = nullptr;

SigScan::SigScan() : failed(!GetBaseAddress()) {
    if (failed) Msg("SigScan ERROR: There was a error getting base address\n");
}

bool SigScan::GetBaseAddress() {
    char gameDir[512] = "";
    if (engine) engine->GetGameDir(gameDir, sizeof(gameDir));
    gameDir[sizeof(gameDir) - 1] = '\0';

    char path[512];
    const int needed = snprintf(path, sizeof(path), "%s/bin/server_i486.so", gameDir);
    if (needed < 0 || needed >= static_cast<int>(sizeof(path))) {
        g_BaseAddr = nullptr;
        Msg("SigScan ERROR: the game directory is too long for the server library path (%d characters), "
            "This means signature scanning all failed\n",
            needed);
        return false;
    }
    g_BaseAddr = dlopen(path, RTLD_NOW);
    if (!g_BaseAddr) {
        const char* error = dlerror();
        // The loader's text repeats the path, and so the game directory, whatever bytes it holds.
        CConsoleLine line;
        line.Append("SigScan ERROR: dlopen() failed with error: \"");
        line.AppendEscaped(error ? error : "unknown error", SIZE_MAX);
        line.Append("\", This means signature scanning all failed");
        line.End();
        return false;
    }
    return true;
}

void* SigScan::FindSymbolAddress(const char* name, const char* symbol) {
    if (!g_BaseAddr) return nullptr;
    dlerror();  // clear any stale error so the message below is this lookup's
    void* address = dlsym(g_BaseAddr, symbol ? symbol : "");
    if (address) return address;
    const char* error = dlerror();
    // The entry name comes from the data file, and the loader's text repeats the symbol.
    CConsoleLine line;
    line.Append("SigScan ERROR: dlsym() failed for function \"");
    line.AppendEscaped(name, SIZE_MAX);
    line.Append("\" with error: \"");
    line.AppendEscaped(error ? error : "symbol has a null address", SIZE_MAX);
    line.Append("\", plugin will not function properly.");
    line.End();
    return nullptr;
}

void* SigScan::FindFunctionAddresss(const char* name, unsigned char*, const char*, unsigned int, const char* symbol) {
    if (failed) return nullptr;
    return FindSymbolAddress(name, symbol);
}

void SigScan::Dispose() {
    if (g_BaseAddr) dlclose(g_BaseAddr);
    g_BaseAddr = nullptr;
}
