#include "sigscan/SignatureScanner.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

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
