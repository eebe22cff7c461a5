// The name index beside the function table: an open-addressing hash of record positions,
// keyed by entry name without regard to letter case.
#include <stdint.h>
#include <stdlib.h>
#include <strings.h>

#include "sigscan/SigScanIndex.h"
#include "sigscan/SigScanTable.h"

namespace {

// Plain data with constant initialisation, so it is usable before and after any static
// constructor or destructor runs. `slots` holds record positions (-1 for a free slot);
// `mask` is the slot count minus one (a power of two). `count` and `base` describe the
// table the index was built for, so that a table changed without a rebuild is noticed.
struct NameIndex {
    int* slots;
    uint32_t mask;
    int count;
    const vrn_sigscan_struct* base;
};
NameIndex s_index = {nullptr, 0, 0, nullptr};

// FNV-1a over the name with ASCII letters folded to lower case. Every byte above 0x7F
// hashes alike, so that names strcasecmp calls equal hash equal whatever the locale
// folds among those bytes. Reads at most `limit` bytes.
uint32_t HashName(const char* name, size_t limit) {
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < limit && name[i] != 0; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
        if (c >= 0x80) c = 0x80;
        hash = (hash ^ c) * 16777619u;
    }
    return hash;
}

void ReleaseIndex() {
    free(s_index.slots);
    s_index = {nullptr, 0, 0, nullptr};
}

bool IndexIsCurrent() { return s_index.count == VRN_SigScan_Data.Count() && s_index.base == VRN_SigScan_Data.Base(); }

}  // namespace

void RebuildSigScanIndex() {
    ReleaseIndex();
    const int count = VRN_SigScan_Data.Count();
    s_index.count = count;
    s_index.base = VRN_SigScan_Data.Base();
    if (count == 0) return;
    // At least twice as many slots as records keeps probe runs short.
    uint32_t slots = 16;
    while (slots < static_cast<uint32_t>(count) * 2u) slots *= 2;
    s_index.slots = static_cast<int*>(malloc(sizeof(int) * slots));
    if (!s_index.slots) return;  // lookups fall back to the linear scan
    for (uint32_t i = 0; i < slots; ++i) s_index.slots[i] = -1;
    s_index.mask = slots - 1;
    // Records are over 3 KB apart, so each name is a cache and TLB miss; asking for the
    // names a few records ahead overlaps those misses instead of paying them one by one.
    const int kAhead = 8;
    for (int position = 0; position < count && position < kAhead; ++position) {
        __builtin_prefetch(VRN_SigScan_Data[position].funcName);
    }
    for (int position = 0; position < count; ++position) {
        if (position + kAhead < count) __builtin_prefetch(VRN_SigScan_Data[position + kAhead].funcName);
        const char* name = VRN_SigScan_Data[position].funcName;
        uint32_t slot = HashName(name, sizeof(VRN_SigScan_Data[position].funcName)) & s_index.mask;
        bool shadowed = false;
        while (s_index.slots[slot] >= 0) {
            // A later record with an equal name is never the first match: leave it out.
            if (strcasecmp(VRN_SigScan_Data[s_index.slots[slot]].funcName, name) == 0) {
                shadowed = true;
                break;
            }
            slot = (slot + 1) & s_index.mask;
        }
        if (!shadowed) s_index.slots[slot] = position;
    }
}

int FindSigScanRecord(const char* name) {
    if (!name) return -1;
    if (!IndexIsCurrent()) RebuildSigScanIndex();
    if (!s_index.slots) {
        for (int i = 0; i < VRN_SigScan_Data.Count(); ++i) {
            if (strcasecmp(VRN_SigScan_Data[i].funcName, name) == 0) return i;
        }
        return -1;
    }
    for (uint32_t slot = HashName(name, SIZE_MAX) & s_index.mask; s_index.slots[slot] >= 0;
         slot = (slot + 1) & s_index.mask) {
        const int position = s_index.slots[slot];
        if (strcasecmp(VRN_SigScan_Data[position].funcName, name) == 0) return position;
    }
    return -1;
}
