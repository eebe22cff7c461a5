// Finding a byte signature in a loaded library's code: the executable segments the
// dynamic loader mapped for that library, and nothing outside them. A mask character
// '?' lets a byte match anything; every other mask character ('x' by convention)
// requires the signature's byte.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct CodeRange {
    const unsigned char* begin;
    size_t size;
};

// The readable, executable segments of the module loaded at `loadBase` whose file name
// is `moduleName` (both as the dynamic loader reports them). At most `maxRanges`
// are stored; returns how many.
int ModuleCodeRanges(uintptr_t loadBase, const char* moduleName, CodeRange* ranges, int maxRanges);

// Whether [address, address + 1) lies in one of the module's loaded segments (of any
// kind). Used to refuse a symbol value that would point outside the library.
bool ModuleContains(uintptr_t loadBase, const char* moduleName, uintptr_t address);

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
