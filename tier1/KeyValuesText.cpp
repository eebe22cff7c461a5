// Value texts of key-value nodes in counted blocks: one block per text made on its own,
// large shared blocks for the texts of a load. Every text is preceded by the address of
// its block, so freeing needs nothing but the text.
#include "tier1/KeyValuesText.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <new>

#include "tier0/dbg.h"

#if defined(__SANITIZE_ADDRESS__)
#define VL_KV_TEXT_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VL_KV_TEXT_SANITIZED 1
#endif
#endif
#ifndef VL_KV_TEXT_SANITIZED
#define VL_KV_TEXT_SANITIZED 0
#endif

namespace KeyValuesText {

Block* g_pSharedTextBlock = nullptr;

namespace {

// How many load scopes are open, and how many blocks exist.
int s_nScopes = 0;
int s_nLiveBlocks = 0;

unsigned char* AreaOf(Block* block) { return reinterpret_cast<unsigned char*>(block + 1); }

Block* BlockOf(const char* text) {
    Block* block;
    memcpy(&block, text - kTextHeader, sizeof(block));
    return block;
}

// Room a text of `size` bytes takes in a shared block: header and text, rounded up to
// keep the next header aligned.
size_t CarvedSize(size_t size) { return (kTextHeader + size + 3) & ~static_cast<size_t>(3); }

Block* NewBlock(size_t area) {
    if (area > SIZE_MAX - sizeof(Block)) {
        Error("KeyValues: cannot allocate a value text of %u bytes\n", static_cast<unsigned int>(area));
        abort();
    }
    unsigned char* raw = new unsigned char[sizeof(Block) + area];
    ++s_nLiveBlocks;
    return new (raw) Block{0, 0, area};
}

void DeleteBlock(Block* block) {
    --s_nLiveBlocks;
    delete[] reinterpret_cast<unsigned char*>(block);
}

char* Carve(Block* block, size_t room) {
    unsigned char* at = AreaOf(block) + block->used;
    memcpy(at, &block, sizeof(block));
    block->used += room;
    ++block->live;
    return reinterpret_cast<char*>(at + kTextHeader);
}

void LetGoOfShared() {
    if (g_pSharedTextBlock && g_pSharedTextBlock->live == 0) DeleteBlock(g_pSharedTextBlock);
    g_pSharedTextBlock = nullptr;
}

}  // namespace

char* Alloc(size_t size) {
    if (size > SIZE_MAX - kTextHeader) {
        Error("KeyValues: cannot allocate a value text of %u bytes\n", static_cast<unsigned int>(size));
        abort();
    }
    Block* block = NewBlock(kTextHeader + size);
    return Carve(block, kTextHeader + size);
}

char* AllocForLoadSlow(size_t size) {
    // Sanitizer builds give every text its own block, so that an overrun or a use after
    // free of one text is still caught.
    if (VL_KV_TEXT_SANITIZED || s_nScopes == 0 || size > kLargestShared) return Alloc(size);
    size_t room = CarvedSize(size);
    if (!g_pSharedTextBlock || g_pSharedTextBlock->size - g_pSharedTextBlock->used < room) {
        LetGoOfShared();
        g_pSharedTextBlock = NewBlock(kChunkBytes);
    }
    return Carve(g_pSharedTextBlock, room);
}

void Free(char* text) {
    if (!text) return;
    Block* block = BlockOf(text);
    if (--block->live > 0) return;
    if (block == g_pSharedTextBlock) {
        block->used = 0;  // the shared block of a running load is reused from its start
    } else {
        DeleteBlock(block);
    }
}

char* Dup(const void* data, size_t size) {
    char* copy = Alloc(size);
    memcpy(copy, data, size);
    return copy;
}

char* DupText(const char* text) { return Dup(text, strlen(text) + 1); }

LoadScope::LoadScope() { ++s_nScopes; }

LoadScope::~LoadScope() {
    if (--s_nScopes == 0) LetGoOfShared();
}

int LiveBlocks() { return s_nLiveBlocks; }

}  // namespace KeyValuesText
