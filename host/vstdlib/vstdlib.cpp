// The substitute runtime library "vstdlib_i486.so": the key-value system (node memory
// and a hashed symbol table), the host console registry, and a seedable random stream.
#include <stdlib.h>

#include <deque>
#include <string>
#include <unordered_map>

#include "host/vstdlib/HostVstdlib.h"
#include "vstdlib/IKeyValuesSystem.h"
#include "vstdlib/random.h"

namespace {

class CHostKeyValuesSystem final : public IKeyValuesSystem {
public:
    void RegisterSizeofKeyValues(int) override {}
    void* AllocKeyValuesMemory(int size) override {
        void* memory = malloc(size > 0 ? size : 1);
        if (!memory) abort();  // the runtime never returns null for a node
        ++live;
        return memory;
    }
    void FreeKeyValuesMemory(void* memory) override {
        if (!memory) return;
        --live;
        free(memory);
    }
    HKeySymbol GetSymbolForString(const char* name) override {
        if (!name) return INVALID_KEY_SYMBOL;
        auto found = symbols_.find(name);
        if (found != symbols_.end()) return found->second;
        HKeySymbol symbol = static_cast<HKeySymbol>(names_.size());
        names_.emplace_back(name);  // a deque never moves its elements
        symbols_.emplace(names_.back(), symbol);
        return symbol;
    }
    const char* GetStringForSymbol(HKeySymbol symbol) override {
        if (symbol < 0 || static_cast<size_t>(symbol) >= names_.size()) return "";
        return names_[symbol].c_str();
    }

    int live = 0;
    int SymbolCount() const { return static_cast<int>(names_.size()); }

private:
    std::deque<std::string> names_;
    std::unordered_map<std::string, HKeySymbol> symbols_;
};

CHostKeyValuesSystem s_keyValuesSystem;

class CHostCvarImpl final : public CHostCvar {};
CHostCvarImpl s_cvar;

// xorshift32: small, fast and identical on every machine for a given seed.
unsigned int s_randomState = 0x12345678u;

unsigned int NextRandom() {
    unsigned int x = s_randomState;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s_randomState = x;
    return x;
}

}  // namespace

void CHostCvar::RegisterConCommandBase(ConCommandBase* object) { registered_.push_back(object); }

void CHostCvar::NotifyGlobalChange(ConVar* variable, const char* oldValue) {
    notifications_.push_back({variable, oldValue ? oldValue : ""});
}

void CHostCvar::Clear() {
    registered_.clear();
    notifications_.clear();
}

IKeyValuesSystem* KeyValuesSystem() { return &s_keyValuesSystem; }

IEngineCvar* GetCVarIF() { return &s_cvar; }

float RandomFloat(float low, float high) {
    float unit = static_cast<float>(NextRandom() >> 8) / static_cast<float>(1u << 24);  // [0, 1)
    return low + (high - low) * unit;
}

CHostCvar* HostVstdlib_Cvar() { return &s_cvar; }

int HostVstdlib_LiveKeyValues() { return s_keyValuesSystem.live; }

int HostVstdlib_SymbolCount() { return s_keyValuesSystem.SymbolCount(); }

void HostVstdlib_SetRandomSeed(unsigned int seed) { s_randomState = seed ? seed : 0x12345678u; }
