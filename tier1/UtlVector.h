// CUtlVector<T>: an ordered array of constructed elements on top of CUtlMemory<T>. It
// backs the system's lists (function table, bot registry, recipient slots, split
// strings); removal keeps the order of the rest and emptying keeps the memory.
#pragma once

#include <assert.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <new>

#include "tier0/dbg.h"
#include "tier0/platform.h"
#include "tier1/UtlMemory.h"

// Elements are copy-constructed in place and destroyed explicitly; between those the
// vector moves them as raw bytes, so T must be relocatable (see CUtlMemory). Growth
// follows the memory's policy; a size that cannot be had is fatal before anything is
// written (see CUtlMemory). Pointers and references to elements are invalidated by any
// insertion (the block may move, and later elements shift) and by removal of an earlier
// element.
//
// Index rules: operator[] and Element are unchecked (asserted in debug builds only);
// InsertBefore and Remove check their index and treat a bad one as a fatal programmer
// error, since going on would corrupt the block.
template <class T>
class CUtlVector {
public:
    // An empty vector; `initSize` elements of room are allocated at once when positive.
    // Constant-initialised when `initSize` is 0 (a static vector is empty before any
    // static constructor runs, whatever the order of the units).
    constexpr explicit CUtlVector(int growSize = 0, int initSize = 0)
        : m_Memory(growSize, initSize), m_Size(0), m_pElements(nullptr) {
        ResetDbgInfo();
    }

    ~CUtlVector() {
        // Exported vectors are read by layout: the memory, the count, the pointer copy.
        static_assert(sizeof(CUtlVector) == VL_LAYOUT(20, 32), "CUtlVector is five 32-bit words (padded on x86-64)");
        static_assert(offsetof(CUtlVector, m_Memory) == 0, "memory first");
        static_assert(offsetof(CUtlVector, m_Size) == VL_LAYOUT(12, 16), "element count after the memory");
        static_assert(offsetof(CUtlVector, m_pElements) == VL_LAYOUT(16, 24), "element pointer copy last");
        Purge();
    }

    CUtlVector(const CUtlVector&) = delete;
    CUtlVector& operator=(const CUtlVector&) = delete;

    T& operator[](int i) {
        assert(IsValidIndex(i));
        return m_Memory[i];
    }
    const T& operator[](int i) const {
        assert(IsValidIndex(i));
        return m_Memory[i];
    }
    T& Element(int i) { return (*this)[i]; }
    const T& Element(int i) const { return (*this)[i]; }
    T* Base() { return m_Memory.Base(); }
    const T* Base() const { return m_Memory.Base(); }
    int Count() const { return m_Size; }
    int NumAllocated() const { return m_Memory.NumAllocated(); }
    bool IsValidIndex(int i) const { return i >= 0 && i < m_Size; }

    // Appends / prepends / inserts a copy of `src` and returns its index. `src` may be
    // an element of this vector itself: it is copied before the block can move.
    int AddToTail(const T& src) { return InsertBefore(m_Size, src); }
    // Appends a value-initialised element (zero-filled for plain data) to be filled in
    // place, and returns its index.
    int AddToTail() {
        GrowVector(1);
        new (static_cast<void*>(Base() + m_Size - 1)) T();
        return m_Size - 1;
    }
    int AddToHead(const T& src) { return InsertBefore(0, src); }
    // `index` must lie in 0..Count() (Count() appends); the elements from `index` on
    // move up by one.
    int InsertBefore(int index, const T& src) {
        CheckIndex(index, m_Size + 1);
        if (Holds(&src)) {
            T copy(src);
            return InsertBefore(index, copy);
        }
        GrowVector(1);
        ShiftElementsRight(index, 1);
        new (static_cast<void*>(Base() + index)) T(src);
        return index;
    }

    // Destroys the element at `index` (which must be valid) and moves the later ones
    // down by one, keeping their order. The memory is not shrunk.
    void Remove(int index) {
        CheckIndex(index, m_Size);
        Base()[index].~T();
        ShiftElementsLeft(index, 1);
        --m_Size;
    }

    // Removes the first element equal to `value`; false when there is none.
    bool FindAndRemove(const T& value) {
        int index = Find(value);
        if (index < 0) return false;
        Remove(index);
        return true;
    }

    // Destroys every element, last first; the memory is kept for reuse.
    void RemoveAll() {
        for (int i = m_Size - 1; i >= 0; --i) Base()[i].~T();
        m_Size = 0;
    }

    // RemoveAll, then releases owned memory (borrowed memory is kept).
    void Purge() {
        RemoveAll();
        m_Memory.Purge();
        ResetDbgInfo();
    }

    // Index of the first element equal to `value`, or -1.
    int Find(const T& value) const {
        for (int i = 0; i < m_Size; ++i) {
            if (Base()[i] == value) return i;
        }
        return -1;
    }

    // Exchanges the contents of two vectors in constant time: elements, count and memory
    // change hands and stay where they are, so pointers to elements stay valid and now
    // belong to the other vector.
    void Swap(CUtlVector& other) {
        m_Memory.Swap(other.m_Memory);
        const int size = m_Size;
        m_Size = other.m_Size;
        other.m_Size = size;
        ResetDbgInfo();
        other.ResetDbgInfo();
    }

    // Makes room for `num` elements without changing the count.
    void EnsureCapacity(int num) {
        m_Memory.EnsureCapacity(num);
        ResetDbgInfo();
    }

private:
    // Adds `num` (>= 0) unconstructed slots at the end, growing the memory when needed.
    // The caller constructs them.
    void GrowVector(int num) {
        if (num < 0 || num > INT_MAX - m_Size) {
            Error("CUtlVector: cannot grow by %d elements from %d\n", num, m_Size);
            abort();
        }
        int needed = m_Size + num;
        if (needed > m_Memory.NumAllocated()) m_Memory.Grow(needed - m_Memory.NumAllocated());
        // Borrowed memory does not grow; never hand out slots past its end.
        if (needed > m_Memory.NumAllocated())
            UtlMemory_FailGrow("CUtlVector", static_cast<unsigned int>(needed), sizeof(T));
        m_Size = needed;
        ResetDbgInfo();
    }

    // Moves the elements from `index` up by `num` slots within the (already grown)
    // count; the slots left behind hold stale bytes and must be constructed anew.
    void ShiftElementsRight(int index, int num) {
        int toMove = m_Size - index - num;
        if (num > 0 && toMove > 0) {
            memmove(static_cast<void*>(Base() + index + num), static_cast<const void*>(Base() + index),
                    static_cast<size_t>(toMove) * sizeof(T));
        }
    }

    // Moves the elements after `index + num - 1` down by `num` slots over destroyed ones.
    void ShiftElementsLeft(int index, int num) {
        int toMove = m_Size - index - num;
        if (num > 0 && toMove > 0) {
            memmove(static_cast<void*>(Base() + index), static_cast<const void*>(Base() + index + num),
                    static_cast<size_t>(toMove) * sizeof(T));
        }
    }

    void CheckIndex(int index, int limit) const {
        if (index < 0 || index >= limit) {
            Error("CUtlVector: index %d out of range (count %d)\n", index, m_Size);
            abort();
        }
    }

    bool Holds(const T* p) const {
        uintptr_t at = reinterpret_cast<uintptr_t>(p);
        uintptr_t first = reinterpret_cast<uintptr_t>(Base());
        return Base() && at >= first && at < first + static_cast<uintptr_t>(m_Size) * sizeof(T);
    }

    constexpr void ResetDbgInfo() { m_pElements = m_Memory.Base(); }

    CUtlMemory<T> m_Memory;
    int m_Size;
    // A copy of the memory's element pointer, refreshed whenever the block may move;
    // readers of an exported vector's words find the elements here.
    T* m_pElements;
};
