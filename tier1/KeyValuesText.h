// Storage of the value texts of key-value nodes (texts, kept source texts and the 8-byte
// blocks of 64-bit values), private to the key-value code. A text lives in a block that
// counts the texts it holds; freeing the last one frees the block. A text made on its own
// has a block to itself. While a load runs, the reader's texts are carved from large
// shared blocks instead, so a load makes a few large allocations rather than one per
// value; destroying the tree still frees every block, each when its last text goes.
//
// Ownership: a text from here is released only with KeyValuesText::Free, by the node
// that owns it. A block of a load stays allocated while any of its texts lives, so a tree
// that keeps a few loaded texts for long also keeps their blocks (at most one block of
// kChunkBytes per text kept).
#pragma once

#include <stddef.h>
#include <string.h>

namespace KeyValuesText {

// Bytes of one shared block of a load.
const size_t kChunkBytes = 64 * 1024;

// A text of `size` bytes (size >= 1) with a block of its own. Never null (running out
// of memory is fatal, as array new is).
char* Alloc(size_t size);

// A text of `size` bytes: from the shared block of the load in progress when a LoadScope
// is open and the text is small, otherwise as Alloc does.
inline char* AllocForLoad(size_t size);

// Releases a text; null does nothing.
void Free(char* text);

// Copies of `size` bytes, and of a terminated text with its terminator.
char* Dup(const void* data, size_t size);
char* DupText(const char* text);

// Marks a load in progress (scopes nest, for included files). When the outermost scope
// closes, the shared block is let go: freed at once when none of its texts is alive,
// otherwise when its last text is freed.
class LoadScope {
public:
    LoadScope();
    ~LoadScope();
    LoadScope(const LoadScope&) = delete;
    LoadScope& operator=(const LoadScope&) = delete;
};

// Blocks currently allocated (for tests: a leaked text keeps its block).
int LiveBlocks();

// ---- Implementation details -------------------------------------------------------------

// A block: a header, then the texts, each preceded by the block's address.
struct Block {
    int live;     // texts alive in the block
    size_t used;  // bytes of the area carved so far
    size_t size;  // bytes of the area that follows the block header
};
const size_t kTextHeader = sizeof(Block*);
// Texts larger than this never go into a shared block, so one large text cannot waste
// most of a block.
const size_t kLargestShared = kChunkBytes / 16;
// The shared block of the loads in progress: null while no load runs (and always in
// sanitizer builds, which give every text its own block).
extern Block* g_pSharedTextBlock;
// AllocForLoad when the shared block is missing or full, or the text is large.
char* AllocForLoadSlow(size_t size);

inline char* AllocForLoad(size_t size) {
    Block* block = g_pSharedTextBlock;
    // Room for the header and the text, rounded up to keep the next header aligned.
    const size_t room = (kTextHeader + size + 3) & ~static_cast<size_t>(3);
    if (!block || size > kLargestShared || block->size - block->used < room) return AllocForLoadSlow(size);
    unsigned char* at = reinterpret_cast<unsigned char*>(block + 1) + block->used;
    memcpy(at, &block, sizeof(block));
    block->used += room;
    ++block->live;
    return reinterpret_cast<char*>(at + kTextHeader);
}

}  // namespace KeyValuesText
