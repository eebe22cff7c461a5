// Formatting and splitting; contracts are in StrFormat.h.
#include "tier1/StrFormat.h"

#include <math.h>
#include <string.h>

#include <new>

#include "tier1/StrTools.h"

namespace {

const int kRingSize = 8;
const int kRingChars = 32;

// The next buffer of a ring; `counter` advances by one per call, modulo the ring size.
char* NextBuffer(char (&ring)[kRingSize][kRingChars], int& counter) {
    char* buffer = ring[counter];
    counter = (counter + 1) % kRingSize;
    return buffer;
}

// Appends the first `count` characters of src at dest, as many as fit before the last
// byte of the `room` bytes left, and terminates. Returns whether all of them fitted.
bool AppendPiece(char*& dest, int& room, const char* src, size_t count) {
    size_t fit = count < static_cast<size_t>(room - 1) ? count : static_cast<size_t>(room - 1);
    memcpy(dest, src, fit);
    dest += fit;
    room -= static_cast<int>(fit);
    *dest = '\0';
    return fit == count;
}

void AddPiece(CUtlVector<char*>& outStrings, const char* text, int maxChars) {
    char* piece = AllocString(text, maxChars);
    if (piece) outStrings.AddToTail(piece);
}

}  // namespace

const char* V_pretifymem(float value, int digitsAfterDecimal, bool useBinaryOneK) {
    static char s_ring[kRingSize][kRingChars];
    static int s_counter = 0;
    char* result = NextBuffer(s_ring, s_counter);

    const float oneK = useBinaryOneK ? 1024.0f : 1000.0f;
    const float oneM = oneK * oneK;
    const char* suffix = " bytes";
    if (value > oneM) {
        value /= oneM;
        suffix = " MB";
    } else if (value > oneK) {
        value /= oneK;
        suffix = " KB";
    }
    // A float's decimal expansion ends within 149 digits after the point, so any
    // precision from 149 on prints the same digits; the cap only keeps a huge precision
    // from making the C library fail outright.
    int digits = digitsAfterDecimal < 0 ? 0 : (digitsAfterDecimal > 149 ? 149 : digitsAfterDecimal);

    char text[kRingChars];
    text[0] = '\0';
    const float whole = truncf(value);
    if (!(fabsf(value - whole) < 0.00001f)) {
        // A fraction to show (NaN and infinities print as the C library spells them).
        V_snprintf(text, sizeof(text), "%.*f%s", digits, value, suffix);
    } else if (whole >= -2147483648.0f && whole < 2147483648.0f) {
        V_snprintf(text, sizeof(text), "%i%s", static_cast<int>(whole), suffix);
    } else {
        // Whole values beyond the int range print in full rather than overflowing.
        V_snprintf(text, sizeof(text), "%.0f%s", whole, suffix);
    }

    // A ',' before every character that lies a positive multiple of 3 before the point
    // (or the space of the suffix), except before the first character and after a sign.
    const char* point = strchr(text, '.');
    if (!point) point = strchr(text, ' ');
    const int p = point ? static_cast<int>(point - text) : static_cast<int>(strlen(text));
    int out = 0;
    for (int i = 0; text[i] && out < kRingChars - 1; ++i) {
        const int distance = p - i;
        if (i > 0 && distance > 0 && distance % 3 == 0 && text[i - 1] != '-') {
            result[out++] = ',';
            if (out == kRingChars - 1) break;
        }
        result[out++] = text[i];
    }
    result[out] = '\0';
    return result;
}

const char* V_pretifynum(int64_t value) {
    static char s_ring[kRingSize][kRingChars];
    static int s_counter = 0;
    char* result = NextBuffer(s_ring, s_counter);

    // The magnitude in unsigned arithmetic, so INT64_MIN needs no special case.
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    char reversed[20];  // 2^64 has 20 decimal digits
    int count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);

    // At most '-', 19 digits and 6 commas: 26 characters, well inside the buffer.
    int out = 0;
    if (value < 0) result[out++] = '-';
    for (int i = count - 1; i >= 0; --i) {
        result[out++] = reversed[i];
        if (i > 0 && i % 3 == 0) result[out++] = ',';
    }
    result[out] = '\0';
    return result;
}

bool V_StrSubst(const char* in, const char* match, const char* replaceWith, char* out, int outLen, bool caseSensitive) {
    if (outLen < 1) return false;
    out[0] = '\0';
    char* dest = out;
    int room = outLen;
    const size_t matchLength = strlen(match);
    const size_t replaceLength = strlen(replaceWith);
    const char* rest = in;
    for (;;) {
        const char* found = nullptr;
        if (matchLength > 0) found = caseSensitive ? strstr(rest, match) : V_stristr(rest, match);
        if (!found) return AppendPiece(dest, room, rest, strlen(rest));
        if (!AppendPiece(dest, room, rest, static_cast<size_t>(found - rest))) return false;
        if (!AppendPiece(dest, room, replaceWith, replaceLength)) return false;
        rest = found + matchLength;
    }
}

char* AllocString(const char* str, int maxChars) {
    // Any negative maxChars means the whole string; a size computed from it would be
    // negative.
    const size_t length = strlen(str);
    const size_t chars =
        (maxChars < 0 || length < static_cast<size_t>(maxChars)) ? length : static_cast<size_t>(maxChars);
    char* block = new (std::nothrow) char[chars + 1];
    if (!block) return nullptr;
    memcpy(block, str, chars);
    block[chars] = '\0';
    return block;
}

void V_SplitString2(const char* in, const char** separators, int separatorCount, CUtlVector<char*>& outStrings) {
    outStrings.Purge();
    const char* rest = in;
    while (separatorCount > 0) {
        const char* earliest = nullptr;
        size_t earliestLength = 0;
        for (int i = 0; i < separatorCount; ++i) {
            const char* found = V_stristr(rest, separators[i]);
            // Strictly earlier only: at one position the separator listed first wins.
            if (found && (!earliest || found < earliest)) {
                earliest = found;
                earliestLength = strlen(separators[i]);
            }
        }
        if (!earliest) break;
        if (earliest > rest) AddPiece(outStrings, rest, static_cast<int>(earliest - rest));
        rest = earliest + earliestLength;
    }
    if (*rest) AddPiece(outStrings, rest, -1);
}

void V_SplitString(const char* in, const char* separator, CUtlVector<char*>& outStrings) {
    V_SplitString2(in, &separator, 1, outStrings);
}
