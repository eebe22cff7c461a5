// Finding a byte signature in a set of code ranges (see ModuleSegments.h for the ranges
// of a loaded library). A mask character '?' lets a byte match anything; every other
// mask character ('x' by convention) requires the signature's byte.
#pragma once

#include <stddef.h>

#include "sigscan/ModuleSegments.h"

// Searches a fixed set of ranges. A byte histogram of the ranges, taken on first use,
// lets each search scan for the signature's rarest fixed byte only, so a few dozen
// signatures over megabytes of code take milliseconds.
class SignatureScanner {
public:
    // At most kMaxRanges ranges are kept; the rest are ignored.
    static const int kMaxRanges = 16;
    SignatureScanner(const CodeRange* ranges, int count);

    // Counts the places where the first `length` bytes of `signature` match under
    // `mask` (which must hold at least `length` characters). The first place found goes
    // to *first (null when none). A signature without any fixed byte, or of length 0,
    // is refused: returns 0 and sets *refused when given. Matches may overlap; a match
    // never spans two ranges.
    size_t Count(const unsigned char* signature, const char* mask, size_t length, const unsigned char** first,
                 bool* refused = nullptr);

private:
    CodeRange ranges_[kMaxRanges];
    int count_;
    bool counted_ = false;
    size_t histogram_[256];
};
