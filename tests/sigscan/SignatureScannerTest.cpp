#include "sigscan/SignatureScanner.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

namespace {

const SignatureScanner::Path kPaths[] = {SignatureScanner::PATH_SCALAR, SignatureScanner::PATH_SSSE3,
                                         SignatureScanner::PATH_AVX2};

// The plain search a batch must agree with: every start in every range, compared byte by
// byte under the mask.
SignatureMatches PlainSearch(const std::vector<CodeRange>& ranges, const SignatureQuery& q) {
    SignatureMatches m;
    const bool anyFixed = q.mask && std::string(q.mask, q.length).find_first_not_of('?') != std::string::npos;
    m.refused = !q.bytes || !q.mask || !anyFixed;
    if (m.refused) return m;
    for (const CodeRange& r : ranges) {
        for (size_t s = 0; s + q.length <= r.size; ++s) {
            size_t i = 0;
            while (i < q.length && (q.mask[i] == '?' || r.begin[s + i] == q.bytes[i])) ++i;
            if (i == q.length && m.count++ == 0) m.first = r.begin + s;
        }
    }
    return m;
}

// Runs the batch on every path this processor has and compares each signature's result
// with the plain search. Returns how many paths ran.
int ExpectBatchAgrees(const std::vector<CodeRange>& ranges, const std::vector<SignatureQuery>& queries,
                      const std::string& what) {
    int ran = 0;
    SignatureScanner scanner(ranges.data(), static_cast<int>(ranges.size()));
    for (SignatureScanner::Path path : kPaths) {
        if (!scanner.UsePath(path)) continue;
        ++ran;
        std::vector<SignatureMatches> got(queries.size());
        scanner.Scan(queries.data(), queries.size(), got.data());
        for (size_t i = 0; i < queries.size(); ++i) {
            const SignatureMatches want = PlainSearch(ranges, queries[i]);
            if (got[i].count != want.count || got[i].first != want.first || got[i].refused != want.refused) {
                ADD_FAILURE() << what << ", path " << path << ", signature " << i << " of " << queries.size()
                              << ": count " << got[i].count << " (plain " << want.count << "), first "
                              << static_cast<const void*>(got[i].first) << " (plain "
                              << static_cast<const void*>(want.first) << "), refused " << got[i].refused;
                return ran;
            }
        }
    }
    return ran;
}

struct Case {
    const char* what;
    std::vector<unsigned char> signature;
    const char* mask;
    size_t expectedCount;
    long expectedFirst;  // offset of the first match, -1 when none
};

}  // namespace

TEST(SignatureScannerTest, CountsMaskedMatchesUpToTheRangeEnds) {
    // 64 bytes of a background that never contains 0xC3 or 0xAA, with planted bytes.
    std::vector<unsigned char> code(64);
    for (size_t i = 0; i < code.size(); ++i) code[i] = static_cast<unsigned char>(0x10 + i % 7);
    const unsigned char pattern[] = {0xC3, 0xAA, 0x01};
    memcpy(&code[0], pattern, 3);   // at the very start
    memcpy(&code[20], pattern, 3);  // in the middle
    memcpy(&code[61], pattern, 3);  // ending exactly at the last byte
    code[40] = 0xC3;
    code[41] = 0xAB;  // differs in the second byte only
    code[42] = 0x01;

    const CodeRange range = {code.data(), code.size()};
    SignatureScanner scanner(&range, 1);
    const Case cases[] = {
        {"exact, three places", {0xC3, 0xAA, 0x01}, "xxx", 3, 0},
        {"second byte wild also takes the near miss", {0xC3, 0x00, 0x01}, "x?x", 4, 0},
        {"mask shorter than the bytes: only the masked prefix counts", {0xC3, 0xAA, 0x99}, "xx", 3, 0},
        {"a match that would run one byte past the end is not one", {0xAA, 0x01, 0x00}, "xx?", 2, 1},
        {"nowhere", {0xC3, 0xAA, 0x02}, "xxx", 0, -1},
        {"leading wildcards shift the first place", {0x00, 0xC3, 0xAA}, "?xx", 2, 19},
    };
    for (const Case& c : cases) {
        const unsigned char* first = nullptr;
        bool refused = true;
        const size_t count = scanner.Count(c.signature.data(), c.mask, strlen(c.mask), &first, &refused);
        EXPECT_EQ(count, c.expectedCount) << c.what;
        EXPECT_FALSE(refused) << c.what;
        EXPECT_EQ(first ? first - code.data() : -1, c.expectedFirst) << c.what;
    }

    // No fixed byte, or nothing to match: refused rather than matching everywhere.
    const unsigned char any[] = {0, 0};
    bool refused = false;
    const unsigned char* first = code.data();
    EXPECT_EQ(scanner.Count(any, "??", 2, &first, &refused), 0u);
    EXPECT_TRUE(refused);
    EXPECT_EQ(first, nullptr);
    refused = false;
    EXPECT_EQ(scanner.Count(any, "", 0, &first, &refused), 0u);
    EXPECT_TRUE(refused);
    EXPECT_EQ(scanner.Count(nullptr, "x", 1, &first, &refused), 0u);
}

TEST(SignatureScannerTest, AMatchNeverSpansTwoRanges) {
    std::vector<unsigned char> code(32, 0x90);
    code[15] = 0xC3;
    code[16] = 0xAA;  // straddles the split below
    code[30] = 0xC3;
    code[31] = 0xAA;  // ends exactly at the end of the second range
    const CodeRange ranges[] = {{code.data(), 16}, {code.data() + 16, 16}};
    SignatureScanner scanner(ranges, 2);
    const unsigned char signature[] = {0xC3, 0xAA};
    const unsigned char* first = nullptr;
    EXPECT_EQ(scanner.Count(signature, "xx", 2, &first), 1u);
    EXPECT_EQ(first, code.data() + 30);
    // A range exactly the signature's length holds one match; a shorter one is passed over.
    const CodeRange exact = {code.data() + 30, 2};
    SignatureScanner fits(&exact, 1);
    EXPECT_EQ(fits.Count(signature, "xx", 2, &first), 1u);
    const CodeRange tiny = {code.data() + 31, 1};
    SignatureScanner small(&tiny, 1);
    EXPECT_EQ(small.Count(signature, "xx", 2, &first), 0u);
}

TEST(SignatureScannerTest, FindsTheGameLibrarysStubsInItsCodeOnly) {
    const std::string path = std::string(VL_GAME_DIR) + "/bin/server" VL_MODULE_SUFFIX;
    void* handle = dlopen(path.c_str(), RTLD_NOW);
    ASSERT_NE(handle, nullptr);
    link_map* map = nullptr;
    ASSERT_EQ(dlinfo(handle, RTLD_DI_LINKMAP, &map), 0);

    CodeRange ranges[8];
    const int count = ModuleCodeRanges(map->l_addr, map->l_name, ranges, 8);
    ASSERT_GE(count, 1);
    SignatureScanner scanner(ranges, count);

    // The stubs' bytes are stated here as the game library's assembly writes them.
    const unsigned char respawn[] = {0x55, 0x89, 0xE5, 0xB8, 0x31, 0x52, 0x4C, 0x56, 0x5D, 0xE9};
    const unsigned char* first = nullptr;
    EXPECT_EQ(scanner.Count(respawn, "xxxxxxxxxx", 10, &first), 1u);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(ModuleContains(map->l_addr, map->l_name, reinterpret_cast<uintptr_t>(first)));
    const unsigned char twins[] = {0x55, 0x89, 0xE5, 0xB8, 0x32, 0x52, 0x4C, 0x56};
    EXPECT_EQ(scanner.Count(twins, "xxxxxxxx", 8, &first), 2u);
    EXPECT_EQ(scanner.Count(twins, "xxxxxxxx", 8, nullptr), 2u);

    // Another module's code, and addresses outside the module, are not the library's.
    EXPECT_FALSE(ModuleContains(map->l_addr, map->l_name, 0));
    // The first byte of the module is inside it, and so is the last code byte.
    EXPECT_TRUE(ModuleContains(map->l_addr, map->l_name, reinterpret_cast<uintptr_t>(ranges[0].begin)));
    EXPECT_TRUE(
        ModuleContains(map->l_addr, map->l_name, reinterpret_cast<uintptr_t>(ranges[0].begin + ranges[0].size - 1)));
    EXPECT_FALSE(ModuleContains(map->l_addr, map->l_name, reinterpret_cast<uintptr_t>(&ranges)));
    EXPECT_EQ(ModuleCodeRanges(map->l_addr + 4096, map->l_name, ranges, 8), 0);
    EXPECT_EQ(ModuleCodeRanges(map->l_addr, "/no/such/module.so", ranges, 8), 0);
    EXPECT_EQ(ModuleCodeRanges(map->l_addr, map->l_name, ranges, 0), 0);
    dlclose(handle);
}

TEST(SignatureScannerTest, BatchFindsOverlappingAndSharedAnchorsButNothingAcrossRanges) {
    // Three adjacent ranges of 45, 38 and 17 bytes (none a multiple of 16) over a
    // background that holds none of the planted bytes.
    std::vector<unsigned char> code(100, 0x90);
    const unsigned char run[] = {0xC3, 0xC3, 0xC3, 0xC3, 0xC3};  // "C3 C3 C3" at 3 overlapping places
    memcpy(&code[5], run, sizeof(run));
    const unsigned char tail[] = {0xE8, 0x11, 0x22, 0x33};
    memcpy(&code[41], tail, sizeof(tail));                               // ends at the last byte of the first range
    memcpy(&code[96], tail, sizeof(tail));                               // and of the last
    code[20] = 0xE8, code[21] = 0x11, code[22] = 0x22, code[23] = 0x34;  // shares the anchor, not the tail
    const unsigned char across[] = {0xAB, 0xCD, 0xEF, 0x01};             // two bytes in each of the last two ranges
    memcpy(&code[81], across, sizeof(across));
    const std::vector<CodeRange> ranges = {{code.data(), 45}, {code.data() + 45, 38}, {code.data() + 83, 17}};

    const std::string wild(7, '?');
    const std::vector<SignatureQuery> queries = {
        {run, "xxx", 3},                                           // overlapping: 3 places
        {tail, "xxxx", 4},                                         // the two range ends
        {tail, "xxx?", 4},                                         // same anchor, also the near miss at 20
        {tail, "xxx?", 4},                                         // the same signature twice in a batch
        {across, "xxxx", 4},                                       // only across the ranges: none
        {across + 2, "xx", 2},                                     // its second half, at the start of range 3
        {tail, "x??x", 4},                                         // wildcard-heavy
        {tail, "???x", 4},                                         // only the last byte fixed
        {tail, wild.c_str(), 4},                                   // refused, between the others
        {run, "x", 1},                                             // every C3: 5 places
        {reinterpret_cast<const unsigned char*>("\x90"), "x", 1},  // the background, up to each end
    };
    const size_t expected[] = {3, 2, 3, 3, 0, 1, 2, 2, 0, 5, 100 - 5 - 4 - 4 - 4 - 4};
    EXPECT_GE(ExpectBatchAgrees(ranges, queries, "planted"), 1);
    SignatureScanner scanner(ranges.data(), 3);
    for (SignatureScanner::Path path : kPaths) {
        if (!scanner.UsePath(path)) continue;
        std::vector<SignatureMatches> got(queries.size());
        scanner.Scan(queries.data(), queries.size(), got.data());
        for (size_t i = 0; i < queries.size(); ++i) EXPECT_EQ(got[i].count, expected[i]) << path << " " << i;
        EXPECT_EQ(got[0].first, &code[5]);
        EXPECT_EQ(got[1].first, &code[41]);
        EXPECT_EQ(got[2].first, &code[20]);
        EXPECT_EQ(got[5].first, &code[83]);
        EXPECT_TRUE(got[8].refused);
    }
}

// Random code with few distinct byte values (so that signatures match often and anchors
// collide), ranges of odd lengths, and batches of signatures cut near the range ends,
// across them, or made up, mostly masked: every path agrees with the plain search.
TEST(SignatureScannerTest, BatchAgreesWithAPlainSearchOnEveryPath) {
    std::mt19937 random(20240611);
    auto below = [&random](size_t n) { return static_cast<size_t>(random() % n); };
    const size_t lengths[] = {0, 1, 2, 3, 15, 16, 17, 31, 32, 33, 34, 35, 63, 64, 66, 97, 130, 257};
    for (int trial = 0; trial < 400; ++trial) {
        const size_t alphabet = std::vector<size_t>{2, 3, 8, 40, 256}[below(5)];
        const unsigned char base = static_cast<unsigned char>(random());
        // One block for all ranges: adjacent ranges let signatures straddle a boundary;
        // separate blocks of exact size let the sanitizers catch a read past a range.
        const bool adjacent = below(2) == 0;
        std::vector<std::vector<unsigned char>> blocks;
        std::vector<CodeRange> ranges;
        const size_t rangeCount = 1 + below(4);
        std::vector<size_t> sizes;
        for (size_t r = 0; r < rangeCount; ++r) sizes.push_back(below(3) ? lengths[below(18)] : below(600));
        auto fill = [&](std::vector<unsigned char>& bytes) {
            for (unsigned char& b : bytes) b = static_cast<unsigned char>(base + below(alphabet) * 37);
        };
        if (adjacent) {
            size_t total = 0;
            for (size_t n : sizes) total += n;
            blocks.emplace_back(total);
            fill(blocks.back());
            for (size_t r = 0, at = 0; r < rangeCount; at += sizes[r++])
                ranges.push_back({blocks[0].data() + at, sizes[r]});
        } else {
            for (size_t r = 0; r < rangeCount; ++r) {
                blocks.emplace_back(sizes[r]);
                fill(blocks.back());
                ranges.push_back({blocks.back().data(), sizes[r]});
            }
        }
        std::vector<CodeRange> kept;  // what the scanner searches: the non-empty ranges
        for (const CodeRange& r : ranges) {
            if (r.size) kept.push_back(r);
        }

        // Mostly small batches (the filter), now and then a large one (the key scan).
        const size_t count = below(8) ? 1 + below(40) : 150 + below(250);
        const double wildcards = std::vector<double>{0, 0.2, 0.5, 0.8}[below(4)];
        std::vector<std::string> bytes(count), masks(count);
        std::vector<SignatureQuery> queries(count);
        for (size_t i = 0; i < count; ++i) {
            const size_t length = below(5) ? 1 + below(12) : below(40);
            std::string& sig = bytes[i];
            if (i > 0 && below(6) == 0) {  // shares the start of an earlier one
                sig = bytes[below(i)].substr(0, length);
            } else if (!kept.empty() && below(3)) {  // cut from the code, often near a range end
                const CodeRange& r = kept[below(kept.size())];
                const size_t from = below(2) ? below(r.size) : r.size - 1 - below(r.size < 4 ? r.size : 4);
                const unsigned char* end = adjacent ? blocks[0].data() + blocks[0].size() : r.begin + r.size;
                sig.assign(r.begin + from, r.begin + std::min<size_t>(from + length, end - r.begin));
            }
            while (sig.size() < length) sig += static_cast<char>(base + below(alphabet) * 37);
            masks[i].clear();
            for (size_t k = 0; k < sig.size(); ++k) masks[i] += random() % 1000 < wildcards * 1000 ? '?' : 'x';
            queries[i] = {reinterpret_cast<const unsigned char*>(sig.data()), masks[i].c_str(), sig.size()};
            if (below(50) == 0) queries[i].mask = nullptr;
        }
        if (ExpectBatchAgrees(kept, queries, "trial " + std::to_string(trial)) == 0) FAIL() << "no path ran";
        if (HasFailure()) return;
    }
}
