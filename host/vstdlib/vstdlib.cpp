// The substitute runtime library "vstdlib_i486.so": the key-value system (pooled node
// memory and a hashed symbol table), the host console registry, and a seedable random
// stream.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "host/vstdlib/HostVstdlib.h"
#include "vstdlib/IKeyValuesSystem.h"
#include "vstdlib/random.h"

#if defined(__SANITIZE_ADDRESS__)
#define VL_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VL_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef VL_ADDRESS_SANITIZER
#define VL_ADDRESS_SANITIZER 0
#endif

namespace {

// Node memory comes from large slabs carved into node-sized blocks with a free list, so
// a node costs a pointer pop; sanitizer builds use malloc per node instead, so that a use
// after free is still caught. Names live in a string arena and are found through
// an open-addressing hash table keyed by the text itself, so a lookup allocates nothing.
class CHostKeyValuesSystem final : public IKeyValuesSystem {
public:
    void RegisterSizeofKeyValues(int) override {}

    void* AllocKeyValuesMemory(int size) override {
        void* memory = nullptr;
#if VL_ADDRESS_SANITIZER
        memory = malloc(size > 0 ? size : 1);
#else
        memory = PoolAlloc(size > 0 ? static_cast<size_t>(size) : 1);
#endif
        if (!memory) abort();  // the runtime never returns null for a node
        ++live;
        return memory;
    }

    void FreeKeyValuesMemory(void* memory) override {
        if (!memory) return;
        --live;
#if VL_ADDRESS_SANITIZER
        free(memory);
#else
        PoolFree(memory);
#endif
    }

    HKeySymbol GetSymbolForString(const char* name) override {
        if (!name) return INVALID_KEY_SYMBOL;
        const size_t length = strlen(name);
        const uint32_t hash = Hash(name, length);
        size_t slot = hash & (slots_.size() - 1);
        for (;; slot = (slot + 1) & (slots_.size() - 1)) {
            const HKeySymbol symbol = slots_[slot];
            if (symbol == INVALID_KEY_SYMBOL) break;
            const Name& entry = names_[symbol];
            if (entry.hash == hash && entry.length == length && memcmp(entry.text, name, length) == 0) return symbol;
        }
        const HKeySymbol symbol = static_cast<HKeySymbol>(names_.size());
        names_.push_back({StoreText(name, length), length, hash});
        slots_[slot] = symbol;
        if (names_.size() * 2 > slots_.size()) Rehash(slots_.size() * 2);
        return symbol;
    }

    const char* GetStringForSymbol(HKeySymbol symbol) override {
        if (symbol < 0 || static_cast<size_t>(symbol) >= names_.size()) return "";
        return names_[symbol].text;
    }

    int live = 0;
    int SymbolCount() const { return static_cast<int>(names_.size()); }

private:
    struct Name {
        const char* text;
        size_t length;
        uint32_t hash;
    };

    // FNV-1a: simple, and good enough for key names.
    static uint32_t Hash(const char* text, size_t length) {
        uint32_t hash = 2166136261u;
        for (size_t i = 0; i < length; ++i) hash = (hash ^ static_cast<unsigned char>(text[i])) * 16777619u;
        return hash;
    }

    void Rehash(size_t capacity) {
        std::vector<HKeySymbol> slots(capacity, INVALID_KEY_SYMBOL);
        for (size_t symbol = 0; symbol < names_.size(); ++symbol) {
            size_t slot = names_[symbol].hash & (capacity - 1);
            while (slots[slot] != INVALID_KEY_SYMBOL) slot = (slot + 1) & (capacity - 1);
            slots[slot] = static_cast<HKeySymbol>(symbol);
        }
        slots_.swap(slots);
    }

    // Copies a name into the arena; arena blocks never move or go away.
    const char* StoreText(const char* text, size_t length) {
        if (arenaUsed_ + length + 1 > arenaSize_) {
            arenaSize_ = length + 1 > kArenaBlock ? length + 1 : kArenaBlock;
            arena_.emplace_back(static_cast<char*>(malloc(arenaSize_)));
            if (!arena_.back()) abort();  // the stand-in runtime does not model running out here
            arenaUsed_ = 0;
        }
        char* stored = arena_.back().get() + arenaUsed_;
        memcpy(stored, text, length);
        stored[length] = '\0';
        arenaUsed_ += length + 1;
        return stored;
    }

    // Every node has the same size; the first request fixes it. A request of another
    // size (never made by the key-value tree) goes to malloc, marked so Free can tell.
    void* PoolAlloc(size_t size) {
        if (nodeSize_ == 0) nodeSize_ = (size + kHeader + 15) & ~static_cast<size_t>(15);
        if (size + kHeader > nodeSize_) {
            auto* block = static_cast<unsigned char*>(malloc(size + kHeader));
            if (!block) return nullptr;
            *reinterpret_cast<uint32_t*>(block) = kFromMalloc;
            return block + kHeader;
        }
        if (!freeList_) {
            const size_t count = kSlabBytes / nodeSize_;
            auto* slab = static_cast<unsigned char*>(malloc(count * nodeSize_));
            if (!slab) return nullptr;
            slabs_.emplace_back(slab);
            for (size_t i = count; i-- > 0;) {
                FreeBlock* block = reinterpret_cast<FreeBlock*>(slab + i * nodeSize_);
                block->next = freeList_;
                freeList_ = block;
            }
        }
        FreeBlock* block = freeList_;
        freeList_ = block->next;
        auto* bytes = reinterpret_cast<unsigned char*>(block);
        *reinterpret_cast<uint32_t*>(bytes) = kFromPool;
        return bytes + kHeader;
    }

    void PoolFree(void* memory) {
        unsigned char* bytes = static_cast<unsigned char*>(memory) - kHeader;
        if (*reinterpret_cast<uint32_t*>(bytes) == kFromMalloc) {
            free(bytes);
            return;
        }
        FreeBlock* block = reinterpret_cast<FreeBlock*>(bytes);
        block->next = freeList_;
        freeList_ = block;
    }

    struct FreeBlock {
        FreeBlock* next;
    };
    static const size_t kHeader = 16;  // keeps nodes 16-byte aligned, holds the origin mark
    static const uint32_t kFromPool = 0x504f4f4cu;
    static const uint32_t kFromMalloc = 0x4d414c4cu;
    static const size_t kSlabBytes = 64 * 1024;
    static const size_t kArenaBlock = 64 * 1024;

    std::vector<Name> names_;
    std::vector<HKeySymbol> slots_ = std::vector<HKeySymbol>(1024, INVALID_KEY_SYMBOL);
    // The runtime's own blocks come from malloc, not array new: tests count the array
    // blocks of the code under test, and these live as long as the process.
    struct MallocDeleter {
        void operator()(void* memory) const { free(memory); }
    };
    std::vector<std::unique_ptr<char, MallocDeleter>> arena_;
    size_t arenaUsed_ = 0;
    size_t arenaSize_ = 0;
    size_t nodeSize_ = 0;
    FreeBlock* freeList_ = nullptr;
    std::vector<std::unique_ptr<unsigned char, MallocDeleter>> slabs_;
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

bool CHostCvar::Unregister(ConCommandBase* object) {
    auto found = std::find(registered_.begin(), registered_.end(), object);
    if (found == registered_.end()) return false;
    registered_.erase(found);
    // A variable notifies with its own address, the object's address.
    notifications_.erase(std::remove_if(notifications_.begin(), notifications_.end(),
                                        [object](const Notification& notification) {
                                            return static_cast<void*>(notification.variable) ==
                                                   static_cast<void*>(object);
                                        }),
                         notifications_.end());
    return true;
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
