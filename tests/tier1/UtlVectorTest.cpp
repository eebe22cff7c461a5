#include "tier1/UtlVector.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <string.h>

#include <vector>

#include "host/tier0/HostTier0.h"
#include "tier1/UtlMemory.h"

namespace {

struct Forty {
    char bytes[40];
};

// 256 MiB: only ever used through pointers, to reach the 32-bit limit without memory.
struct Huge {
    char bytes[1 << 28];
};

// Owns a heap value (so it is relocatable but leaks or double-frees visibly) and counts
// its constructions and destructions; a destruction of a dead object is recorded.
struct Tracked {
    static int live, constructed, destroyedTwice;
    explicit Tracked(int v) : value(new int(v)), alive(kAlive) { ++live, ++constructed; }
    Tracked(const Tracked& other) : value(new int(*other.value)), alive(kAlive) { ++live, ++constructed; }
    ~Tracked() {
        if (alive != kAlive) ++destroyedTwice;
        alive = 0;
        delete value;
        --live;
    }
    Tracked& operator=(const Tracked&) = delete;
    bool operator==(const Tracked& other) const { return *value == *other.value; }
    int* value;
    unsigned alive;
    static const unsigned kAlive = 0xA11FE;
};
int Tracked::live, Tracked::constructed, Tracked::destroyedTwice;

// The five words of a vector as code outside this library reads them.
struct VectorWords {
    void* memory;
    int allocationCount;
    int growSize;
    int size;
    void* elements;
};

template <class V>
VectorWords WordsOf(const V& v) {
    VectorWords words;
    static_assert(sizeof(words) == sizeof(v), "five words");
    memcpy(&words, static_cast<const void*>(&v), sizeof(words));
    return words;
}

template <class T>
std::vector<int> CapacitiesWhileAppending(int count) {
    CUtlVector<T> v;
    std::vector<int> seen;
    for (int i = 0; i < count; ++i) {
        v.AddToTail(T());
        if (seen.empty() || seen.back() != v.NumAllocated()) seen.push_back(v.NumAllocated());
        VectorWords words = WordsOf(v);
        EXPECT_EQ(words.elements, v.Base());
        EXPECT_EQ(words.memory, v.Base());
        EXPECT_EQ(words.size, v.Count());
    }
    return seen;
}

std::vector<int> Values(const CUtlVector<int>& v) { return std::vector<int>(v.Base(), v.Base() + v.Count()); }

}  // namespace

TEST(UtlMemoryTest, DoublingStartsFromElementSize) {
    CUtlMemory<int> ints;
    std::vector<int> seen;
    ints.Grow(0);  // an empty block takes the policy's first block even for 0
    EXPECT_EQ(ints.NumAllocated(), 8);
    EXPECT_TRUE(ints.TryGrow(0));
    EXPECT_EQ(ints.NumAllocated(), 8);
    ints.Purge();
    for (int i = 0; i < 3; ++i) ints.Grow(1), seen.push_back(ints.NumAllocated());
    EXPECT_EQ(seen, (std::vector<int>{8, 16, 32}));
    ints.Grow(40);  // 72 requested
    EXPECT_EQ(ints.NumAllocated(), 128);

    CUtlMemory<Forty> forties;
    seen.clear();
    for (int i = 0; i < 3; ++i) forties.Grow(1), seen.push_back(forties.NumAllocated());
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 4}));

    CUtlMemory<char> bytes;
    bytes.Grow(1);
    EXPECT_EQ(bytes.NumAllocated(), 32);
}

TEST(UtlMemoryTest, PositiveGrowSizeRoundsUpToMultiple) {
    CUtlMemory<int> m(5);
    m.Grow(1);
    EXPECT_EQ(m.NumAllocated(), 5);
    m.Grow(1);
    EXPECT_EQ(m.NumAllocated(), 10);
    m.Grow(7);
    EXPECT_EQ(m.NumAllocated(), 20);
    m.EnsureCapacity(23);  // exact, not rounded
    EXPECT_EQ(m.NumAllocated(), 23);
    m.EnsureCapacity(2);  // never shrinks
    EXPECT_EQ(m.NumAllocated(), 23);
    m.Grow(1);
    EXPECT_EQ(m.NumAllocated(), 25);

    // Growth by num asks for the allocated count plus num, rounded up to a multiple:
    // requests at and one past a multiple of the grow size.
    const struct { int grow, count; } steps[] = {{5, 30}, {0, 30}, {1, 35}, {5, 40}, {4, 45}, {6, 55}};
    for (const auto& step : steps) {
        m.Grow(step.grow);
        EXPECT_EQ(m.NumAllocated(), step.count) << "grow by " << step.grow;
    }

    // Capacity that is already there is not reallocated: with the allocator refusing
    // everything, asking for the present count or less still succeeds.
    HostTier0_SetAllocLimit(16);
    EXPECT_TRUE(m.TryEnsureCapacity(55));
    EXPECT_TRUE(m.TryEnsureCapacity(0));
    EXPECT_FALSE(m.TryEnsureCapacity(56));
    EXPECT_TRUE(m.TryGrow(0));
    HostTier0_SetAllocLimit(0);
    EXPECT_EQ(m.NumAllocated(), 55);
}

TEST(UtlMemoryTest, BorrowedMemoryIsNeverGrownOrFreed) {
    int baseline = HostTier0_LiveAllocations();
    int buffer[4] = {1, 2, 3, 4};
    {
        CUtlMemory<int> m(buffer, 4);
        EXPECT_TRUE(m.IsExternallyAllocated());
        m.Grow(10);
        m.EnsureCapacity(100);
        m.Purge();
        EXPECT_EQ(m.Base(), buffer);
        EXPECT_EQ(m.NumAllocated(), 4);
    }  // destruction must not free the stack block
    EXPECT_EQ(HostTier0_LiveAllocations(), baseline);

    CUtlMemory<int> owned(0, 16);
    EXPECT_EQ(HostTier0_LiveAllocations(), baseline + 1);
    owned.SetExternalBuffer(buffer, 2);  // the owned block is released first
    EXPECT_EQ(HostTier0_LiveAllocations(), baseline);
    EXPECT_EQ(owned.Base(), buffer);
    EXPECT_EQ(owned.NumAllocated(), 2);
}

TEST(UtlMemoryTest, ConvertingBorrowedMemoryCopiesIntoOwnedBlock) {
    int baseline = HostTier0_LiveAllocations();
    int buffer[3] = {1, 2, 3};
    {
        CUtlMemory<int> m(buffer, 3);
        m.ConvertToGrowableMemory(0);
        EXPECT_FALSE(m.IsExternallyAllocated());
        EXPECT_NE(m.Base(), buffer);
        EXPECT_EQ(std::vector<int>(m.Base(), m.Base() + 3), (std::vector<int>{1, 2, 3}));
        EXPECT_EQ(HostTier0_LiveAllocations(), baseline + 1);
        m.Grow(1);  // doubling from the borrowed count
        EXPECT_EQ(m.NumAllocated(), 6);
        m[0] = 9;
        EXPECT_EQ(buffer[0], 1);

        int* before = m.Base();
        m.ConvertToGrowableMemory(4);  // owned memory is left alone
        EXPECT_EQ(m.Base(), before);
        EXPECT_EQ(m.GrowSize(), 0);
    }
    EXPECT_EQ(HostTier0_LiveAllocations(), baseline);

    CUtlMemory<int> empty(buffer, 0);
    empty.ConvertToGrowableMemory(3);
    EXPECT_EQ(empty.Base(), nullptr);
    EXPECT_EQ(empty.GrowSize(), 3);
}

TEST(UtlVectorTest, CapacityFollowsGrowthPolicyAndPointerCopyFollows) {
    EXPECT_EQ(CapacitiesWhileAppending<int>(33), (std::vector<int>{8, 16, 32, 64}));
    EXPECT_EQ(CapacitiesWhileAppending<Forty>(5), (std::vector<int>{1, 2, 4, 8}));

    CUtlVector<int> v(3);
    v.EnsureCapacity(10);
    for (int i = 0; i < 10; ++i) v.AddToTail(i);
    EXPECT_EQ(v.NumAllocated(), 10);
    v.AddToTail(10);
    EXPECT_EQ(v.NumAllocated(), 12);
    EXPECT_EQ(WordsOf(v).growSize, 3);

    // Every way of growing refreshes the pointer copy. From an empty vector the block
    // always moves (from null), so a copy left behind shows.
    void (*const grows[])(CUtlVector<int>&) = {
        [](CUtlVector<int>& w) { w.EnsureCapacity(4); },
        [](CUtlVector<int>& w) { w.AddToTail(); },
        [](CUtlVector<int>& w) { w.AddToHead(1); },
        [](CUtlVector<int>& w) { w.InsertBefore(0, 1); },
    };
    for (size_t i = 0; i < sizeof(grows) / sizeof(grows[0]); ++i) {
        CUtlVector<int> w;
        grows[i](w);
        ASSERT_NE(w.Base(), nullptr);
        EXPECT_EQ(WordsOf(w).elements, w.Base()) << "growth " << i;
    }
}

TEST(UtlVectorTest, InsertAndRemoveKeepOrderOfTheRest) {
    CUtlVector<int> v;
    v.AddToTail(5);
    v.AddToTail(7);
    v.AddToTail(9);
    int capacity = v.NumAllocated();
    v.Remove(0);
    EXPECT_EQ(Values(v), (std::vector<int>{7, 9}));
    EXPECT_EQ(v.Find(9), 1);
    EXPECT_EQ(v.Find(5), -1);
    EXPECT_EQ(v.NumAllocated(), capacity);

    EXPECT_EQ(v.InsertBefore(1, 8), 1);
    EXPECT_EQ(v.AddToHead(6), 0);
    EXPECT_EQ(v.InsertBefore(v.Count(), 10), 4);
    EXPECT_EQ(Values(v), (std::vector<int>{6, 7, 8, 9, 10}));
    v.Remove(2);
    v.Remove(v.Count() - 1);
    EXPECT_EQ(Values(v), (std::vector<int>{6, 7, 9}));
    EXPECT_TRUE(v.FindAndRemove(7));
    EXPECT_FALSE(v.FindAndRemove(7));
    EXPECT_EQ(Values(v), (std::vector<int>{6, 9}));

    // The first and last slots, and the stale slot just past the count (which still
    // holds the 9 that Remove moved down from it).
    EXPECT_TRUE(v.IsValidIndex(0));
    EXPECT_TRUE(v.IsValidIndex(1));
    EXPECT_FALSE(v.IsValidIndex(2));
    EXPECT_FALSE(v.IsValidIndex(-1));
    v.Remove(0);
    EXPECT_EQ(v.Base()[1], 9) << "the slot past the count keeps its stale bytes";
    v.Remove(0);
    EXPECT_EQ(v.Find(9), -1) << "the slot past the count is not searched";
    v.AddToTail(4);
    EXPECT_TRUE(v.FindAndRemove(4)) << "a match in the first slot";
    EXPECT_EQ(v.Count(), 0);
}

TEST(UtlVectorTest, RemoveAllKeepsMemoryForReuse) {
    CUtlVector<int> v;
    for (int i = 0; i < 5; ++i) v.AddToTail(i);
    int* base = v.Base();
    int live = HostTier0_LiveAllocations();
    v.RemoveAll();
    EXPECT_EQ(v.Count(), 0);
    EXPECT_EQ(v.Base(), base);
    v.AddToTail(1);
    EXPECT_EQ(v.Base(), base);
    EXPECT_EQ(v.NumAllocated(), 8);
    EXPECT_EQ(HostTier0_LiveAllocations(), live);

    v.Purge();
    EXPECT_EQ(v.Base(), nullptr);
    EXPECT_EQ(WordsOf(v).elements, nullptr);
    EXPECT_EQ(HostTier0_LiveAllocations(), live - 1);
}

TEST(UtlVectorTest, ElementsAreConstructedAndDestroyedExactlyOnce) {
    Tracked::live = Tracked::constructed = Tracked::destroyedTwice = 0;
    int baseline = HostTier0_LiveAllocations();
    {
        CUtlVector<Tracked> v;
        for (int i = 0; i < 20; ++i) v.AddToTail(Tracked(i));  // several reallocations
        v.InsertBefore(3, Tracked(100));
        v.Remove(0);
        v.Remove(10);
        EXPECT_EQ(*v[2].value, 100);
        EXPECT_EQ(*v[3].value, 3);
        EXPECT_EQ(Tracked::live, 19);
        v.RemoveAll();
        EXPECT_EQ(Tracked::live, 0);
        v.AddToTail(Tracked(1));
        v.AddToHead(Tracked(2));
    }
    EXPECT_EQ(Tracked::live, 0);
    EXPECT_EQ(Tracked::destroyedTwice, 0);
    EXPECT_GT(Tracked::constructed, 0);
    EXPECT_EQ(HostTier0_LiveAllocations(), baseline);
}

TEST(UtlVectorTest, InsertingOwnElementCopiesItBeforeMoving) {
    CUtlVector<Tracked> v;
    v.AddToTail(Tracked(0));
    while (v.Count() < v.NumAllocated()) v.AddToTail(Tracked(v.Count()));
    int full = v.Count();
    v.AddToTail(v[0]);  // reallocates while copying from the old block
    EXPECT_EQ(*v[full].value, 0);
    v.InsertBefore(0, v[1]);  // the source itself shifts up
    EXPECT_EQ(*v[0].value, 1);
    EXPECT_EQ(*v[2].value, 1);
    EXPECT_EQ(*v[full + 1].value, 0);
}

TEST(UtlMemoryDeathTest, SizesBeyond32BitsAreFatalBeforeAnyWrite) {
    EXPECT_EXIT(
        {
            CUtlVector<int> v;
            v.EnsureCapacity(0x20000000);
        },
        ::testing::ExitedWithCode(1), "CUtlMemory: cannot grow to 536870912 elements of 4 bytes");
    EXPECT_EXIT(
        {
            CUtlMemory<int> m;
            m.Grow(1);
            m.Grow(INT_MAX);  // the sum is reported as asked, not wrapped
        },
        ::testing::ExitedWithCode(1), "CUtlMemory: cannot grow to 2147483655 elements of 4 bytes");
    EXPECT_EXIT(
        {
            CUtlMemory<int> m;
            m.Grow(-1);
        },
        ::testing::ExitedWithCode(1), "CUtlMemory: cannot grow by -1 elements");
}

TEST(UtlMemoryDeathTest, GrowthPastTheLimitIsCappedAtLargestFittingCount) {
    // Doubling 1, 2, 4 would reach 8; 7 is the most that fits in INT_MAX bytes.
    for (int growSize : {0, 4}) {
        EXPECT_EXIT(
            {
                HostTier0_SetAllocLimit(1);
                CUtlMemory<Huge> m(growSize);
                m.Grow(5);
            },
            ::testing::ExitedWithCode(1), "CUtlMemory: cannot grow to 7 elements of 268435456 bytes");
    }
    EXPECT_EXIT(
        {
            CUtlMemory<Huge> m;
            m.Grow(8);
        },
        ::testing::ExitedWithCode(1), "CUtlMemory: cannot grow to 8 elements of 268435456 bytes");
}

TEST(UtlMemoryDeathTest, RefusedAllocationIsFatal) {
    EXPECT_EXIT(
        {
            HostTier0_SetAllocLimit(1024);
            CUtlVector<int> v;
            for (int i = 0; i < 256; ++i) v.AddToTail(i);  // 1024 bytes still fit
            v.AddToTail(256);
        },
        ::testing::ExitedWithCode(1), "CUtlMemory: cannot grow to 512 elements of 4 bytes");
    EXPECT_EXIT(
        {
            HostTier0_SetAllocLimit(16);
            char buffer[100] = {};
            CUtlMemory<char> m(buffer, 100);
            m.ConvertToGrowableMemory(0);
        },
        ::testing::ExitedWithCode(1), "CUtlMemory: cannot grow to 100 elements of 1 bytes");
    EXPECT_EXIT(
        {
            HostTier0_SetAllocLimit(16);
            CUtlMemory<int> m(0, 5);
        },
        ::testing::ExitedWithCode(1), "CUtlMemory: cannot grow to 5 elements of 4 bytes");
}

TEST(UtlVectorDeathTest, IndexOutOfRangeIsFatal) {
    CUtlVector<int> v;
    v.AddToTail(1);
    EXPECT_EXIT(v.Remove(1), ::testing::ExitedWithCode(1), "CUtlVector: index 1 out of range \\(count 1\\)");
    EXPECT_EXIT(v.InsertBefore(-1, 0), ::testing::ExitedWithCode(1), "CUtlVector: index -1 out of range");
    EXPECT_EXIT(v.InsertBefore(2, 0), ::testing::ExitedWithCode(1), "CUtlVector: index 2 out of range");
}
