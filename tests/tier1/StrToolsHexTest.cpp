// Byte blocks rendered as hexadecimal text: digits, order, and the cut at the buffer.
#include <gtest/gtest.h>
#include <string.h>

#include "tier1/StrTools.h"

namespace {

TEST(BinaryToHexTest, TwoLowercaseDigitsPerByteInOrder) {
    const unsigned char bytes[] = {0x0A, 0xFF, 0x00, 0x9c, 0x10};
    char out[32];
    V_binarytohex(bytes, 2, out, sizeof(out));
    EXPECT_STREQ(out, "0aff");
    V_binarytohex(bytes, 5, out, sizeof(out));
    EXPECT_STREQ(out, "0aff009c10");
    const unsigned char all[] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    V_binarytohex(all, 8, out, sizeof(out));
    EXPECT_STREQ(out, "0123456789abcdef");
}

TEST(BinaryToHexTest, CutToTheBufferAndAlwaysTerminated) {
    const unsigned char bytes[] = {0x0A, 0xFF, 0x12};
    struct Case {
        int inSize;
        int outSize;
        const char* expected;
    } cases[] = {
        {3, 7, "0aff12"},  // exact fit: six digits and the terminator
        {3, 6, "0aff1"},   // one short: the last pair is cut in the middle
        {3, 5, "0aff"},   {3, 2, "0"}, {3, 1, ""}, {0, 8, ""}, {-4, 8, ""},
    };
    for (const Case& c : cases) {
        char out[16];
        memset(out, 'x', sizeof(out));
        V_binarytohex(bytes, c.inSize, out, c.outSize);
        EXPECT_STREQ(out, c.expected) << c.inSize << " bytes into " << c.outSize;
        EXPECT_EQ(out[c.outSize], 'x') << "nothing written past the buffer";
    }
    char untouched[2] = {'x', 'y'};
    V_binarytohex(bytes, 3, untouched, 0);
    V_binarytohex(bytes, 3, untouched, -1);
    EXPECT_EQ(untouched[0], 'x') << "a size of 0 or less writes nothing";
    V_binarytohex(nullptr, 0, untouched, 2);
    EXPECT_STREQ(untouched, "");
}

}  // namespace
