// Signature search over a fixed set of code ranges.
#include "sigscan/SignatureScanner.h"

#include <string.h>

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
