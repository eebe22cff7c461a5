// The replaceable array forms of the global allocation functions, counting.
#include "support/ArrayAllocations.h"

#include <stdlib.h>

#include <atomic>
#include <new>

namespace {
// Constant-initialised: array new may run before main, from any unit's static objects.
std::atomic<int> s_liveArrays{0};
std::atomic<int> s_madeArrays{0};
}  // namespace

int LiveArrayAllocations() { return s_liveArrays.load(); }
int ArrayAllocationsMade() { return s_madeArrays.load(); }

#ifndef VL_SANITIZE

void* operator new[](size_t size) {
    void* block = malloc(size ? size : 1);
    if (!block) throw std::bad_alloc();
    ++s_liveArrays;
    ++s_madeArrays;
    return block;
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    void* block = malloc(size ? size : 1);
    if (block) {
        ++s_liveArrays;
        ++s_madeArrays;
    }
    return block;
}

void operator delete[](void* block) noexcept {
    if (!block) return;
    --s_liveArrays;
    free(block);
}

void operator delete[](void* block, size_t) noexcept { operator delete[](block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { operator delete[](block); }

#endif
