// The resolver and the signature-text decoder.
#include "sigscan/SigScan.h"

#include <ctype.h>
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "plugin/EngineInterfaces.h"
#include "tier0/dbg.h"

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
        Msg("SigScan ERROR: dlopen() failed with error: \"%s\", This means signature scanning all failed\n",
            error ? error : "unknown error");
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
    Msg("SigScan ERROR: dlsym() failed for function \"%s\" with error: \"%s\", plugin will not function properly.\n",
        name ? name : "", error ? error : "symbol has a null address");
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

int H2toI(int high, int low) {
    auto value = [](int c) { return c > '9' ? toupper(c) - 55 : c - 48; };
    return value(high) * 16 + value(low);
}

unsigned char* StrToHexStr(const char* text) {
    if (!text) text = "";
    const size_t length = strlen(text);
    unsigned char* bytes = new unsigned char[length / 2 + 1];
    size_t out = 0;
    for (size_t i = 0; i + 1 < length; i += 2) {
        bytes[out++] = static_cast<unsigned char>(H2toI(text[i], text[i + 1]));
    }
    bytes[out] = 0;
    return bytes;
}
