#include "tier1/UtlBuffer.h"

#include <float.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <math.h>
#include <string.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/tier0/HostTier0.h"
#include "support/BufferState.h"
#include "support/ExactBuffer.h"
#include "tier1/UtlCharConversion.h"

namespace {

typedef CUtlBuffer B;

struct AllocLimit {
    explicit AllocLimit(size_t bytes) { HostTier0_SetAllocLimit(bytes); }
    ~AllocLimit() { HostTier0_SetAllocLimit(0); }
};

// A buffer whose handlers record their calls and answer as told, without delivering.
class HandlerBuffer : public CUtlBuffer {
public:
    HandlerBuffer(void* data, int size, int flags, bool answer) : CUtlBuffer(data, size, flags), answer_(answer) {
        SetOverflowFuncs(static_cast<UtlBufferOverflowFunc_t>(&HandlerBuffer::Record),
                         static_cast<UtlBufferOverflowFunc_t>(&HandlerBuffer::Record));
    }
    bool Record(int size) {
        sizes.push_back(size);
        return answer_;
    }
    std::vector<int> sizes;

private:
    bool answer_;
};

// CheckArbitraryPeekGet's answer and the wish as it cut it down.
std::pair<bool, int> Peek(CUtlBuffer& b, int offset, int wish) {
    const bool readable = b.CheckArbitraryPeekGet(offset, wish);
    return {readable, wish};
}

// The read state (BufferState.h) after reading one value with `get`.
template <typename T>
std::string Read(CUtlBuffer& b, T (CUtlBuffer::*get)()) {
    const T value = (b.*get)();
    return ReadState(std::to_string(value), b);
}

// The read state after GetString, GetLine or ParseToken into 64 bytes.
std::string GetString(CUtlBuffer& b, int maxChars) {
    char dest[64];
    b.GetString(dest, maxChars);
    return ReadState(dest, b);
}
std::string GetLine(CUtlBuffer& b, int maxChars) {
    char dest[64];
    b.GetLine(dest, maxChars);
    return ReadState(dest, b);
}
std::string ParseToken(CUtlBuffer& b, const char* startDelim, const char* endDelim, int maxLen = 16) {
    char dest[64] = "untouched";
    const bool found = b.ParseToken(startDelim, endDelim, dest, maxLen);
    return (found ? "found " : "not found ") + ReadState(dest, b);
}

}  // namespace

TEST(UtlBufferTest, OwnedMemoryGrowsByPolicyAndKeepsTerminator) {
    // The sizes the memory takes as bytes are put one at a time: (bytes put, size).
    using Steps = std::vector<std::pair<int, int>>;
    auto growth = [](CUtlBuffer& b, int bytes) {
        Steps steps;
        for (int i = 1; i <= bytes; ++i) {
            b.PutChar('x');
            if (steps.empty() || steps.back().second != b.Size()) steps.push_back({i, b.Size()});
        }
        return steps;
    };
    CUtlBuffer doubling(0, 0, 0);
    EXPECT_EQ(doubling.Size(), 0);
    EXPECT_EQ(growth(doubling, 33), (Steps{{1, 32}, {32, 64}}));  // 31 bytes and the terminator fill 32
    EXPECT_EQ(doubling.TellMaxPut(), 33);
    EXPECT_EQ(static_cast<const char*>(doubling.Base())[33], 0);
    CUtlBuffer tens(10, 0, 0);
    EXPECT_EQ(growth(tens, 24), (Steps{{1, 10}, {10, 20}, {20, 30}}));

    CUtlBuffer preallocated(0, 16, 0);
    EXPECT_EQ(preallocated.Size(), 16);
    EXPECT_EQ(preallocated.TellMaxPut(), 0);
    EXPECT_EQ(static_cast<const char*>(preallocated.Base())[0], 0);
    EXPECT_TRUE(preallocated.EnsureCapacity(40));
    EXPECT_EQ(preallocated.Size(), 41);
}

TEST(UtlBufferTest, HighWaterMarkMovesOnlyForward) {
    CUtlBuffer b;
    b.Put("abc", 3);
    EXPECT_EQ(b.TellMaxPut(), 3);
    EXPECT_EQ(b.TellGet(), 0);
    EXPECT_EQ(static_cast<const char*>(b.Base())[3], 0);

    b.SeekPut(B::SEEK_FROM_HEAD, 1);
    EXPECT_EQ(BufferData(b), "abc");  // seeking back stores nothing and keeps the mark
    b.PutChar('X');
    EXPECT_EQ(BufferData(b), "aXc");

    b.SeekPut(B::SEEK_FROM_TAIL, 0);
    EXPECT_EQ(b.TellPut(), 3);
    b.SeekPut(B::SEEK_FROM_CURRENT, 4);  // past the data: the gap reads as zeros
    EXPECT_EQ(BufferData(b), std::string("aXc\0\0\0\0", 7));
    EXPECT_EQ(static_cast<const char*>(b.Base())[7], 0);
    EXPECT_TRUE(b.IsValid());

    b.Clear();
    EXPECT_EQ(b.TellMaxPut(), 0);
    EXPECT_EQ(static_cast<const char*>(b.Base())[0], 0);
}

TEST(UtlBufferTest, GetOverflowIsStickyUntilSeekGet) {
    CUtlBuffer b;
    b.Put("abc", 3);
    char dest[8] = "zzzzzzz";
    b.Get(dest, 4);
    EXPECT_EQ(b.GetErrorBits(), B::ERROR_GET_OVERFLOW);
    EXPECT_STREQ(dest, "zzzzzzz");
    b.Get(dest, 1);  // refused while the bit is set
    EXPECT_EQ(b.TellGet(), 0);
    EXPECT_EQ(b.PeekGet(1, 0), nullptr);
    EXPECT_EQ(b.GetUpTo(dest, 1), 0);

    b.SeekGet(B::SEEK_FROM_HEAD, 0);
    EXPECT_TRUE(b.IsValid());
    b.Get(dest, 3);
    EXPECT_EQ(std::string(dest, 3), "abc");
    EXPECT_EQ(b.GetBytesRemaining(), 0);

    // Peeks never set the bit.
    EXPECT_EQ(b.PeekGet(1, 0), nullptr);
    EXPECT_FALSE(b.CheckPeekGet(-4, 1));
    EXPECT_TRUE(b.IsValid());
    EXPECT_EQ(static_cast<const char*>(b.PeekGet(1, -1))[0], 'c');

    b.SeekGet(B::SEEK_FROM_HEAD, 4);
    EXPECT_EQ(b.GetErrorBits(), B::ERROR_GET_OVERFLOW);
    b.SeekGet(B::SEEK_FROM_TAIL, 1);
    EXPECT_EQ(b.TellGet(), 2);
    EXPECT_TRUE(b.IsValid());
    // Exactly at the mark is not past it, from either end; reading there is.
    for (auto seek : {std::make_pair(B::SEEK_FROM_TAIL, 0), std::make_pair(B::SEEK_FROM_HEAD, 3)}) {
        b.SeekGet(seek.first, seek.second);
        EXPECT_TRUE(b.IsValid()) << seek.second;
        EXPECT_EQ(b.TellGet(), 3);
        EXPECT_EQ(b.GetBytesRemaining(), 0);
    }
    EXPECT_EQ(Read(b, &B::GetChar), "0|3|get overflow");

    // A negative position is not past the mark, but reading there fails.
    b.SeekGet(B::SEEK_FROM_HEAD, -1);
    EXPECT_TRUE(b.IsValid());
    EXPECT_EQ(Read(b, &B::GetChar), "0|-1|get overflow");

    // Relative seeks saturate instead of wrapping.
    b.SeekGet(B::SEEK_FROM_HEAD, INT_MAX - 1);
    b.SeekGet(B::SEEK_FROM_CURRENT, 10);
    EXPECT_EQ(b.TellGet(), INT_MAX);
    b.SeekGet(B::SEEK_FROM_TAIL, INT_MIN);
    EXPECT_EQ(b.TellGet(), INT_MAX);
    b.SeekGet(B::SEEK_FROM_HEAD, INT_MIN);
    b.SeekGet(B::SEEK_FROM_CURRENT, -1);
    EXPECT_EQ(b.TellGet(), INT_MIN);
    EXPECT_EQ(b.GetBytesRemaining(), 0);
}

TEST(UtlBufferTest, ArbitraryPeekClampsToWhatIsLeft) {
    CUtlBuffer b;
    b.Put("0123456789", 10);
    b.SeekGet(B::SEEK_FROM_HEAD, 5);
    EXPECT_EQ(Peek(b, 0, 100), std::make_pair(true, 5));
    EXPECT_EQ(Peek(b, 4, 3), std::make_pair(true, 1));
    EXPECT_EQ(Peek(b, 0, -1), std::make_pair(false, 0));
    char dest[16];
    EXPECT_EQ(b.GetUpTo(dest, 16), 5);
    EXPECT_EQ(std::string(dest, 5), "56789");
    EXPECT_EQ(Peek(b, 0, 4), std::make_pair(false, 0));
    EXPECT_TRUE(b.IsValid());
}

TEST(UtlBufferTest, BorrowedWritableMemoryTerminatesAndOverflows) {
    unsigned char block[8];
    memset(block, 'z', sizeof(block));
    CUtlBuffer fixed(block, 8, 0);
    EXPECT_EQ(block[0], 0);
    EXPECT_EQ(fixed.TellMaxPut(), 0);
    fixed.Put("12345678", 8);
    EXPECT_TRUE(fixed.IsValid());  // the dropped terminator is not an error
    EXPECT_EQ(fixed.TellMaxPut(), 8);
    fixed.PutChar('9');
    EXPECT_EQ(fixed.GetErrorBits(), B::ERROR_PUT_OVERFLOW);
    EXPECT_EQ(fixed.TellPut(), 8);
    EXPECT_EQ(fixed.Base(), block);
    fixed.SeekPut(B::SEEK_FROM_HEAD, 0);
    fixed.PutChar('x');  // still refused: the bit is sticky
    EXPECT_EQ(block[0], '1');
    fixed.SetExternalBuffer(block, 8, 3, 0);
    EXPECT_TRUE(fixed.IsValid());
    EXPECT_EQ(BufferData(fixed), "123");
    EXPECT_EQ(block[3], 0);

    int baseline = HostTier0_LiveAllocations();
    unsigned char borrowed[8];
    {
        // 7 bytes and a terminator fit the 8 borrowed ones exactly; one more does not.
        CUtlBuffer growable(borrowed, 8, B::BUFFER_EXTERNAL_GROWABLE);
        EXPECT_TRUE(growable.EnsureCapacity(7));
        EXPECT_EQ(growable.Base(), borrowed);
        EXPECT_TRUE(growable.EnsureCapacity(8));
        EXPECT_NE(growable.Base(), borrowed);
        EXPECT_GE(growable.Size(), 9);
    }
    EXPECT_EQ(HostTier0_LiveAllocations(), baseline);
    {
        CUtlBuffer growable(borrowed, 8, B::BUFFER_EXTERNAL_GROWABLE);
        growable.Put("abcdefgh", 8);  // the terminator moves it onto owned memory
        EXPECT_NE(growable.Base(), borrowed);
        EXPECT_FALSE(growable.IsExternallyAllocated());
        EXPECT_EQ(growable.Size(), 16);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(borrowed), 8), "abcdefgh");
        growable.PutChar('i');
        EXPECT_STREQ(static_cast<const char*>(growable.Base()), "abcdefghi");
        EXPECT_EQ(HostTier0_LiveAllocations(), baseline + 1);
    }
    EXPECT_EQ(HostTier0_LiveAllocations(), baseline);
}

TEST(UtlBufferTest, ReadOnlyMemoryIsReadExactlyAndNeverWritten) {
    ExactBuffer ro("hello", 0);
    EXPECT_EQ(ro.buf.TellMaxPut(), 5);
    char dest[8] = {};
    ro.buf.Get(dest, 5);
    EXPECT_STREQ(dest, "hello");
    EXPECT_EQ(Read(ro.buf, &B::GetChar), "0|5|get overflow");

    ro.buf.SeekPut(B::SEEK_FROM_HEAD, 1);
    ro.buf.Put("XY", 2);
    ro.buf.PutInt(7);
    ro.buf.SeekPut(B::SEEK_FROM_HEAD, 9);  // no terminator, and the mark passes memory
    EXPECT_EQ(std::string(ro.block.data(), 5), "hello");
    EXPECT_EQ(ro.buf.GetErrorBits(), B::ERROR_GET_OVERFLOW);  // no put error for read-only
    ro.buf.SeekGet(B::SEEK_FROM_HEAD, 3);
    EXPECT_EQ(Peek(ro.buf, 0, 10), std::make_pair(true, 2));  // the mark is at 9, but memory ends at 5
    EXPECT_EQ(ro.buf.GetUpTo(dest, 8), 2);
    EXPECT_EQ(ro.buf.PeekStringLength(), 0);
    ro.buf.Get(dest, 2);  // below the mark but beyond memory
    EXPECT_EQ(ro.buf.GetErrorBits(), B::ERROR_GET_OVERFLOW);

    // Measuring runs that end exactly where the block ends reads no byte past it.
    ExactBuffer word("abcd"), line("ab\n");
    EXPECT_EQ(word.buf.PeekStringLength(), 5);
    EXPECT_EQ(word.buf.PeekLineLength(), 5);
    EXPECT_EQ(line.buf.PeekLineLength(), 4);
}

TEST(UtlBufferTest, WritesAtImpossiblePositionsFailWithPutOverflow) {
    CUtlBuffer below;
    below.SeekPut(B::SEEK_FROM_HEAD, -1);
    below.PutChar('x');
    EXPECT_EQ(below.GetErrorBits(), B::ERROR_PUT_OVERFLOW);
    EXPECT_EQ(below.Size(), 0);

    CUtlBuffer far;
    far.SeekPut(B::SEEK_FROM_HEAD, INT_MAX);  // its terminator cannot be had: not an error
    EXPECT_TRUE(far.IsValid());
    EXPECT_EQ(far.TellMaxPut(), INT_MAX);
    far.PutChar('x');
    EXPECT_EQ(far.GetErrorBits(), B::ERROR_PUT_OVERFLOW);
    far.SeekGet(B::SEEK_FROM_HEAD, 100);
    EXPECT_EQ(Read(far, &B::GetChar), "0|100|get+put overflow");

    CUtlBuffer negative;
    negative.Put("ab", -1);
    EXPECT_EQ(negative.GetErrorBits(), B::ERROR_PUT_OVERFLOW);
    char c;
    negative.Get(&c, -1);
    EXPECT_EQ(negative.GetErrorBits(), B::ERROR_PUT_OVERFLOW | B::ERROR_GET_OVERFLOW);

    AllocLimit limit(1000);
    CUtlBuffer refused;
    std::string text(600, 'a');
    refused.Put(text.data(), 600);  // doubling to 1024 is refused; exact sizes are not
    EXPECT_TRUE(refused.IsValid());
    EXPECT_EQ(refused.Size(), 601);
    refused.Put(text.data(), 401);  // 1001 bytes
    EXPECT_EQ(refused.GetErrorBits(), B::ERROR_PUT_OVERFLOW);
    EXPECT_EQ(refused.TellMaxPut(), 600);
    EXPECT_FALSE(refused.EnsureCapacity(5000));
    CUtlBuffer seekFar;
    seekFar.SeekPut(B::SEEK_FROM_HEAD, 1 << 24);
    EXPECT_TRUE(seekFar.IsValid());
    EXPECT_EQ(seekFar.Size(), 0);
}

TEST(UtlBufferTest, HandlersAreCheckedAfterTheyAnswer) {
    char text[3] = {'a', 'b', 'c'};
    HandlerBuffer liar(text, 3, B::BUFFER_READ_ONLY, true);
    liar.SeekPut(B::SEEK_FROM_HEAD, 10);
    liar.SeekGet(B::SEEK_FROM_HEAD, 2);
    char dest[4];
    liar.Get(dest, 4);
    EXPECT_EQ(liar.sizes, (std::vector<int>{4}));
    EXPECT_EQ(liar.GetErrorBits(), B::ERROR_GET_OVERFLOW);

    char block[4] = {};
    HandlerBuffer noRoom(block, 4, 0, true);
    noRoom.Put("12345678", 8);
    EXPECT_EQ(noRoom.sizes, (std::vector<int>{8}));
    EXPECT_EQ(noRoom.GetErrorBits(), B::ERROR_PUT_OVERFLOW);
    EXPECT_EQ(block[1], 0);

    CUtlBuffer none;
    none.SetOverflowFuncs(nullptr, nullptr);
    none.PutChar('x');
    EXPECT_EQ(none.GetErrorBits(), B::ERROR_PUT_OVERFLOW);
}

TEST(UtlBufferTest, BinaryTypedValuesUseHostOrderAndOptionalReversal) {
    CUtlBuffer b;
    b.PutInt(0x01020304);
    b.PutChar('c');
    b.PutUnsignedChar(200);
    b.PutFloat(1.5f);
    b.PutInt64(0x0102030405060708LL);
    b.SetLittleEndian(true);
    b.PutInt(1);
    b.PutUnsignedInt(0x0A0B0C0Du);
    b.PutInt64(0x0102030405060708LL);
    EXPECT_EQ(BufferData(b), std::string("\x04\x03\x02\x01"
                                         "c\xc8"
                                         "\0\0\xc0\x3f"  // 1.5f
                                         "\x08\x07\x06\x05\x04\x03\x02\x01"
                                         "\0\0\0\x01"
                                         "\x0a\x0b\x0c\x0d"
                                         "\x01\x02\x03\x04\x05\x06\x07\x08",
                                         34));

    EXPECT_EQ(b.GetInt(), 0x01020304);
    EXPECT_EQ(b.GetChar(), 'c');
    EXPECT_EQ(b.GetUnsignedChar(), 200);
    EXPECT_EQ(b.GetFloat(), 1.5f);
    EXPECT_EQ(b.GetInt64(), 0x0102030405060708LL);
    EXPECT_EQ(b.GetInt(), 0x01000000);  // reads never reverse
    EXPECT_EQ(b.GetUnsignedInt(), 0x0D0C0B0Au);
    EXPECT_EQ(b.GetInt64(), 0x0807060504030201LL);
    EXPECT_EQ(Read(b, &B::GetInt), "0|34|get overflow");
}

TEST(UtlBufferTest, TextTypedValuesArePrintedAndScanned) {
    CUtlBuffer b(0, 0, B::BUFFER_TEXT);
    b.PutInt(-12);
    b.PutChar(' ');
    b.PutFloat(1.5f);
    b.PutChar(' ');
    b.PutUnsignedInt(4000000000u);
    b.PutChar(' ');
    b.PutUnsignedChar(200);
    b.PutChar(' ');
    b.PutInt64(-5000000000LL);
    EXPECT_EQ(BufferData(b), "-12 1.500000 4000000000 200 -5000000000");

    EXPECT_EQ(b.GetInt(), -12);
    EXPECT_EQ(b.GetFloat(), 1.5f);
    EXPECT_EQ(b.GetUnsignedInt(), 4000000000u);
    EXPECT_EQ(b.GetUnsignedChar(), 200);
    EXPECT_EQ(b.GetInt64(), -5000000000LL);
    EXPECT_TRUE(b.IsValid());
    EXPECT_EQ(Read(b, &B::GetInt), "0|39|get overflow");
    b.SeekGet(B::SEEK_FROM_TAIL, 0);
    EXPECT_EQ(Read(b, &B::GetInt64), "0|39|get overflow") << "a 64-bit number at the very end";

    // Floats saturate to infinity only beyond the largest finite float.
    const struct {
        const char* text;
        float value;
    } floats[] = {{"340282346638528859811704183484516925440", FLT_MAX},
                  {"-340282346638528859811704183484516925440", -FLT_MAX},
                  {"1e39", HUGE_VALF},
                  {"-1e39", -HUGE_VALF}};
    for (const auto& f : floats) {
        ExactBuffer number(f.text);
        EXPECT_EQ(number.buf.GetFloat(), f.value) << f.text;
    }

    ExactBuffer word(" x");
    EXPECT_EQ(word.buf.GetChar(), ' ');  // characters are raw bytes, white space included
    EXPECT_EQ(Read(word.buf, &B::GetInt), "0|1|ok");
}

TEST(UtlBufferTest, AutomaticTabsFollowLineFeeds) {
    CUtlBuffer b(0, 0, B::BUFFER_TEXT);
    b.PushTab();
    b.PushTab();
    b.PutString("a\nb");
    b.PutChar('\n');
    b.PutChar('c');
    b.PutString("x\n");
    b.PutInt(5);
    EXPECT_EQ(BufferData(b), "a\n\t\tb\n\t\tcx\n\t\t5");
    // A text that ends in a line feed leaves the tabs to whatever comes next.
    b.PutString("y\n");
    EXPECT_EQ(BufferData(b), "a\n\t\tb\n\t\tcx\n\t\t5y\n");

    CUtlBuffer off(0, 0, B::BUFFER_TEXT | B::BUFFER_NO_AUTO_TABS);
    off.PushTab();
    off.PutString("a\nb");
    EXPECT_EQ(BufferData(off), "a\nb");

    CUtlBuffer binary;
    binary.PushTab();
    binary.PutChar('\n');
    binary.PutChar('b');
    EXPECT_EQ(BufferData(binary), "\nb");
    binary.PopTab();
    binary.PopTab();
    EXPECT_EQ(binary.GetTabLevel(), 0);
}

TEST(UtlBufferTest, WhiteSpaceAndLineCommentsAreSkipped) {
    ExactBuffer lead("  x");
    lead.buf.EatWhiteSpace();
    EXPECT_EQ(ReadState("", lead.buf), "|2|ok");

    ExactBuffer blank("   ");
    EXPECT_EQ(blank.buf.PeekWhiteSpace(0), 3);
    blank.buf.EatWhiteSpace();
    EXPECT_EQ(blank.buf.GetErrorBits(), B::ERROR_GET_OVERFLOW);
    EXPECT_EQ(blank.buf.PeekWhiteSpace(0), 0);  // not valid

    ExactBuffer binary("  x", 0);
    binary.buf.EatWhiteSpace();
    EXPECT_EQ(binary.buf.TellGet(), 0);
    EXPECT_EQ(binary.buf.PeekWhiteSpace(0), 0);

    ExactBuffer longRun(std::string(300, ' ') + "y");
    EXPECT_EQ(longRun.buf.PeekWhiteSpace(0), 300);
    EXPECT_EQ(longRun.buf.PeekWhiteSpace(299), 300);

    // A get position seeked below zero puts the data INT_MAX - 2 along; answers stop at INT_MAX.
    ExactBuffer below("    x");
    below.buf.SeekGet(B::SEEK_FROM_HEAD, INT_MIN + 3);
    EXPECT_EQ(below.buf.PeekWhiteSpace(INT_MAX - 2), INT_MAX);
    EXPECT_EQ(below.buf.PeekWhiteSpace(INT_MAX - 1), INT_MAX);
    ExactBuffer belowWord(" x");
    belowWord.buf.SeekGet(B::SEEK_FROM_HEAD, INT_MIN + 3);
    EXPECT_EQ(belowWord.buf.PeekWhiteSpace(INT_MAX - 2), INT_MAX - 1);

    ExactBuffer comment("// hi\nx"), slash("/x"), unended("// end");
    EXPECT_EQ(ReadState(comment.buf.EatCPPComment() ? "comment" : "none", comment.buf), "comment|6|ok");
    EXPECT_EQ(ReadState(slash.buf.EatCPPComment() ? "comment" : "none", slash.buf), "none|0|ok");
    EXPECT_EQ(ReadState(unended.buf.EatCPPComment() ? "comment" : "none", unended.buf), "comment|6|get overflow");
}

TEST(UtlBufferTest, StringsEndAtWhiteSpaceInTextAndAtZeroInBinary) {
    ExactBuffer text("  hello world");
    EXPECT_EQ(text.buf.PeekStringLength(), 6);
    EXPECT_EQ(GetString(text.buf, 16), "hello|7|ok");
    text.buf.SeekGet(B::SEEK_FROM_HEAD, 0);
    EXPECT_EQ(GetString(text.buf, 3), "he|7|ok");
    EXPECT_EQ(GetString(text.buf, 1), "|13|ok");
    EXPECT_EQ(GetString(text.buf, 16), "|13|get overflow");

    ExactBuffer zero(std::string("ab\0cd", 5));
    EXPECT_EQ(GetString(zero.buf, 16), "ab|2|ok");
    EXPECT_EQ(zero.buf.PeekStringLength(), 1);  // a 0 byte ends text without being consumed

    ExactBuffer binary(std::string("hi\0x", 4), 0);
    EXPECT_EQ(binary.buf.PeekStringLength(), 3);
    EXPECT_EQ(GetString(binary.buf, 16), "hi|3|ok");
    binary.buf.SeekGet(B::SEEK_FROM_HEAD, 0);
    EXPECT_EQ(GetString(binary.buf, 2), "h|3|ok");
    EXPECT_EQ(GetString(binary.buf, 16), "x|4|get overflow");  // "x" runs into the end: no terminator

    ExactBuffer chunked(std::string(200, 'a') + " b");
    EXPECT_EQ(chunked.buf.PeekStringLength(), 201);
}

TEST(UtlBufferTest, LinesIncludeTheirLineFeed) {
    ExactBuffer lines("ab\ncd");
    EXPECT_EQ(lines.buf.PeekLineLength(), 4);
    EXPECT_EQ(GetLine(lines.buf, 16), "ab\n|3|ok");
    EXPECT_EQ(GetLine(lines.buf, 16), "cd|5|ok");
    EXPECT_EQ(GetLine(lines.buf, 16), "|5|get overflow");

    ExactBuffer crlf("ab\r\ncd");
    EXPECT_EQ(crlf.buf.PeekLineLength(), 5);
    EXPECT_EQ(GetLine(crlf.buf, 2), "a|4|ok");

    ExactBuffer zero(std::string("ab\0c", 4), 0);
    EXPECT_EQ(zero.buf.PeekLineLength(), 3);
}

TEST(UtlBufferTest, GetTokenSearchesIgnoringCase) {
    ExactBuffer b(std::string("one TWO\0 three", 14));
    auto find = [&b](const char* token) {
        const bool found = b.buf.GetToken(token);
        return std::make_pair(found, b.buf.TellGet());
    };
    EXPECT_EQ(find("two"), std::make_pair(true, 7));
    EXPECT_EQ(find("THREE"), std::make_pair(true, 14));  // past the 0 byte
    b.buf.SeekGet(B::SEEK_FROM_HEAD, 2);
    EXPECT_EQ(find("zzz"), std::make_pair(false, 2));
    EXPECT_EQ(find(""), std::make_pair(false, 2));
    EXPECT_EQ(find("e two three and more"), std::make_pair(false, 2));  // longer than the data
    EXPECT_TRUE(b.buf.IsValid());
}

TEST(UtlBufferTest, ParseTokenReadsBetweenDelimitersOrRestores) {
    ExactBuffer b("  [ abc ]rest");
    EXPECT_EQ(ParseToken(b.buf, "[", "]"), "found abc|9|ok");
    b.buf.SeekGet(B::SEEK_FROM_HEAD, 0);
    EXPECT_EQ(ParseToken(b.buf, "[", "]", 3), "found ab|9|ok");
    b.buf.SeekGet(B::SEEK_FROM_HEAD, 0);
    EXPECT_EQ(ParseToken(b.buf, "[", "]", 1), "found |9|ok") << "room for the terminator only";
    // An empty token: trimming stops at the start of an exactly sized target.
    ExactBuffer empty("[ ]");
    std::unique_ptr<char[]> small(new char[2]);
    EXPECT_TRUE(empty.buf.ParseToken("[", "]", small.get(), 2));
    EXPECT_STREQ(small.get(), "");

    ExactBuffer wrong("(abc]"), keyed("KEY   =  val ; next"), open("[abc   ");
    EXPECT_EQ(ParseToken(wrong.buf, "[", "]"), "not found |0|ok");
    EXPECT_EQ(ParseToken(keyed.buf, "key =", ";"), "found val|14|ok");
    EXPECT_EQ(ParseToken(open.buf, "[", "]"), "not found |0|ok");
    EXPECT_EQ(ParseToken(open.buf, nullptr, nullptr), "not found |0|ok");
    open.buf.SeekGet(B::SEEK_FROM_HEAD, 99);
    EXPECT_EQ(ParseToken(open.buf, "", "c"), "not found |99|get overflow");
}

TEST(UtlBufferTest, ScanfStoresConversionsUntilMismatch) {
    int i = -1;
    float f = -1;
    ExactBuffer pair("12 3.5");
    EXPECT_EQ(pair.buf.Scanf("%d %f", &i, &f), 2);
    EXPECT_EQ(i, 12);
    EXPECT_EQ(f, 3.5f);
    EXPECT_TRUE(pair.buf.IsValid());

    ExactBuffer word("x");
    i = -1;
    EXPECT_EQ(word.buf.Scanf("%d", &i), 0);
    EXPECT_EQ(i, -1);
    EXPECT_EQ(word.buf.TellGet(), 0);
    EXPECT_EQ(word.buf.Scanf("%5d", &i), 0);
    EXPECT_EQ(word.buf.Scanf("%%"), 0);

    char c1 = 0, c2 = 0;
    unsigned int u = 0;
    char s[8];
    ExactBuffer mixed("ab 7 -3  word rest");
    EXPECT_EQ(mixed.buf.Scanf("%c%c %u %i %s", &c1, &c2, &u, &i, s), 5);
    EXPECT_EQ(c1, 'a');
    EXPECT_EQ(c2, 'b');
    EXPECT_EQ(u, 7u);
    EXPECT_EQ(i, -3);
    EXPECT_STREQ(s, "word");
    EXPECT_EQ(mixed.buf.TellGet(), 13);
    ExactBuffer mixed2("ff a=-3 word");
    int hex = 0, neg = 0;
    EXPECT_EQ(mixed2.buf.Scanf("%x a=%d %s", &hex, &neg, s), 3);
    EXPECT_EQ(hex, 255);
    EXPECT_EQ(neg, -3);
    EXPECT_STREQ(s, "word");

    ExactBuffer literal("b=5");
    EXPECT_EQ(literal.buf.Scanf("a=%d", &i), 0);
    EXPECT_EQ(literal.buf.TellGet(), 0);

    ExactBuffer shortData("1");
    EXPECT_EQ(shortData.buf.Scanf("%d %d", &i, &i), 1);
    EXPECT_EQ(shortData.buf.GetErrorBits(), B::ERROR_GET_OVERFLOW);

    ExactBuffer longNumber(std::string(100, '0') + "42");  // longer than any local scratch
    EXPECT_EQ(longNumber.buf.Scanf("%d", &i), 1);
    EXPECT_EQ(i, 42);
    EXPECT_EQ(longNumber.buf.TellGet(), 102);

    ExactBuffer binary("12", 0);
    EXPECT_EQ(binary.buf.Scanf("%d", &i), 0);
}

TEST(UtlBufferTest, PrintfAndPutStringWriteTextOrTerminatedStrings) {
    CUtlBuffer text(0, 0, B::BUFFER_TEXT);
    text.Printf("%d-%s", 7, "a");
    EXPECT_EQ(BufferData(text), "7-a");
    text.PutString(nullptr);
    EXPECT_EQ(text.TellMaxPut(), 3);

    CUtlBuffer binary;
    binary.Printf("%d-%s", 7, "a");
    EXPECT_EQ(BufferData(binary), std::string("7-a\0", 4));
    binary.PutString(nullptr);
    EXPECT_EQ(BufferData(binary), std::string("7-a\0\0", 5));

    CUtlBuffer cut(0, 0, B::BUFFER_TEXT);
    cut.Printf("%s", std::string(3000, 'x').c_str());
    EXPECT_EQ(cut.TellMaxPut(), 2047);
}

TEST(UtlBufferTest, ConvertCRLFSwapsLineEndsAndMovesCursors) {
    CUtlBuffer crlf(0, 0, B::BUFFER_TEXT | B::BUFFER_CONTAINS_CRLF);
    crlf.PutString("ab\r\ncd\r\nef");
    CUtlBuffer lf(0, 0, B::BUFFER_TEXT);
    lf.PutChar('z');
    lf.SeekPut(B::SEEK_FROM_HEAD, -1);
    lf.PutChar('z');  // leaves a put error that the conversion clears
    crlf.SeekGet(B::SEEK_FROM_HEAD, 4);
    ASSERT_TRUE(crlf.ConvertCRLF(lf));
    EXPECT_EQ(BufferData(lf), "ab\ncd\nef");
    EXPECT_EQ(lf.TellGet(), 3);
    EXPECT_EQ(lf.TellPut(), 8);
    EXPECT_TRUE(lf.IsValid());
    crlf.SeekGet(B::SEEK_FROM_HEAD, 3);  // on a pair's line feed
    crlf.ConvertCRLF(lf);
    EXPECT_EQ(lf.TellGet(), 2);
    crlf.SeekGet(B::SEEK_FROM_HEAD, 2);  // on its carriage return
    crlf.ConvertCRLF(lf);
    EXPECT_EQ(lf.TellGet(), 2);

    CUtlBuffer back(0, 0, B::BUFFER_TEXT | B::BUFFER_CONTAINS_CRLF);
    lf.SeekGet(B::SEEK_FROM_HEAD, 3);
    ASSERT_TRUE(lf.ConvertCRLF(back));
    EXPECT_EQ(BufferData(back), "ab\r\ncd\r\nef");
    EXPECT_EQ(back.TellGet(), 4);
    EXPECT_EQ(back.TellPut(), 10);
    lf.SeekGet(B::SEEK_FROM_HEAD, 2);
    lf.ConvertCRLF(back);
    EXPECT_EQ(back.TellGet(), 2);

    CUtlBuffer zero(0, 0, B::BUFFER_TEXT | B::BUFFER_CONTAINS_CRLF);
    zero.Put("a\0\r\nb\r", 6);
    ASSERT_TRUE(zero.ConvertCRLF(lf));
    EXPECT_EQ(BufferData(lf), std::string("a\0\nb\r", 5));

    CUtlBuffer same(0, 0, B::BUFFER_TEXT);
    EXPECT_FALSE(lf.ConvertCRLF(same));
    CUtlBuffer binaryOut(0, 0, B::BUFFER_CONTAINS_CRLF);
    EXPECT_FALSE(lf.ConvertCRLF(binaryOut));
    char ro[4] = {};
    CUtlBuffer readOnly(ro, 4, B::BUFFER_TEXT | B::BUFFER_CONTAINS_CRLF | B::BUFFER_READ_ONLY);
    EXPECT_FALSE(lf.ConvertCRLF(readOnly));

    char small[4];
    CUtlBuffer tooSmall(small, 4, B::BUFFER_TEXT | B::BUFFER_CONTAINS_CRLF);
    EXPECT_FALSE(lf.ConvertCRLF(tooSmall));
    EXPECT_EQ(tooSmall.GetErrorBits() & B::ERROR_PUT_OVERFLOW, B::ERROR_PUT_OVERFLOW);
    EXPECT_EQ(std::string(small, 4), std::string("a\0\r\n", 4));
}

// The inline paths of small writes and reads: a write that leaves room for its terminator,
// one that fills the memory exactly (the terminator then needs growth, or is dropped for
// borrowed memory), writes inside the data (no terminator, no mark move), reversed order,
// read-only and sticky errors; reads of exactly what is left and of one byte more.
TEST(UtlBufferTest, SmallWritesAndReadsKeepEveryBoundAndBit) {
    B owned(0, 0, 0);
    for (int i = 0; i < 7; ++i) owned.PutInt(i);
    EXPECT_EQ(owned.Size(), 32);
    EXPECT_EQ(owned.TellMaxPut(), 28);
    EXPECT_EQ(static_cast<const char*>(owned.Base())[28], 0);
    owned.PutInt(7);  // bytes 28..31: the terminator needs byte 32, so the block doubles
    EXPECT_EQ(owned.Size(), 64);
    EXPECT_EQ(owned.TellMaxPut(), 32);
    EXPECT_EQ(static_cast<const char*>(owned.Base())[32], 0);
    EXPECT_TRUE(owned.IsValid());
    for (int i = 0; i < 8; ++i) EXPECT_EQ(owned.GetInt(), i);
    EXPECT_TRUE(owned.IsValid());
    EXPECT_EQ(Read(owned, &B::GetInt), "0|32|get overflow");  // nothing left

    // Three bytes left: a 4-byte read fails whole and moves nothing.
    B shortRead(0, 0, 0);
    shortRead.Put("abc", 3);
    EXPECT_EQ(Read(shortRead, &B::GetUnsignedInt), "0|0|get overflow");

    // Borrowed memory of 8 bytes: the second int fills it, its terminator is dropped
    // without an error, and the next byte is refused with one.
    unsigned char memory[8];
    B borrowed(memory, sizeof(memory), 0);
    borrowed.PutInt(0x11111111);
    EXPECT_EQ(memory[4], 0);
    borrowed.PutFloat(1.5f);
    EXPECT_TRUE(borrowed.IsValid());
    EXPECT_EQ(borrowed.TellMaxPut(), 8);
    borrowed.PutChar('x');
    EXPECT_EQ(borrowed.GetErrorBits(), B::ERROR_PUT_OVERFLOW);
    borrowed.SeekPut(B::SEEK_FROM_HEAD, 0);
    borrowed.PutInt(0x22222222);  // sticky: refused although there is room
    EXPECT_EQ(memory[0], 0x11);
    EXPECT_EQ(borrowed.GetInt(), 0x11111111);  // reads are unaffected
    EXPECT_FLOAT_EQ(borrowed.GetFloat(), 1.5f);

    // Writes inside the data replace bytes without a terminator; passing the mark moves it.
    B inside(0, 0, 0);
    inside.Put("abcdef", 6);
    inside.SeekPut(B::SEEK_FROM_HEAD, 1);
    inside.Put("XY", 2);
    EXPECT_EQ(BufferData(inside), "aXYdef");
    inside.SeekPut(B::SEEK_FROM_HEAD, 4);
    inside.Put("123", 3);
    EXPECT_EQ(BufferData(inside), "aXYd123");
    EXPECT_EQ(static_cast<const char*>(inside.Base())[7], 0);

    // Reversed byte order, read-only memory, text mode.
    B reversed(0, 0, 0);
    reversed.SetLittleEndian(true);
    reversed.PutUnsignedInt(0x01020304u);
    unsigned int raw;
    memcpy(&raw, reversed.Base(), sizeof(raw));
    EXPECT_EQ(raw, 0x04030201u);
    const char fixed[4] = {1, 2, 3, 4};
    B readOnly(fixed, sizeof(fixed), B::BUFFER_READ_ONLY);
    readOnly.PutInt(5);
    EXPECT_TRUE(readOnly.IsValid());
    EXPECT_EQ(readOnly.TellPut(), 0);
    int expected;
    memcpy(&expected, fixed, sizeof(expected));
    EXPECT_EQ(readOnly.GetInt(), expected);
    B text(0, 0, B::BUFFER_TEXT);
    text.PutInt(-12);
    text.PutChar(' ');
    text.PutFloat(2.5f);
    EXPECT_EQ(BufferData(text), "-12 2.500000");
    EXPECT_EQ(text.GetInt(), -12);
    EXPECT_FLOAT_EQ(text.GetFloat(), 2.5f);
}

// The inline paths of 16-byte pieces and typed reads at the very end of the memory and
// of the data, and with an error bit already set.
TEST(UtlBufferTest, FastPathsStopExactlyAtTheEnd) {
    const unsigned char piece[17] = "0123456789abcdef";
    // Borrowed 17 bytes: the piece and its terminator fit exactly.
    unsigned char room[18];
    memset(room, 0x55, sizeof(room));
    B withTerminator(room, 17, 0);
    withTerminator.Put(piece, 16);
    EXPECT_TRUE(withTerminator.IsValid());
    EXPECT_EQ(withTerminator.TellMaxPut(), 16);
    EXPECT_EQ(room[16], 0);
    EXPECT_EQ(room[17], 0x55);
    // Borrowed 16 bytes: the piece fits, its terminator is dropped without an error, and
    // one byte more is refused.
    memset(room, 0x55, sizeof(room));
    B exact(room, 16, 0);
    exact.Put(piece, 16);
    EXPECT_TRUE(exact.IsValid());
    EXPECT_EQ(exact.TellPut(), 16);
    EXPECT_EQ(room[16], 0x55);
    EXPECT_EQ(memcmp(room, piece, 16), 0);
    exact.Put(piece, 1);
    EXPECT_EQ(exact.GetErrorBits(), B::ERROR_PUT_OVERFLOW);
    EXPECT_EQ(exact.TellPut(), 16);
    // Borrowed 15 bytes: the piece is refused whole.
    memset(room, 0x55, sizeof(room));
    B onePast(room, 15, 0);
    onePast.Put(piece, 16);
    EXPECT_EQ(onePast.GetErrorBits(), B::ERROR_PUT_OVERFLOW);
    EXPECT_EQ(onePast.TellPut(), 0);
    EXPECT_EQ(room[1], 0x55);

    // Reads: exactly the data, then nothing; 3 bytes left refuse an int.
    B readOnly(piece, 16, B::BUFFER_READ_ONLY);
    unsigned char out[16];
    readOnly.Get(out, 16);
    EXPECT_TRUE(readOnly.IsValid());
    EXPECT_EQ(memcmp(out, piece, 16), 0);
    memset(out, 0x77, sizeof(out));
    readOnly.Get(out, 1);
    EXPECT_EQ(readOnly.GetErrorBits(), B::ERROR_GET_OVERFLOW);
    EXPECT_EQ(out[0], 0x77);
    readOnly.SeekGet(B::SEEK_FROM_HEAD, 12);
    EXPECT_TRUE(readOnly.IsValid());
    int last;
    memcpy(&last, piece + 12, sizeof(last));
    EXPECT_EQ(readOnly.GetInt(), last);  // bytes 12..15: the last whole int
    readOnly.SeekGet(B::SEEK_FROM_HEAD, 13);
    EXPECT_EQ(Read(readOnly, &B::GetInt), "0|13|get overflow");
    // A negative get position is no error by itself, but nothing is read from it.
    readOnly.SeekGet(B::SEEK_FROM_HEAD, -4);
    EXPECT_TRUE(readOnly.IsValid());
    EXPECT_EQ(Read(readOnly, &B::GetInt), "0|-4|get overflow");

    // A data mark short of the memory: an owned buffer holds 32 bytes but 8 of data.
    B owned(0, 32, 0);
    owned.PutInt(1);
    owned.PutInt(2);
    EXPECT_EQ(owned.GetInt(), 1);
    EXPECT_EQ(owned.GetInt(), 2);
    EXPECT_EQ(owned.GetFloat(), 0.0f);  // exactly: "%f" text would hide a tiny value
    EXPECT_EQ(owned.GetErrorBits(), B::ERROR_GET_OVERFLOW);
    // Sticky: data written after the failed read is not read until a SeekGet.
    owned.PutUnsignedInt(3u);
    EXPECT_EQ(Read(owned, &B::GetUnsignedInt), "0|8|get overflow");
    owned.SeekGet(B::SEEK_FROM_CURRENT, 0);
    EXPECT_EQ(owned.GetUnsignedInt(), 3u);
    EXPECT_TRUE(owned.IsValid());
}

// The shared scanner takes white space sixteen bytes at a time: runs of every length
// around those steps end exactly at the first byte that is not white space, including
// bytes next to the white-space codes (8, 14, 31, 33) and high bytes.
TEST(UtlBufferTest, WhiteSpaceRunsEndExactlyAtEveryLength) {
    const char kSpaces[] = "\t\n\v\f\r ";
    const unsigned char kStops[] = {'x', 8, 14, 31, 33, 0x80, 0x89, 0x8D, 0xA0, 0xFF, 0};
    for (int length : {0, 1, 2, 15, 16, 17, 18, 31, 32, 33, 47, 48, 49}) {
        std::string run;
        for (int i = 0; i < length; ++i) run += kSpaces[i % 6];
        for (unsigned char stop : kStops) {
            ExactBuffer buf(run + static_cast<char>(stop) + "  ");
            buf.buf.EatWhiteSpace();
            EXPECT_EQ(buf.buf.TellGet(), length) << "run " << length << " stop " << int(stop);
            EXPECT_TRUE(buf.buf.IsValid());
            EXPECT_EQ(buf.buf.PeekWhiteSpace(0), 0);
        }
        ExactBuffer only(run);
        only.buf.EatWhiteSpace();
        EXPECT_EQ(only.buf.TellGet(), length);
        EXPECT_EQ(only.buf.IsValid(), false) << "run " << length;
    }
}

// Scans that reach the end of what memory holds while the mark lies further ask the get
// handler once for the next byte, and stop with ERROR_GET_OVERFLOW when it has none.
TEST(UtlBufferTest, ScansAskTheHandlerWhereMemoryEnds) {
    char bytes[] = "    \"abc";
    HandlerBuffer spaces(bytes, 4, B::BUFFER_READ_ONLY, false);
    spaces.SetExternalBuffer(bytes, 4, 10, B::BUFFER_TEXT | B::BUFFER_READ_ONLY);
    spaces.EatWhiteSpace();
    EXPECT_EQ(ReadState("", spaces), "|4|get overflow");
    EXPECT_EQ(spaces.sizes, std::vector<int>{1});

    HandlerBuffer quoted(bytes, 8, B::BUFFER_READ_ONLY, false);
    quoted.SetExternalBuffer(bytes, 8, 12, B::BUFFER_TEXT | B::BUFFER_READ_ONLY);
    char dest[16];
    quoted.GetDelimitedString(GetNoEscCharConversion(), dest, sizeof(dest));
    EXPECT_EQ(ReadState(dest, quoted), "abc|8|get overflow");
    EXPECT_FALSE(quoted.sizes.empty());

    char comment[] = "// note";
    HandlerBuffer line(comment, 7, B::BUFFER_READ_ONLY, false);
    line.SetExternalBuffer(comment, 7, 9, B::BUFFER_TEXT | B::BUFFER_READ_ONLY);
    EXPECT_EQ(ReadState(line.EatCPPComment() ? "comment" : "none", line), "comment|7|get overflow");
}
