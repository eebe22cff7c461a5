// The text-scanning rules that the buffer's text operations and the key-value reader
// share, written once: white space, "//" line comments, the plain run inside a delimited
// string, and the decoding of an escape. Each works on a span of bytes already in memory
// ([pos, end) of `data`) and says where it stopped; running into `end` is for the caller
// to settle (CUtlBuffer asks its get handler and sets ERROR_GET_OVERFLOW; the key-value
// reader, which holds the whole text, takes it as the end of the text).
#pragma once

#include <ctype.h>
#include <emmintrin.h>
#include <string.h>

#include "tier1/UtlCharConversion.h"

namespace UtlTextScan {

// White space is any byte for which the C library's isspace is true, as an unsigned
// byte, in the current locale. The scans read the C library's classification table once
// and then look each byte up in it, as the library's own inline isspace does (a call per
// byte would dominate the scan of indented text).
#if defined(__GLIBC__)
class SpaceTable {
public:
    SpaceTable() : m_pTable(*__ctype_b_loc()) {}
    bool operator()(unsigned char c) const { return (m_pTable[c] & static_cast<unsigned short>(_ISspace)) != 0; }

private:
    const unsigned short* m_pTable;
};
#else
class SpaceTable {
public:
    bool operator()(unsigned char c) const { return isspace(c) != 0; }
};
#endif

inline bool IsSpace(unsigned char c) { return SpaceTable()(c); }

// The first position at or after `pos` that does not hold white space, or `end`. The
// six bytes tab, line feed, vertical tab, form feed, carriage return and blank are white
// space in every locale; runs of them are passed sixteen bytes at a time, and the byte
// that ends such a run is then asked of the locale's table like every other.
inline int SkipWhiteSpace(const unsigned char* data, int pos, int end, const SpaceTable& isSpace) {
    const __m128i below = _mm_set1_epi8(14);  // 9..13 are the control-character spaces
    const __m128i nine = _mm_set1_epi8(9);
    const __m128i blank = _mm_set1_epi8(' ');
    for (;;) {
        while (end - pos >= 16) {
            __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
            // (c - 9) < 5 unsigned, or c == ' ': signed compares after the subtraction,
            // on bytes offset by 128 so that they order as unsigned.
            __m128i shifted = _mm_xor_si128(_mm_sub_epi8(chunk, nine), _mm_set1_epi8(static_cast<char>(0x80)));
            __m128i control = _mm_cmplt_epi8(
                shifted, _mm_xor_si128(_mm_sub_epi8(below, nine), _mm_set1_epi8(static_cast<char>(0x80))));
            __m128i spaces = _mm_or_si128(control, _mm_cmpeq_epi8(chunk, blank));
            int mask = ~_mm_movemask_epi8(spaces) & 0xFFFF;
            if (mask) {
                pos += __builtin_ctz(static_cast<unsigned int>(mask));
                break;
            }
            pos += 16;
        }
        if (pos >= end || !isSpace(data[pos])) break;
        ++pos;
        if (end - pos < 16) {
            while (pos < end && isSpace(data[pos])) ++pos;
            break;
        }
    }
    return pos;
}

inline int SkipWhiteSpace(const unsigned char* data, int pos, int end) {
    return SkipWhiteSpace(data, pos, end, SpaceTable());
}

// Whether a "//" comment starts at `pos` (both slashes within the span).
inline bool CommentStartsAt(const unsigned char* data, int pos, int end) {
    return end - pos >= 2 && data[pos] == '/' && data[pos + 1] == '/';
}

// The position of the first line feed at or after `pos`, or `end` when there is none: a
// comment runs through that line feed.
inline int FindLineFeed(const unsigned char* data, int pos, int end) {
    if (pos >= end) return end;
    const void* lineFeed = memchr(data + pos, '\n', static_cast<size_t>(end - pos));
    return lineFeed ? static_cast<int>(static_cast<const unsigned char*>(lineFeed) - data) : end;
}

// Finds the end of the run of plain characters of a delimited string: the first position
// holding the first byte of the delimiter, the escape character or a 0 byte. Those three
// need a closer look (a longer delimiter may not match, an escape is decoded, a 0 byte
// ends C strings); every byte before them stands for itself. Sixteen bytes are compared
// at a time while that many are left. Made once per scan of many strings: the byte
// patterns are set up here, not per string.
class PlainRun {
public:
    PlainRun(unsigned char delimiter, unsigned char escape)
        : m_Delimiter(Broadcast(delimiter)), m_Escape(Broadcast(escape)), m_nDelimiter(delimiter), m_nEscape(escape) {}

    // The end of the run that starts at `pos`, or `end`.
    int End(const unsigned char* data, int pos, int end) const {
        const __m128i zeros = _mm_setzero_si128();
        while (end - pos >= 16) {
            __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
            __m128i hits =
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, m_Delimiter), _mm_cmpeq_epi8(chunk, m_Escape)),
                             _mm_cmpeq_epi8(chunk, zeros));
            int mask = _mm_movemask_epi8(hits);
            if (mask) return pos + __builtin_ctz(static_cast<unsigned int>(mask));
            pos += 16;
        }
        while (pos < end && data[pos] != m_nDelimiter && data[pos] != m_nEscape && data[pos] != 0) ++pos;
        return pos;
    }

private:
    // Sixteen copies of `c`, made from a register (a byte stored and read back as a
    // vector would stall the store forwarding).
    static __m128i Broadcast(unsigned char c) { return _mm_set1_epi32(static_cast<int>(c * 0x01010101u)); }

    __m128i m_Delimiter;
    __m128i m_Escape;
    unsigned char m_nDelimiter;
    unsigned char m_nEscape;
};

// Decodes the escape whose text (what follows the escape character) starts at `text`,
// of which `available` bytes can be read: at most the conversion's longest replacement
// is looked at. Returns the character (0 for an unknown escape, or when nothing can be
// looked at) and stores in *used how many bytes of the text it took (never more than it
// looked at, whatever the conversion reports).
inline char DecodeEscape(CUtlCharConversion* conv, const unsigned char* text, int available, int* used) {
    *used = 0;
    int count = conv->MaxConversionLength();
    if (count > available) count = available;
    if (count <= 0) return 0;
    // FindConversion reads a terminated text; the data need not be terminated.
    char local[64];
    char* copy = count < static_cast<int>(sizeof(local)) ? local : new char[static_cast<size_t>(count) + 1];
    memcpy(copy, text, static_cast<size_t>(count));
    copy[count] = '\0';
    int length = 0;
    char c = conv->FindConversion(copy, &length);
    if (copy != local) delete[] copy;
    *used = length < 0 ? 0 : (length > count ? count : length);
    return c;
}

}  // namespace UtlTextScan
