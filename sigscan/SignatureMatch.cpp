// Signature search over a module's executable segments.
#include "sigscan/SignatureMatch.h"

#include <link.h>
#include <string.h>

namespace {

struct ModuleQuery {
    uintptr_t loadBase;
    const char* name;
    CodeRange* ranges;  // null: only test `address`
    int maxRanges;
    int found;
    uintptr_t address;
    bool contains;
};

int VisitModule(struct dl_phdr_info* info, size_t, void* data) {
    ModuleQuery* query = static_cast<ModuleQuery*>(data);
    if (info->dlpi_addr != query->loadBase || !info->dlpi_name || strcmp(info->dlpi_name, query->name) != 0) return 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD) continue;
        const uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
        if (!query->ranges) {
            if (query->address >= begin && query->address - begin < segment.p_memsz) query->contains = true;
            continue;
        }
        // Only what the file backs: bytes past p_filesz are zero fill, never code.
        if ((segment.p_flags & (PF_R | PF_X)) != (PF_R | PF_X) || segment.p_filesz == 0) continue;
        if (query->found < query->maxRanges) {
            query->ranges[query->found].begin = reinterpret_cast<const unsigned char*>(begin);
            query->ranges[query->found].size = segment.p_filesz;
            ++query->found;
        }
    }
    return 1;  // the module was found: stop
}

}  // namespace

int ModuleCodeRanges(uintptr_t loadBase, const char* moduleName, CodeRange* ranges, int maxRanges) {
    if (!moduleName || !ranges || maxRanges <= 0) return 0;
    ModuleQuery query = {loadBase, moduleName, ranges, maxRanges, 0, 0, false};
    dl_iterate_phdr(VisitModule, &query);
    return query.found;
}

bool ModuleContains(uintptr_t loadBase, const char* moduleName, uintptr_t address) {
    if (!moduleName) return false;
    ModuleQuery query = {loadBase, moduleName, nullptr, 0, 0, address, false};
    dl_iterate_phdr(VisitModule, &query);
    return query.contains;
}

SignatureScanner::SignatureScanner(const CodeRange* ranges, int count) : count_(0) {
    for (int i = 0; i < count && count_ < kMaxRanges; ++i) {
        if (ranges[i].begin && ranges[i].size) ranges_[count_++] = ranges[i];
    }
}

size_t SignatureScanner::Count(const unsigned char* signature, const char* mask, size_t length,
                               const unsigned char** first, bool* refused) {
    if (first) *first = nullptr;
    if (refused) *refused = false;
    if (!signature || !mask || length == 0) {
        if (refused) *refused = true;
        return 0;
    }
    if (!counted_) {
        memset(histogram_, 0, sizeof(histogram_));
        for (int r = 0; r < count_; ++r) {
            for (size_t i = 0; i < ranges_[r].size; ++i) ++histogram_[ranges_[r].begin[i]];
        }
        counted_ = true;
    }
    // The anchor: the fixed byte that occurs least often in the code.
    size_t anchor = length;
    for (size_t i = 0; i < length; ++i) {
        if (mask[i] == '?') continue;
        if (anchor == length || histogram_[signature[i]] < histogram_[signature[anchor]]) anchor = i;
    }
    if (anchor == length) {
        if (refused) *refused = true;
        return 0;
    }

    size_t matches = 0;
    const unsigned char anchorByte = signature[anchor];
    for (int r = 0; r < count_; ++r) {
        const unsigned char* begin = ranges_[r].begin;
        const size_t size = ranges_[r].size;
        if (size < length) continue;
        // A match starting at s has its anchor at s + anchor, with s in [0, size - length].
        const unsigned char* p = begin + anchor;
        const unsigned char* last = begin + (size - length) + anchor;  // last anchor place
        while (p <= last) {
            p = static_cast<const unsigned char*>(memchr(p, anchorByte, size_t(last - p) + 1));
            if (!p) break;
            const unsigned char* start = p - anchor;
            size_t i = 0;
            while (i < length && (mask[i] == '?' || start[i] == signature[i])) ++i;
            if (i == length) {
                if (matches == 0 && first) *first = start;
                ++matches;
            }
            ++p;
        }
    }
    return matches;
}
