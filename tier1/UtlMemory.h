// CUtlMemory<T>: a growable block of elements, either owned (taken from the runtime
// allocator g_pMemAlloc) or borrowed from the caller. It is the storage under every list
// and buffer in the system; it never constructs or destroys elements itself.
#pragma once

#include <limits.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include "tier0/dbg.h"
#include "tier0/platform.h"
#include "tier0/memalloc.h"

// Reports a size that cannot be had (too many bytes for 32 bits, or refused by the
// allocator) through the runtime's fatal Error, and never returns. `count` is unsigned so
// that a request that already overflowed a signed count is still printed as asked.
[[noreturn]] inline void UtlMemory_FailGrow(const char* container, unsigned int count, size_t elementSize) {
    Error("%s: cannot grow to %u elements of %u bytes\n", container, count, static_cast<unsigned int>(elementSize));
    abort();  // Error does not return; this only keeps a returning handler from going on.
}

// Elements are moved by copying their bytes (on reallocation and when a vector shifts
// them), so T must be relocatable: it may own heap memory, but must not point into
// itself or register its own address anywhere.
//
// Growth policy (the grow size): 0 doubles, starting from (31 + sizeof(T)) / sizeof(T)
// elements (8 for 4-byte elements, 1 for 32 bytes and more); a positive value grows to
// the smallest multiple of it that holds the request; a negative value marks borrowed
// memory, which is never grown, reallocated or freed.
//
// Size limits: a block never exceeds INT_MAX bytes. A request beyond that, or one the
// allocator refuses, is fatal (UtlMemory_FailGrow) and is reported before anything is
// written, so no caller ever writes past a block that did not grow. When doubling or
// rounding up to the grow size would pass the limit but the request itself fits, the
// block grows to the largest count that fits instead.
template <class T>
class CUtlMemory {
public:
    // Owned memory. A positive `initCount` allocates that many elements at once; a
    // negative one is taken as 0. A negative `growSize` is taken as 0 (doubling): memory
    // made here is always owned.
    // Constant-initialised when `initCount` is 0, so a static container is empty before
    // any static constructor runs.
    constexpr explicit CUtlMemory(int growSize = 0, int initCount = 0)
        : m_pMemory(nullptr), m_nAllocationCount(0), m_nGrowSize(growSize < 0 ? 0 : growSize) {
        if (initCount > 0 && !TryReallocate(initCount)) {
            UtlMemory_FailGrow("CUtlMemory", static_cast<unsigned int>(initCount), sizeof(T));
        }
    }

    // Borrows `count` elements at `memory`; the caller keeps ownership and must keep the
    // block alive while this object uses it. A negative count is taken as 0.
    CUtlMemory(T* memory, int count) : m_pMemory(memory), m_nAllocationCount(count < 0 ? 0 : count), m_nGrowSize(-1) {}

    ~CUtlMemory() {
        // The exported containers rely on this layout: pointer, count, grow size.
        static_assert(sizeof(CUtlMemory) == VL_LAYOUT(12, 16), "CUtlMemory is a pointer and two ints");
        static_assert(offsetof(CUtlMemory, m_pMemory) == 0, "element pointer first");
        static_assert(offsetof(CUtlMemory, m_nAllocationCount) == VL_LAYOUT(4, 8), "allocation count second");
        static_assert(offsetof(CUtlMemory, m_nGrowSize) == VL_LAYOUT(8, 12), "grow size third");
        Purge();
    }

    CUtlMemory(const CUtlMemory&) = delete;
    CUtlMemory& operator=(const CUtlMemory&) = delete;

    // Index access is unchecked: 0 <= i < NumAllocated() is the caller's duty.
    T& operator[](int i) { return m_pMemory[i]; }
    const T& operator[](int i) const { return m_pMemory[i]; }
    // Exchanges the blocks of two memories (owned or borrowed, with their grow sizes) in
    // constant time; no element is copied or moved.
    void Swap(CUtlMemory& other) {
        T* memory = m_pMemory;
        m_pMemory = other.m_pMemory;
        other.m_pMemory = memory;
        const int count = m_nAllocationCount;
        m_nAllocationCount = other.m_nAllocationCount;
        other.m_nAllocationCount = count;
        const int grow = m_nGrowSize;
        m_nGrowSize = other.m_nGrowSize;
        other.m_nGrowSize = grow;
    }

    constexpr T* Base() { return m_pMemory; }
    constexpr const T* Base() const { return m_pMemory; }
    int NumAllocated() const { return m_nAllocationCount; }
    int GrowSize() const { return m_nGrowSize; }
    bool IsExternallyAllocated() const { return m_nGrowSize < 0; }

    // Largest element count whose byte size fits in a signed 32-bit int.
    static constexpr int MaxCount() { return static_cast<int>(INT_MAX / sizeof(T)); }

    // Makes room for at least NumAllocated() + num elements by the growth policy; the
    // block may move, so pointers into it are invalid afterwards. Borrowed memory is left
    // as it is (callers check NumAllocated()). A negative `num` is a programmer error and
    // fatal, and so is a size that cannot be had (see TryGrow). Grow(0) on an empty block
    // allocates the first block of the policy.
    void Grow(int num = 1) {
        if (IsExternallyAllocated()) return;
        if (num < 0) {
            Error("CUtlMemory: cannot grow by %d elements\n", num);
            abort();
        }
        // Both terms are non-negative ints, so the sum fits in 32 unsigned bits.
        unsigned int requested = static_cast<unsigned int>(m_nAllocationCount) + static_cast<unsigned int>(num);
        if (requested > static_cast<unsigned int>(MaxCount())) UtlMemory_FailGrow("CUtlMemory", requested, sizeof(T));
        int newCount = PolicyCount(static_cast<int>(requested));
        if (newCount == m_nAllocationCount && m_pMemory) return;
        if (!TryReallocate(newCount)) UtlMemory_FailGrow("CUtlMemory", static_cast<unsigned int>(newCount), sizeof(T));
    }

    // Grow for callers that fail softly: returns false, leaving the block as it was, when
    // the request needs more than INT_MAX bytes or the allocator refuses it (also when
    // `num` is negative). Borrowed memory is not grown and counts as success. When the
    // policy's size is refused but the exact request can be had, the block grows to
    // exactly the request instead.
    bool TryGrow(int num) {
        if (IsExternallyAllocated()) return true;
        if (num < 0) return false;
        unsigned int requested = static_cast<unsigned int>(m_nAllocationCount) + static_cast<unsigned int>(num);
        if (requested > static_cast<unsigned int>(MaxCount())) return false;
        int want = static_cast<int>(requested);
        int newCount = PolicyCount(want);
        if (newCount == m_nAllocationCount && m_pMemory) return true;
        return TryReallocate(newCount) || (want > m_nAllocationCount && TryReallocate(want));
    }

    // Makes the block hold exactly `num` elements when it holds fewer; otherwise, or for
    // borrowed memory, does nothing. The block may move. Fatal when the size cannot be had.
    void EnsureCapacity(int num) {
        if (!TryEnsureCapacity(num)) UtlMemory_FailGrow("CUtlMemory", static_cast<unsigned int>(num), sizeof(T));
    }

    // EnsureCapacity for callers that fail softly: false, block unchanged, when `num`
    // elements need more than INT_MAX bytes or the allocator refuses them.
    bool TryEnsureCapacity(int num) {
        if (m_nAllocationCount >= num || IsExternallyAllocated()) return true;
        return TryReallocate(num);
    }

    // Frees an owned block (pointer null, count 0; the grow size stays). Borrowed memory
    // is left entirely alone.
    void Purge() {
        if (IsExternallyAllocated()) return;
        if (m_pMemory) {
            g_pMemAlloc->Free(static_cast<void*>(m_pMemory));
            m_pMemory = nullptr;
        }
        m_nAllocationCount = 0;
    }

    // Purges owned memory, then borrows `count` elements at `memory` (see the borrowing
    // constructor). Any previous borrowed block is simply forgotten.
    void SetExternalBuffer(T* memory, int count) {
        Purge();
        m_pMemory = memory;
        m_nAllocationCount = count < 0 ? 0 : count;
        m_nGrowSize = -1;
    }

    // Moves borrowed memory onto an owned block with the same count and contents (or onto
    // no block when the count is 0), growing by `growSize` from then on (a negative value
    // is taken as 0). The borrowed block is not touched again. Owned memory is left alone.
    // Fatal when the block cannot be had.
    void ConvertToGrowableMemory(int growSize) {
        if (!TryConvertToGrowableMemory(growSize)) {
            UtlMemory_FailGrow("CUtlMemory", static_cast<unsigned int>(m_nAllocationCount), sizeof(T));
        }
    }

    // ConvertToGrowableMemory for callers that fail softly: false, still borrowing, when
    // the owned block cannot be had.
    bool TryConvertToGrowableMemory(int growSize) {
        if (!IsExternallyAllocated()) return true;
        if (m_nAllocationCount <= 0) {
            m_nGrowSize = growSize < 0 ? 0 : growSize;
            m_pMemory = nullptr;
            m_nAllocationCount = 0;
            return true;
        }
        if (m_nAllocationCount > MaxCount()) return false;
        size_t bytes = static_cast<size_t>(m_nAllocationCount) * sizeof(T);
        void* block = g_pMemAlloc->Alloc(bytes);
        if (!block) return false;
        memcpy(block, static_cast<const void*>(m_pMemory), bytes);
        m_pMemory = static_cast<T*>(block);
        m_nGrowSize = growSize < 0 ? 0 : growSize;
        return true;
    }

private:
    // The count the growth policy gives for a request of `want` elements
    // (0 <= want <= MaxCount()): the smallest multiple of a positive grow size, or the
    // doubling sequence from the first block; capped at MaxCount().
    int PolicyCount(int want) const {
        if (m_nGrowSize > 0) {
            int blocks = want > 0 ? (want - 1) / m_nGrowSize + 1 : 1;
            return blocks > MaxCount() / m_nGrowSize ? MaxCount() : blocks * m_nGrowSize;
        }
        int count = m_nAllocationCount;
        if (count == 0) count = static_cast<int>((31 + sizeof(T)) / sizeof(T));
        while (count < want) {
            if (count > MaxCount() / 2) return MaxCount();
            count *= 2;
        }
        return count;
    }

    // Resizes the owned block to `count` elements, keeping its bytes. False, with the old
    // block left as it was, when `count` is not in 1..MaxCount() or the allocator refuses.
    bool TryReallocate(int count) {
        if (count <= 0 || count > MaxCount()) return false;
        size_t bytes = static_cast<size_t>(count) * sizeof(T);
        void* block =
            m_pMemory ? g_pMemAlloc->Realloc(static_cast<void*>(m_pMemory), bytes) : g_pMemAlloc->Alloc(bytes);
        if (!block) return false;
        m_pMemory = static_cast<T*>(block);
        m_nAllocationCount = count;
        return true;
    }

    T* m_pMemory;
    int m_nAllocationCount;
    int m_nGrowSize;
};
