// Finding byte signatures in a set of code ranges (see ModuleSegments.h for the ranges
// of a loaded library). A mask character '?' lets a byte match anything; every other
// mask character ('x' by convention) requires the signature's byte.
#pragma once

#include <stddef.h>

#include "sigscan/ModuleSegments.h"

// One signature of a batch: the first `length` bytes of `bytes`, compared under `mask`
// (which must hold at least `length` characters). Both stay the caller's.
struct SignatureQuery {
    const unsigned char* bytes;
    const char* mask;
    size_t length;
};

// What a batch found for one signature.
struct SignatureMatches {
    size_t count = 0;                      // places it matches; overlapping places count each
    const unsigned char* first = nullptr;  // the first place in range order, then address order
    bool refused = false;                  // no fixed byte, length 0 or a null pointer
};

// Searches a fixed set of ranges for any number of signatures with one pass over the
// bytes. Each signature is anchored on three consecutive bytes starting at a fixed one,
// chosen by a small sample of the ranges to be rare; a filter over all the anchors at
// once, 16 or 32 bytes at a time where the processor allows, yields candidate places,
// and each candidate is compared against the whole masked signature. (Batches so large
// that the filter would pass most places look every place up by its bytes instead.)
// The results never depend on the anchors chosen or on the code path taken, and a batch
// costs about one pass whatever its size, plus the checks of the places its signatures'
// anchors occur at.
class SignatureScanner {
public:
    // How the anchor filter runs: one byte at a time, or with byte shuffles over 16
    // (SSSE3) or 32 (AVX2) bytes at a time.
    enum Path { PATH_SCALAR, PATH_SSSE3, PATH_AVX2 };

    // At most kMaxRanges non-empty ranges are kept (empty ones are dropped, the rest
    // ignored). The bytes must stay readable and unchanged while the scanner is used.
    static const int kMaxRanges = 16;
    SignatureScanner(const CodeRange* ranges, int count);

    // Fills results[i] for queries[i], i < count, reading the ranges once for all of
    // them; a match never spans two ranges, and a range shorter than a signature holds
    // none of its matches. A refused query has count 0 and first null. The ranges are
    // read only when some query is not refused; the first such call also samples them.
    void Scan(const SignatureQuery* queries, size_t count, SignatureMatches* results);

    // The batch of one: returns the count, stores the first place in *first (null when
    // none) and whether the signature was refused in *refused, each when given.
    size_t Count(const unsigned char* signature, const char* mask, size_t length, const unsigned char** first,
                 bool* refused = nullptr);

    // Whether this processor (and its operating system) runs `path`; always for scalar.
    static bool Supports(Path path);
    // The path scans take: the fastest supported one until UsePath picks another.
    // UsePath refuses (returning false, changing nothing) a path that is not supported.
    Path CurrentPath() const { return path_; }
    bool UsePath(Path path);

private:
    void Sample();

    CodeRange ranges_[kMaxRanges];
    int count_;
    Path path_;
    bool sampled_ = false;
    // How common each byte value is: its count in the sample plus one, and their sum.
    unsigned int weight_[256];
    unsigned long long weightSum_ = 0;
};
