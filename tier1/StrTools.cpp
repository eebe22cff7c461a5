// Bounded string, wide-string and memory functions; contracts are in StrTools.h.
#include "tier1/StrTools.h"

#include <ctype.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "tier0/dbg.h"

namespace {

// The maximum length handed to the string pointer checks.
const int kMaxCheckedString = 0xffffff;

// 'a'-'z' to upper case; nothing else changes and the locale is not consulted.
int FoldUpper(signed char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

int Lower(char c) { return tolower(static_cast<unsigned char>(c)); }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// -n without overflow: INT_MIN stays INT_MIN, which every caller handles as negative.
int Negate(int n) { return static_cast<int>(0u - static_cast<unsigned int>(n)); }

// A negative index counted from the end, modulo len (len > 0).
int FromEnd(int index, int len) {
    unsigned int distance = 0u - static_cast<unsigned int>(index);
    return len - static_cast<int>(distance % static_cast<unsigned int>(len));
}

void Terminate(char* out, int outSize) {
    if (outSize > 0) out[0] = '\0';
}

}  // namespace

// ---- Comparison --------------------------------------------------------------------

int V_strncmp(const char* a, const char* b, int count) {
    AssertValidStringPtr(a, kMaxCheckedString);
    AssertValidStringPtr(b, kMaxCheckedString);
    for (; count > 0; --count, ++a, ++b) {
        signed char ca = static_cast<signed char>(*a);
        signed char cb = static_cast<signed char>(*b);
        if (ca != cb) return ca > cb ? 1 : -1;
        if (ca == 0) return 0;
    }
    return 0;
}

int V_strncasecmp(const char* a, const char* b, int count) {
    AssertValidStringPtr(a, kMaxCheckedString);
    AssertValidStringPtr(b, kMaxCheckedString);
    for (; count > 0; --count, ++a, ++b) {
        signed char ca = static_cast<signed char>(*a);
        signed char cb = static_cast<signed char>(*b);
        if (ca != cb) {
            int fa = FoldUpper(ca);
            int fb = FoldUpper(cb);
            if (fa != fb) return fa > fb ? 1 : -1;
        }
        // Equal after folding means neither is the terminator unless both are.
        if (ca == 0) return 0;
    }
    return 0;
}

int V_strnicmp(const char* a, const char* b, int count) { return V_strncasecmp(a, b, count); }

int V_strcasecmp(const char* a, const char* b) { return V_strncasecmp(a, b, 99999); }

// ---- Search ------------------------------------------------------------------------

const char* V_stristr(const char* text, const char* pattern) {
    if (!text || !pattern || !*text || !*pattern) return nullptr;
    for (; *text; ++text) {
        const char* t = text;
        const char* p = pattern;
        while (*p && *t && Lower(*t) == Lower(*p)) {
            ++t;
            ++p;
        }
        if (!*p) return text;
        // The text ran out before the pattern: no later start can match either.
        if (!*t) return nullptr;
    }
    return nullptr;
}

char* V_stristr(char* text, const char* pattern) {
    return const_cast<char*>(V_stristr(static_cast<const char*>(text), pattern));
}

const char* V_strnistr(const char* text, const char* pattern, int count) {
    if (!text || !pattern || !*pattern || count < 1) return nullptr;
    for (int start = 0; start < count && text[start]; ++start) {
        int i = start;
        const char* p = pattern;
        while (*p && i < count && text[i] && Lower(text[i]) == Lower(*p)) {
            ++i;
            ++p;
        }
        if (!*p) return text + start;
        if (i >= count || !text[i]) return nullptr;
    }
    return nullptr;
}

const char* V_strnchr(const char* text, char c, int count) {
    AssertValidStringPtr(text, kMaxCheckedString);
    for (int i = 0; i < count && text[i]; ++i) {
        if (text[i] == c) return text + i;
    }
    return nullptr;
}

char* V_strnchr(char* text, char c, int count) {
    return const_cast<char*>(V_strnchr(static_cast<const char*>(text), c, count));
}

// ---- Copy and concatenation --------------------------------------------------------

char* V_strncpy(char* dest, const char* src, int maxLen) {
    if (maxLen <= 0) return dest;
    _AssertValidWritePtr(dest, maxLen);
    AssertValidStringPtr(src, kMaxCheckedString);
    strncpy(dest, src, static_cast<size_t>(maxLen));
    dest[maxLen - 1] = '\0';
    return dest;
}

char* V_strncat(char* dest, const char* src, size_t destBufferSize, int maxCharsToCopy) {
    if (destBufferSize == 0 || destBufferSize > static_cast<size_t>(INT_MAX)) return dest;
    _AssertValidWritePtr(dest, static_cast<int>(destBufferSize));
    AssertValidStringPtr(src, kMaxCheckedString);

    size_t destLen = strnlen(dest, destBufferSize);
    if (destLen == destBufferSize) {
        dest[destBufferSize - 1] = '\0';
        return dest;
    }
    size_t room = destBufferSize - destLen - 1;
    size_t limit = room;
    if (maxCharsToCopy >= 0 && static_cast<size_t>(maxCharsToCopy) < limit) limit = static_cast<size_t>(maxCharsToCopy);
    size_t n = strnlen(src, limit);
    if (n == 0) return dest;
    memcpy(dest + destLen, src, n);
    dest[destLen + n] = '\0';
    dest[destBufferSize - 1] = '\0';
    return dest;
}

wchar_t* V_wcsncpy(wchar_t* dest, const wchar_t* src, int maxLenInBytes) {
    int count = maxLenInBytes / static_cast<int>(sizeof(wchar_t));
    if (count <= 0) return dest;
    _AssertValidWritePtr(dest, maxLenInBytes);
    wcsncpy(dest, src, static_cast<size_t>(count));
    dest[count - 1] = L'\0';
    return dest;
}

// ---- Slicing -----------------------------------------------------------------------

void V_StrSlice(const char* str, int firstChar, int lastCharNonInclusive, char* out, int outSize) {
    if (outSize <= 0) return;
    AssertValidStringPtr(str, kMaxCheckedString);
    _AssertValidWritePtr(out, outSize);

    int len = static_cast<int>(strlen(str));
    if (len == 0) return Terminate(out, outSize);
    if (firstChar < 0) firstChar = FromEnd(firstChar, len);
    if (firstChar >= len) return Terminate(out, outSize);
    if (lastCharNonInclusive < 0) {
        lastCharNonInclusive = FromEnd(lastCharNonInclusive, len);
    } else if (lastCharNonInclusive > len) {
        lastCharNonInclusive %= len;
    }
    if (lastCharNonInclusive <= firstChar) return Terminate(out, outSize);

    int n = lastCharNonInclusive - firstChar;
    if (n > outSize - 1) n = outSize - 1;
    memcpy(out, str + firstChar, static_cast<size_t>(n));
    out[n] = '\0';
}

void V_StrLeft(const char* str, int nChars, char* out, int outSize) {
    if (outSize <= 0) return;
    if (nChars == 0) return Terminate(out, outSize);
    AssertValidStringPtr(str, kMaxCheckedString);
    int len = static_cast<int>(strlen(str));
    if (nChars >= len) {
        V_strncpy(out, str, outSize);
        return;
    }
    V_StrSlice(str, 0, nChars, out, outSize);
}

void V_StrRight(const char* str, int nChars, char* out, int outSize) {
    if (outSize <= 0) return;
    if (nChars == 0) return Terminate(out, outSize);
    AssertValidStringPtr(str, kMaxCheckedString);
    int len = static_cast<int>(strlen(str));
    if (nChars >= len) {
        V_strncpy(out, str, outSize);
        return;
    }
    V_StrSlice(str, Negate(nChars), len, out, outSize);
}

// ---- Case conversion ---------------------------------------------------------------

char* V_strnlwr(char* s, size_t count) {
    if (!s) return nullptr;
    for (size_t i = 0; i < count && s[i]; ++i) s[i] = static_cast<char>(tolower(static_cast<unsigned char>(s[i])));
    return s;
}

// ---- Numbers -----------------------------------------------------------------------

int V_StrToInt32(const char* text, char** end, int base) {
    const long long value = strtoll(text, end, base);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

unsigned int V_StrToUint32(const char* text, char** end, int base) {
    // strtoull negates a '-' value modulo 2^64; its magnitude decides the saturation.
    const unsigned long long value = strtoull(text, end, base);
    const char* sign = text;
    while (isspace(static_cast<unsigned char>(*sign))) ++sign;
    const bool negative = *sign == '-';
    const unsigned long long magnitude = negative ? 0 - value : value;
    if (magnitude > UINT_MAX) return UINT_MAX;  // an overflow gives ULLONG_MAX, of either sign
    return static_cast<unsigned int>(negative ? 0 - magnitude : magnitude);
}

int V_atoi(const char* str) {
    AssertValidStringPtr(str, kMaxCheckedString);
    int sign = 1;
    if (*str == '-') {
        sign = -1;
        ++str;
    }
    if (str[0] == '0' && (str[1] == 'x' || str[1] == 'X')) {
        str += 2;
        unsigned int value = 0;
        for (int digit; (digit = HexDigit(*str)) >= 0; ++str) value = value * 16 + static_cast<unsigned int>(digit);
        return static_cast<int>(value * static_cast<unsigned int>(sign));
    }
    if (str[0] == '\'') return static_cast<signed char>(str[1]) * sign;
    // Unsigned arithmetic so that overflow wraps as 32-bit integers do.
    unsigned int value = 0;
    for (; *str >= '0' && *str <= '9'; ++str) value = value * 10 + static_cast<unsigned int>(*str - '0');
    return static_cast<int>(value * static_cast<unsigned int>(sign));
}

float V_atof(const char* str) {
    AssertValidStringPtr(str, kMaxCheckedString);
    double sign = 1.0;
    if (*str == '-') {
        sign = -1.0;
        ++str;
    }
    double value = 0.0;
    if (str[0] == '0' && (str[1] == 'x' || str[1] == 'X')) {
        str += 2;
        for (int digit; (digit = HexDigit(*str)) >= 0; ++str) value = value * 16.0 + digit;
        return static_cast<float>(value * sign);
    }
    if (str[0] == '\'') return static_cast<float>(static_cast<signed char>(str[1]) * sign);

    int pointAt = -1;  // digits read before the last '.', or -1 without one
    int digits = 0;
    for (;; ++str) {
        if (*str == '.') {
            pointAt = digits;
        } else if (*str >= '0' && *str <= '9') {
            value = value * 10.0 + (*str - '0');
            ++digits;
        } else {
            break;
        }
    }
    // Repeated multiplication by 0.1, one step per fractional digit.
    if (pointAt >= 0) {
        for (int i = pointAt; i < digits; ++i) value *= 0.1;
    }
    return static_cast<float>(value * sign);
}

void V_normalizeFloatString(char* str) {
    AssertValidStringPtr(str, kMaxCheckedString);
    if (!strchr(str, '.')) return;
    size_t len = strlen(str);
    while (len >= 2 && str[len - 1] == '0') str[--len] = '\0';
    if (len >= 2 && str[len - 1] == '.') str[--len] = '\0';
}

int V_hextobinary(const char* hex, int numChars, unsigned char* out, int maxOutputBytes) {
    if (maxOutputBytes <= 0) return 0;
    _AssertValidWritePtr(out, maxOutputBytes);
    memset(out, 0, static_cast<size_t>(maxOutputBytes));
    if (numChars <= 0) return 0;
    AssertValidStringPtr(hex, kMaxCheckedString);

    int usable = static_cast<int>(strnlen(hex, static_cast<size_t>(numChars))) & ~1;
    int written = 0;
    for (int i = 0; i < usable && written < maxOutputBytes; i += 2) {
        int high = HexDigit(hex[i]);
        int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) break;
        out[written++] = static_cast<unsigned char>(high << 4 | low);
    }
    return written;
}

// ---- Wide and multibyte conversion -------------------------------------------------
// The converters are given one unit less than the buffer holds, so they stop at a
// character boundary and leave room for the terminator written here. For text that fits
// this is the same conversion as with the whole buffer.

namespace {

int ToWide(const char* src, wchar_t* dest, int destSizeInBytes) {
    int count = destSizeInBytes / static_cast<int>(sizeof(wchar_t));
    if (count <= 0) return 0;
    _AssertValidWritePtr(dest, destSizeInBytes);
    AssertValidStringPtr(src, kMaxCheckedString);
    size_t result = mbstowcs(dest, src, static_cast<size_t>(count - 1));
    if (result == static_cast<size_t>(-1)) {
        dest[0] = L'\0';
        return -1;
    }
    dest[result] = L'\0';
    return static_cast<int>(result);
}

int ToMultibyte(const wchar_t* src, char* dest, int destSize) {
    if (destSize <= 0) return 0;
    _AssertValidWritePtr(dest, destSize);
    size_t result = wcstombs(dest, src, static_cast<size_t>(destSize - 1));
    if (result == static_cast<size_t>(-1)) {
        dest[0] = '\0';
        return -1;
    }
    dest[result] = '\0';
    return static_cast<int>(result);
}

}  // namespace

int V_strtowcs(const char* src, int /*srcSize*/, wchar_t* dest, int destSizeInBytes) {
    return ToWide(src, dest, destSizeInBytes);
}

int V_wcstostr(const wchar_t* src, int /*srcSize*/, char* dest, int destSize) {
    return ToMultibyte(src, dest, destSize);
}

int V_UTF8ToUnicode(const char* src, wchar_t* dest, int destSizeInBytes) { return ToWide(src, dest, destSizeInBytes); }

int V_UnicodeToUTF8(const wchar_t* src, char* dest, int destSize) { return ToMultibyte(src, dest, destSize); }

// ---- Formatted output --------------------------------------------------------------

int V_vsnprintf(char* dest, int maxLen, const char* format, va_list args) {
    if (maxLen < 0) maxLen = 0;
    if (maxLen > 0) _AssertValidWritePtr(dest, maxLen);
    AssertValidStringPtr(format, kMaxCheckedString);
    int result = vsnprintf(dest, static_cast<size_t>(maxLen), format, args);
    if (result < 0) {
        if (maxLen > 0) dest[maxLen - 1] = '\0';
        return maxLen;
    }
    return result;
}

int V_snprintf(char* dest, int maxLen, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int result = V_vsnprintf(dest, maxLen, format, args);
    va_end(args);
    return result;
}

// ---- The checked family ------------------------------------------------------------

int _V_strlen(const char*, int, const char* str) {
    AssertValidStringPtr(str, kMaxCheckedString);
    return static_cast<int>(strlen(str));
}

int _V_wcslen(const char*, int, const wchar_t* str) { return static_cast<int>(wcslen(str)); }

const char* _V_strrchr(const char*, int, const char* str, char c) {
    AssertValidStringPtr(str, kMaxCheckedString);
    for (size_t i = strlen(str); i-- > 0;) {
        if (str[i] == c) return str + i;
    }
    return nullptr;
}

char* _V_strrchr(const char* file, int line, char* str, char c) {
    return const_cast<char*>(_V_strrchr(file, line, static_cast<const char*>(str), c));
}

int _V_strcmp(const char*, int, const char* a, const char* b) {
    AssertValidStringPtr(a, kMaxCheckedString);
    AssertValidStringPtr(b, kMaxCheckedString);
    return strcmp(a, b);
}

int _V_wcscmp(const char*, int, const wchar_t* a, const wchar_t* b) { return wcscmp(a, b) == 0 ? 0 : -1; }

int _V_stricmp(const char*, int, const char* a, const char* b) {
    AssertValidStringPtr(a, kMaxCheckedString);
    AssertValidStringPtr(b, kMaxCheckedString);
    return strcasecmp(a, b);
}

const char* _V_strstr(const char*, int, const char* text, const char* pattern) {
    AssertValidStringPtr(text, kMaxCheckedString);
    AssertValidStringPtr(pattern, kMaxCheckedString);
    return strstr(text, pattern);
}

char* _V_strstr(const char* file, int line, char* text, const char* pattern) {
    return const_cast<char*>(_V_strstr(file, line, static_cast<const char*>(text), pattern));
}

char* _V_strupr(const char*, int, char* s) {
    if (!s) return s;
    for (char* p = s; *p; ++p) *p = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
    return s;
}

char* _V_strlower(const char*, int, char* s) {
    if (!s) return s;
    for (char* p = s; *p; ++p) *p = static_cast<char>(tolower(static_cast<unsigned char>(*p)));
    return s;
}

char* _V_strcpy(const char*, int, char* dest, const char* src) {
    _AssertValidWritePtr(dest, 1);
    AssertValidStringPtr(src, kMaxCheckedString);
    return strcpy(dest, src);
}

void _V_memset(const char*, int, void* dest, int fill, int count) {
    if (count <= 0) return;
    _AssertValidWritePtr(dest, count);
    memset(dest, fill, static_cast<size_t>(count));
}

void _V_memcpy(const char*, int, void* dest, const void* src, int count) {
    if (count <= 0) return;
    _AssertValidReadPtr(src, count);
    _AssertValidWritePtr(dest, count);
    memcpy(dest, src, static_cast<size_t>(count));
}

void _V_memmove(const char*, int, void* dest, const void* src, int count) {
    if (count <= 0) return;
    _AssertValidReadPtr(src, count);
    _AssertValidWritePtr(dest, count);
    memmove(dest, src, static_cast<size_t>(count));
}

int _V_memcmp(const char*, int, const void* a, const void* b, int count) {
    if (count <= 0) return 0;
    _AssertValidReadPtr(a, count);
    _AssertValidReadPtr(b, count);
    const unsigned char* pa = static_cast<const unsigned char*>(a);
    const unsigned char* pb = static_cast<const unsigned char*>(b);
    for (int i = 0; i < count; ++i) {
        if (pa[i] != pb[i]) return pa[i] < pb[i] ? -1 : 1;
    }
    return 0;
}

// ---- Byte blocks as text -------------------------------------------------------------

void V_binarytohex(const unsigned char* in, int inSize, char* out, int outSize) {
    if (outSize <= 0) return;
    static const char kDigits[] = "0123456789abcdef";
    const int room = outSize - 1;
    int length = 0;
    for (int i = 0; i < inSize && length < room; ++i) {
        out[length++] = kDigits[in[i] >> 4];
        if (length < room) out[length++] = kDigits[in[i] & 0x0f];
    }
    out[length] = '\0';
}
