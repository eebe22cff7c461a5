// Signature search over a fixed set of code ranges: one pass over the bytes for a whole
// batch of signatures. A nibble-mask filter over a three-byte window finds the places
// where some signature's anchor may sit; it runs one byte at a time or with byte
// shuffles over 16 or 32 bytes, and every form passes exactly the same places.
#include "sigscan/SignatureScanner.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#define VL_SCAN_X86 1
#define VL_TARGET_SSSE3 __attribute__((target("ssse3")))
#define VL_TARGET_AVX2 __attribute__((target("avx2")))
#endif

namespace {

// The filter reads kWindow bytes at each place and sorts the anchors into kBuckets
// buckets, one bit of a byte each.
const int kWindow = 3;
const int kBuckets = 8;
static_assert(kWindow == 3, "the vector filters and the keys read three window bytes");
// Above this expected share of places passing, the filter costs more than it saves.
const double kFilterUseful = 0.5;

// Where a signature is anchored: the window of kWindow bytes at `offset` into it. The
// window starts at a fixed byte; a position the signature leaves open (a wildcard, or
// past its end) takes any byte.
struct Anchor {
    size_t query;
    size_t offset;
    unsigned char bytes[kWindow];
    bool fixed[kWindow];
    int bucket;
    unsigned shape;  // bit 0: takes any byte at position 1; bit 1: at position 2
    unsigned word;   // the bytes it fixes, as b0 | b1 << 8 | b2 << 16 (0 where open)
};

// The window bytes a shape fixes, in a word of three bytes.
const unsigned kShapeMask[4] = {0xFFFFFFu, 0xFF00FFu, 0x00FFFFu, 0x0000FFu};
const unsigned kShapeLoose = 3;  // fixes only the first byte

// A place's key: a hash of its three window bytes (b0 | b1 << 8 | b2 << 16).
const unsigned kKeyBits = 18;
inline unsigned PlaceKey(unsigned word) { return (word * 0x9E3779B1u) >> (32 - kKeyBits); }

inline bool HasBit(const uint32_t* bits, unsigned i) { return (bits[i >> 5] >> (i & 31)) & 1; }
inline void SetBit(uint32_t* bits, unsigned i) { bits[i >> 5] |= 1u << (i & 31); }

// Whether anchor a orders before b in the plan: by shape, then by the bytes fixed.
inline bool AnchorBefore(const Anchor& a, const Anchor& b) {
    return a.shape != b.shape ? a.shape < b.shape : a.word < b.word;
}

// Everything one batch's pass reads. The filter value of a place p is the AND over the
// window positions j of low[j][b & 15] & high[j][b >> 4], b being the byte at p + j, or
// of open[j] when p + j is past the range: the buckets whose anchors may sit at p. An
// anchor's bucket bit is in the entries of its byte's nibbles at each position it
// fixes and in every entry (and in open[j]) where it takes any byte, so the filter never
// drops a place; it passes others where a bucket's anchors mix their nibbles.
//
// A place that passes is then tested against `keys`, which holds the key of every three
// bytes some window admits (one for a window fixing all three, 256 for a window open at
// one position), or for windows fixing only their first byte against `loose`; and where
// that holds, looked up exactly: anchors[shapeStart[s] .. shapeStart[s + 1]) are the
// anchors of shape s in the order of the bytes they fix.
struct Plan {
    const SignatureQuery* queries;
    SignatureMatches* results;
    size_t shortest;  // of the batch's accepted signatures
    unsigned char low[kWindow][16];
    unsigned char high[kWindow][16];
    unsigned char open[kWindow];
    unsigned shapes;  // bit s: some anchor has shape s
    uint32_t keys[(1u << kKeyBits) / 32];
    uint32_t loose[256 / 32];
    size_t shapeStart[5];
    const Anchor* anchors;
};

// Records a match of the anchor's signature when its window sits at place p of the
// range [begin, begin + size) and the whole signature fits the range there.
inline void Check(const Plan& plan, const Anchor& anchor, const unsigned char* begin, size_t size, size_t p) {
    if (p < anchor.offset) return;
    const size_t start = p - anchor.offset;
    const SignatureQuery& query = plan.queries[anchor.query];
    if (query.length > size - start) return;
    const unsigned char* at = begin + start;
    for (size_t i = 0; i < query.length; ++i) {
        if (query.mask[i] != '?' && at[i] != query.bytes[i]) return;
    }
    SignatureMatches& result = plan.results[anchor.query];
    if (result.count++ == 0) result.first = at;
}

// Checks every signature whose window the bytes at place p hold. A window's position
// past the range end holds no byte, so only shapes open there can sit at p.
void Visit(const Plan& plan, const unsigned char* begin, size_t size, size_t p) {
    const unsigned word = begin[p] | (p + 1 < size ? begin[p + 1] << 8 : 0u) | (p + 2 < size ? begin[p + 2] << 16 : 0u);
    const unsigned fits = p + 2 < size ? 15u : p + 1 < size ? 12u : 8u;  // shapes {0..3}, {2, 3}, {3}
    for (unsigned shapes = plan.shapes & fits; shapes; shapes &= shapes - 1) {
        const unsigned shape = static_cast<unsigned>(__builtin_ctz(shapes));
        Anchor probe = Anchor();
        probe.shape = shape;
        probe.word = word & kShapeMask[shape];
        const Anchor* end = plan.anchors + plan.shapeStart[shape + 1];
        for (const Anchor* a = std::lower_bound(plan.anchors + plan.shapeStart[shape], end, probe, AnchorBefore);
             a != end && a->word == probe.word; ++a) {
            Check(plan, *a, begin, size, p);
        }
    }
}

// Whether the three bytes at place p (whose window lies in the range) may hold a window.
inline bool MayHoldWindow(const Plan& plan, unsigned word) {
    return HasBit(plan.keys, PlaceKey(word)) || HasBit(plan.loose, word & 0xFF);
}

// Visits the places base + i for each bit i set in `mask`, lowest first, that may hold
// a window (most places the filter passes do not). Kept out of line so that the filter
// loops keep their registers.
__attribute__((noinline)) void VisitMask(const Plan& plan, const unsigned char* begin, size_t size, size_t base,
                                         uint32_t mask) {
    do {
        const size_t p = base + static_cast<size_t>(__builtin_ctz(mask));
        mask &= mask - 1;
        if (p + kWindow <= size && !MayHoldWindow(plan, begin[p] | begin[p + 1] << 8 | begin[p + 2] << 16)) continue;
        Visit(plan, begin, size, p);
    } while (mask);
}

// The filter one place at a time, from place `from` to the end of the range.
void FilterScalar(const Plan& plan, const unsigned char* begin, size_t size, size_t from) {
    for (size_t p = from; p < size; ++p) {
        unsigned buckets = 0xFF;
        for (int j = 0; j < kWindow; ++j) {
            if (p + j < size) {
                const unsigned char b = begin[p + j];
                buckets &= plan.low[j][b & 15] & plan.high[j][b >> 4];
            } else {
                buckets &= plan.open[j];
            }
        }
        if (buckets) Visit(plan, begin, size, p);
    }
}

// The vector blocks with candidates, queued without a branch per block and visited in
// order when the queue fills: blocks with candidates are too common for a branch on
// each to predict well, and too rare for a queue of every block to pay.
class BlockQueue {
public:
    void Push(size_t block, uint32_t candidates) {
        block_[count_] = block;
        candidates_[count_] = candidates;
        count_ += candidates != 0;
    }
    bool Full() const { return count_ == kSize; }
    void Visit(const Plan& plan, const unsigned char* begin, size_t size, size_t width) {
        for (size_t i = 0; i < count_; ++i) VisitMask(plan, begin, size, block_[i] * width, candidates_[i]);
        count_ = 0;
    }

private:
    static const size_t kSize = 64;
    size_t count_ = 0;
    size_t block_[kSize];
    uint32_t candidates_[kSize];
};

// Without the filter: visits every place that may hold a window, then the places too
// close to the range end for a whole one. A few instructions a place whatever the batch,
// where the filter would pass most places anyway.
void ScanKeys(const Plan& plan, const unsigned char* begin, size_t size) {
    const size_t end = size >= kWindow ? size - (kWindow - 1) : 0;
    unsigned word = end > 0 ? begin[0] << 8 | begin[1] << 16 : 0;
    for (size_t p = 0; p < end; ++p) {
        word = word >> 8 | static_cast<unsigned>(begin[p + 2]) << 16;
        if (MayHoldWindow(plan, word)) Visit(plan, begin, size, p);
    }
    for (size_t p = end; p < size; ++p) Visit(plan, begin, size, p);
}

// How many whole vector blocks of `width` places fit a range of `size` bytes: the
// window of a block's last place must lie inside the range.
inline size_t VectorBlocks(size_t size, size_t width) {
    return size >= width + kWindow - 1 ? (size - (kWindow - 1)) / width : 0;
}

#if VL_SCAN_X86

// The filter's value at 16 places: the buckets of window position j over the 16 bytes
// at p + j. A byte shuffle looks up each byte's nibble in a 16-entry table.
VL_TARGET_SSSE3 inline __m128i Buckets16(const unsigned char* at, __m128i low, __m128i high, __m128i nibble) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i lows = _mm_shuffle_epi8(low, _mm_and_si128(v, nibble));
    const __m128i highs = _mm_shuffle_epi8(high, _mm_and_si128(_mm_srli_epi16(v, 4), nibble));
    return _mm_and_si128(lows, highs);
}

VL_TARGET_SSSE3 inline __m128i Table16(const unsigned char* table) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(table));
}

VL_TARGET_SSSE3 void FilterSsse3(const Plan& plan, const unsigned char* begin, size_t size) {
    const __m128i low0 = Table16(plan.low[0]), high0 = Table16(plan.high[0]);
    const __m128i low1 = Table16(plan.low[1]), high1 = Table16(plan.high[1]);
    const __m128i low2 = Table16(plan.low[2]), high2 = Table16(plan.high[2]);
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i zero = _mm_setzero_si128();
    const size_t blocks = VectorBlocks(size, 16);
    BlockQueue queue;
    for (size_t k = 0; k < blocks; ++k) {
        const unsigned char* at = begin + 16 * k;
        const __m128i buckets =
            _mm_and_si128(_mm_and_si128(Buckets16(at, low0, high0, nibble), Buckets16(at + 1, low1, high1, nibble)),
                          Buckets16(at + 2, low2, high2, nibble));
        queue.Push(k, ~static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(buckets, zero))) & 0xFFFF);
        if (queue.Full()) queue.Visit(plan, begin, size, 16);
    }
    queue.Visit(plan, begin, size, 16);
    FilterScalar(plan, begin, size, 16 * blocks);
}

// Buckets16 over 32 places (the shuffle looks up within each 16-byte lane, so the
// tables are loaded into both).
VL_TARGET_AVX2 inline __m256i Buckets32(const unsigned char* at, __m256i low, __m256i high, __m256i nibble) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    const __m256i lows = _mm256_shuffle_epi8(low, _mm256_and_si256(v, nibble));
    const __m256i highs = _mm256_shuffle_epi8(high, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble));
    return _mm256_and_si256(lows, highs);
}

VL_TARGET_AVX2 inline __m256i Table32(const unsigned char* table) {
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table)));
}

VL_TARGET_AVX2 void FilterAvx2(const Plan& plan, const unsigned char* begin, size_t size) {
    const __m256i low0 = Table32(plan.low[0]), high0 = Table32(plan.high[0]);
    const __m256i low1 = Table32(plan.low[1]), high1 = Table32(plan.high[1]);
    const __m256i low2 = Table32(plan.low[2]), high2 = Table32(plan.high[2]);
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i zero = _mm256_setzero_si256();
    const size_t blocks = VectorBlocks(size, 32);
    BlockQueue queue;
    for (size_t k = 0; k < blocks; ++k) {
        const unsigned char* at = begin + 32 * k;
        const __m256i buckets = _mm256_and_si256(
            _mm256_and_si256(Buckets32(at, low0, high0, nibble), Buckets32(at + 1, low1, high1, nibble)),
            Buckets32(at + 2, low2, high2, nibble));
        queue.Push(k, ~static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(buckets, zero))));
        if (queue.Full()) queue.Visit(plan, begin, size, 32);
    }
    queue.Visit(plan, begin, size, 32);
    FilterScalar(plan, begin, size, 32 * blocks);
}

#endif  // VL_SCAN_X86

// The first fixed position of a query, or its length when it has none.
size_t FirstFixed(const SignatureQuery& query) {
    size_t i = 0;
    while (i < query.length && query.mask[i] == '?') ++i;
    return i;
}

// Chooses each signature's window and bucket so that the filter passes few places.
// With byte frequencies f from the sample, a bucket passes a place with probability
// about the product over the window positions of the summed f of the bytes its nibble
// entries admit there (1 where it takes any byte), and the filter passes about the sum
// over the buckets. Each signature's window is the one its own bytes make least likely;
// the windows are then placed in batch order, each in the bucket whose rate it raises
// least, and (for batches small enough that this costs little next to the pass) placed
// again twice, each with every other placement known.
class AnchorChooser {
public:
    AnchorChooser(const unsigned int* weight, unsigned long long weightSum) {
        for (int b = 0; b < 256; ++b) f_[b] = static_cast<double>(weight[b]) / static_cast<double>(weightSum);
    }

    // Fills *anchor (but its bucket) with the least likely window of `query`.
    void Window(const SignatureQuery& query, Anchor* anchor) const {
        double best = 2;
        for (size_t k = FirstFixed(query); k < query.length; ++k) {
            if (query.mask[k] == '?') continue;
            double rate = 1;
            bool open = false;
            for (int j = 0; j < kWindow; ++j) {
                if (k + j < query.length && query.mask[k + j] != '?') {
                    rate *= f_[query.bytes[k + j]];
                } else if (j > 0) {
                    open = true;
                }
            }
            // A window open at one position takes 256 keys, whose share of all keys is
            // the share of places that pass for it whatever they hold.
            if (open) rate += 256.0 / (1u << kKeyBits);
            if (rate < best) {
                best = rate;
                anchor->offset = k;
            }
        }
        for (int j = 0; j < kWindow; ++j) {
            const size_t i = anchor->offset + j;
            anchor->fixed[j] = i < query.length && query.mask[i] != '?';
            anchor->bytes[j] = anchor->fixed[j] ? query.bytes[i] : 0;
        }
        anchor->shape = (anchor->fixed[1] ? 0u : 1u) | (anchor->fixed[2] ? 0u : 2u);
        anchor->word = anchor->bytes[0] | anchor->bytes[1] << 8 | anchor->bytes[2] << 16;
    }

    // Sets the bucket of each of the `count` anchors.
    void Buckets(Anchor* anchors, size_t count) {
        for (size_t i = 0; i < count; ++i) anchors[i].bucket = -1;
        const int passes = count <= kRefineLimit ? 3 : 1;
        for (int pass = 0; pass < passes; ++pass) {
            for (size_t i = 0; i < count; ++i) {
                if (anchors[i].bucket >= 0) Remove(anchors, count, i);
                int best = 0;
                double bestRise = 0;
                for (int b = 0; b < kBuckets; ++b) {
                    const double rise = RateWith(buckets_[b], anchors[i]) - Rate(buckets_[b]);
                    if (b == 0 || rise < bestRise) {
                        best = b;
                        bestRise = rise;
                    }
                }
                anchors[i].bucket = best;
                Add(&buckets_[best], anchors[i]);
            }
        }
    }

    // The filter's pass rate the buckets are expected to give: the share of places it
    // passes.
    double PassRate() const {
        double rate = 0;
        for (int b = 0; b < kBuckets; ++b) rate += Rate(buckets_[b]);
        return rate < 1 ? rate : 1;
    }

private:
    static const size_t kRefineLimit = 64;

    // The nibbles a bucket admits at each window position, and the summed f of the
    // bytes they admit.
    struct Bucket {
        uint16_t low[kWindow];
        uint16_t high[kWindow];
        double admitted[kWindow];
        bool open[kWindow];
        bool used;
    };

    // What bucket.admitted[j] becomes when the bucket also admits byte b there: the
    // new low nibble with every high nibble, and the new high nibble with the old low
    // nibbles.
    double AdmittedWith(const Bucket& bucket, int j, unsigned char b) const {
        const int lo = b & 15, hi = b >> 4;
        const unsigned highs = bucket.high[j] | 1u << hi;
        double admitted = bucket.admitted[j];
        if (!((bucket.low[j] >> lo) & 1)) {
            for (int h = 0; h < 16; ++h) {
                if ((highs >> h) & 1) admitted += f_[h << 4 | lo];
            }
        }
        if (!((bucket.high[j] >> hi) & 1)) {
            for (int l = 0; l < 16; ++l) {
                if ((bucket.low[j] >> l) & 1) admitted += f_[hi << 4 | l];
            }
        }
        return admitted;
    }

    double Rate(const Bucket& bucket) const {
        if (!bucket.used) return 0;
        double rate = 1;
        for (int j = 0; j < kWindow; ++j) {
            if (!bucket.open[j]) rate *= bucket.admitted[j];
        }
        return rate;
    }

    double RateWith(const Bucket& bucket, const Anchor& anchor) const {
        double rate = 1;
        for (int j = 0; j < kWindow; ++j) {
            if (!bucket.open[j] && anchor.fixed[j]) rate *= AdmittedWith(bucket, j, anchor.bytes[j]);
        }
        return rate;
    }

    void Add(Bucket* bucket, const Anchor& anchor) const {
        bucket->used = true;
        for (int j = 0; j < kWindow; ++j) {
            if (!anchor.fixed[j]) {
                bucket->open[j] = true;
            } else {
                bucket->admitted[j] = AdmittedWith(*bucket, j, anchor.bytes[j]);
                bucket->low[j] |= static_cast<uint16_t>(1u << (anchor.bytes[j] & 15));
                bucket->high[j] |= static_cast<uint16_t>(1u << (anchor.bytes[j] >> 4));
            }
        }
    }

    // Takes anchor i out of its bucket, rebuilding the bucket from the others in it.
    void Remove(const Anchor* anchors, size_t count, size_t i) {
        const int b = anchors[i].bucket;
        buckets_[b] = Bucket();
        for (size_t k = 0; k < count; ++k) {
            if (k != i && anchors[k].bucket == b) Add(&buckets_[b], anchors[k]);
        }
    }

    double f_[256];
    Bucket buckets_[kBuckets] = {};
};

}  // namespace

SignatureScanner::SignatureScanner(const CodeRange* ranges, int count) : count_(0), path_(PATH_SCALAR) {
    for (int i = 0; i < count && count_ < kMaxRanges; ++i) {
        if (ranges[i].begin && ranges[i].size) ranges_[count_++] = ranges[i];
    }
    if (Supports(PATH_SSSE3)) path_ = PATH_SSSE3;
    if (Supports(PATH_AVX2)) path_ = PATH_AVX2;
}

bool SignatureScanner::Supports(Path path) {
    if (path == PATH_SCALAR) return true;
#if VL_SCAN_X86
    __builtin_cpu_init();
    if (path == PATH_SSSE3) return __builtin_cpu_supports("ssse3");
    if (path == PATH_AVX2) return __builtin_cpu_supports("avx2");
#endif
    return false;
}

bool SignatureScanner::UsePath(Path path) {
    if (!Supports(path)) return false;
    path_ = path;
    return true;
}

// Counts byte values over the whole code when it is small, else over 256 evenly spaced
// chunks of 256 bytes: enough to tell the common opcode and operand bytes from the rare
// ones at a small fraction of a pass.
void SignatureScanner::Sample() {
    const size_t kChunk = 256, kChunks = 256;
    unsigned int counts[256] = {};
    unsigned long long total = 0;
    for (int r = 0; r < count_; ++r) total += ranges_[r].size;
    if (total <= kChunk * kChunks) {
        for (int r = 0; r < count_; ++r) {
            for (size_t i = 0; i < ranges_[r].size; ++i) ++counts[ranges_[r].begin[i]];
        }
    } else {
        for (size_t c = 0; c < kChunks; ++c) {
            unsigned long long at = (total - kChunk) * c / (kChunks - 1);
            int r = 0;
            while (at >= ranges_[r].size) at -= ranges_[r++].size;
            const size_t offset = static_cast<size_t>(at);
            const size_t n = ranges_[r].size - offset < kChunk ? ranges_[r].size - offset : kChunk;
            for (size_t i = 0; i < n; ++i) ++counts[ranges_[r].begin[offset + i]];
        }
    }
    weightSum_ = 0;
    for (int b = 0; b < 256; ++b) {
        weight_[b] = counts[b] + 1;
        weightSum_ += weight_[b];
    }
    sampled_ = true;
}

void SignatureScanner::Scan(const SignatureQuery* queries, size_t count, SignatureMatches* results) {
    size_t accepted = 0;
    for (size_t i = 0; i < count; ++i) {
        results[i] = SignatureMatches();
        const SignatureQuery& query = queries[i];
        results[i].refused = !query.bytes || !query.mask || FirstFixed(query) == query.length;
        if (!results[i].refused) ++accepted;
    }
    if (accepted == 0 || count_ == 0) return;
    if (!sampled_) Sample();

    Anchor* chosen = new Anchor[accepted];
    AnchorChooser chooser(weight_, weightSum_);
    size_t n = 0;
    for (size_t i = 0; i < count; ++i) {
        if (results[i].refused) continue;
        chosen[n] = Anchor();
        chosen[n].query = i;
        chooser.Window(queries[i], &chosen[n++]);
    }
    chooser.Buckets(chosen, accepted);
    const bool filtered = chooser.PassRate() < kFilterUseful;

    Plan* plan = new Plan();
    plan->queries = queries;
    plan->results = results;
    plan->shortest = static_cast<size_t>(-1);
    for (size_t i = 0; i < accepted; ++i) {
        const Anchor& anchor = chosen[i];
        const unsigned char bit = static_cast<unsigned char>(1u << anchor.bucket);
        for (int j = 0; j < kWindow; ++j) {
            if (anchor.fixed[j]) {
                plan->low[j][anchor.bytes[j] & 15] |= bit;
                plan->high[j][anchor.bytes[j] >> 4] |= bit;
            } else {
                plan->open[j] |= bit;
                for (int e = 0; e < 16; ++e) {
                    plan->low[j][e] |= bit;
                    plan->high[j][e] |= bit;
                }
            }
        }
        plan->shapes |= 1u << anchor.shape;
        ++plan->shapeStart[anchor.shape + 1];
        if (anchor.shape == kShapeLoose) {
            SetBit(plan->loose, anchor.bytes[0]);
        } else {
            const unsigned openShift = anchor.shape == 1 ? 8 : 16;
            for (unsigned any = 0; any < 256; ++any) {
                SetBit(plan->keys, PlaceKey(anchor.word | any << openShift));
                if (anchor.shape == 0) break;
            }
        }
        if (queries[anchor.query].length < plan->shortest) plan->shortest = queries[anchor.query].length;
    }
    for (int shape = 0; shape < 4; ++shape) plan->shapeStart[shape + 1] += plan->shapeStart[shape];
    std::sort(chosen, chosen + accepted, AnchorBefore);
    plan->anchors = chosen;

    for (int r = 0; r < count_; ++r) {
        const unsigned char* begin = ranges_[r].begin;
        const size_t size = ranges_[r].size;
        if (size < plan->shortest) continue;
        if (!filtered) {
            ScanKeys(*plan, begin, size);
            continue;
        }
        switch (path_) {
#if VL_SCAN_X86
            case PATH_AVX2: FilterAvx2(*plan, begin, size); break;
            case PATH_SSSE3: FilterSsse3(*plan, begin, size); break;
#endif
            default: FilterScalar(*plan, begin, size, 0); break;
        }
    }
    delete[] chosen;
    delete plan;
}

size_t SignatureScanner::Count(const unsigned char* signature, const char* mask, size_t length,
                               const unsigned char** first, bool* refused) {
    const SignatureQuery query = {signature, mask, length};
    SignatureMatches result;
    Scan(&query, 1, &result);
    if (first) *first = result.first;
    if (refused) *refused = result.refused;
    return result.count;
}
