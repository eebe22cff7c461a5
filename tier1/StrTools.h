// Bounded string, wide-string and memory functions that every other layer builds on.
// They keep no state; the multibyte conversions depend on the process's locale.
//
// Rules shared by every function here that writes into a caller's buffer of a given
// size:
//   - Nothing is ever written at or past that size.
//   - The result is always terminated when the size is at least 1 (for wide strings:
//     when the buffer holds at least one character); text that does not fit is truncated
//     silently.
//   - A size of 0 or less writes nothing at all. Negative sizes are treated as 0 rather
//     than as programmer errors, because they arise from size arithmetic on full buffers.
// String arguments must not be null unless a function says what a null gives; the
// pointer checks of the runtime (AssertValidStringPtr and the like) report a bad pointer
// but never change a result.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <wchar.h>

#include "tier0/platform.h"

// ---- Comparison --------------------------------------------------------------------
// These compare bytes as signed chars, so bytes 0x80-0xFF order before every ASCII
// character, and return exactly -1, 0 or 1. A count of 0 or less compares nothing and
// gives 0. They never read past `count` characters or past either terminator.

// 1 when a's character is the greater at the first difference, -1 when b's is; 0 when
// both strings end together or `count` characters were equal.
int V_strncmp(const char* a, const char* b, int count);
// As V_strncmp, but characters 'a'-'z' fold to upper case (only those; no locale) before
// they are compared, so "[" orders after "a" (which folds to "A").
int V_strncasecmp(const char* a, const char* b, int count);
int V_strnicmp(const char* a, const char* b, int count);
// V_strncasecmp over the first 99999 characters; longer strings that agree that far are
// equal.
int V_strcasecmp(const char* a, const char* b);

// ---- Search ------------------------------------------------------------------------

// First place in `text` where `pattern` occurs, comparing through tolower. Null when
// either argument is null or empty (an empty pattern matches nothing).
const char* V_stristr(const char* text, const char* pattern);
char* V_stristr(char* text, const char* pattern);
// As V_stristr, but the whole match must lie within the first `count` characters of
// text; nothing past them is read, so `text` need not be terminated within `count`.
// Null when `count` < 1.
const char* V_strnistr(const char* text, const char* pattern, int count);
// First of the first `count` characters of `text` (stopping at its terminator) that
// equals `c`; null when none does. The terminator itself is never found (c == 0 gives
// null).
const char* V_strnchr(const char* text, char c, int count);
char* V_strnchr(char* text, char c, int count);

// ---- Copy and concatenation --------------------------------------------------------

// Copies at most maxLen - 1 characters of src, zero-fills the rest of dest up to maxLen
// bytes and terminates at maxLen - 1 at the latest. Returns dest.
char* V_strncpy(char* dest, const char* src, int maxLen);
// Appends src to the string in dest, a buffer of destBufferSize bytes: all of src when
// maxCharsToCopy is negative, otherwise at most maxCharsToCopy characters, in both cases
// only as many as fit before the buffer's last byte. When something was appended the
// buffer's last byte is set to 0 as well. dest is searched for its terminator only within
// the buffer; a dest that fills its buffer unterminated is cut to destBufferSize - 1
// characters and nothing is appended. A destBufferSize above INT_MAX is taken as a
// negative int size that went through the conversion: nothing happens. src and dest must
// not overlap. Returns dest.
char* V_strncat(char* dest, const char* src, size_t destBufferSize, int maxCharsToCopy = -1);
// wcsncpy of maxLenInBytes / 4 characters; the last of them is set to 0 whenever there
// is room for at least one (maxLenInBytes >= 4). Returns dest.
wchar_t* V_wcsncpy(wchar_t* dest, const wchar_t* src, int maxLenInBytes);

// ---- Slicing -----------------------------------------------------------------------
// All three write a terminated result of at most outSize - 1 characters into out; the
// source and out must not overlap.

// Characters [firstChar, lastCharNonInclusive) of str, with len = strlen(str):
//   - a negative firstChar counts from the end, modulo len: len - ((-firstChar) % len);
//     a firstChar at or past len (also after that conversion) gives "".
//   - a negative lastCharNonInclusive is converted the same way; one beyond len wraps
//     to lastCharNonInclusive % len.
//   - an empty str, or a last not beyond first, gives "".
// So for "abcdef": (-2, 6) is "ef", (0, 8) is "ab", (1, -1) is "bcde", (-6, 6) is "".
void V_StrSlice(const char* str, int firstChar, int lastCharNonInclusive, char* out, int outSize);
// The first nChars characters: "" for 0, the whole string when nChars >= len, otherwise
// V_StrSlice(str, 0, nChars) (a negative nChars drops characters from the end, modulo
// len).
void V_StrLeft(const char* str, int nChars, char* out, int outSize);
// The last nChars characters: "" for 0, the whole string when nChars >= len, otherwise
// V_StrSlice(str, -nChars, len) (a negative nChars drops that many from the front).
void V_StrRight(const char* str, int nChars, char* out, int outSize);

// ---- Case conversion in place -------------------------------------------------------

// tolower on each character up to the terminator or until `count` are converted.
// Returns s; a null s gives null.
char* V_strnlwr(char* s, size_t count);

// ---- Numbers -----------------------------------------------------------------------

// Integer from text, without skipping white space: an optional '-', then "0x"/"0X" and
// hexadecimal digits, or a single quote and one character (its signed char code), or
// decimal digits; conversion stops at the first other character. 32-bit arithmetic that
// wraps on overflow. "" and text without digits give 0.
int V_atoi(const char* str);
// strtol and strtoul as a 32-bit long gives them, on every architecture: the text is
// read as strtol/strtoul read it (leading white space, sign, `base`), and a value beyond
// the 32-bit range saturates (INT_MAX or INT_MIN; UINT_MAX for the unsigned form, whose
// in-range negative values wrap as strtoul's do). A 64-bit long would instead give the
// full value, which then wraps when narrowed. `end` (may be null) is set as strtol sets it.
int V_StrToInt32(const char* text, char** end, int base);
unsigned int V_StrToUint32(const char* text, char** end, int base);
// As V_atoi for the sign, hexadecimal and character forms, accumulated in double. The
// decimal form takes digits and '.' (the last '.' sets where the point is) and stops at
// anything else; there is no exponent ("1e3" is 1, "1.2.3" is 12.3).
float V_atof(const char* str);
// Drops trailing zeros after a decimal point, then a bare trailing point, never shortening
// the text below one character: "1.500" -> "1.5", "2.000" -> "2". Text without a '.' is
// left alone ("10" stays).
void V_normalizeFloatString(char* str);
// Decodes pairs of hexadecimal digits (either case) from the first min(strlen(hex),
// numChars) characters of hex, an odd last character ignored, into out. The whole out
// buffer of maxOutputBytes bytes is zeroed first. Decoding stops when the pairs are used
// up, when out is full, or at the first pair holding a character that is not a
// hexadecimal digit; that pair and the rest stay 0. Returns the number of bytes decoded.
int V_hextobinary(const char* hex, int numChars, unsigned char* out, int maxOutputBytes);

// ---- Wide and multibyte conversion (the process locale's multibyte encoding) -------
// Each converts as much of the terminated source as fits before the buffer's last unit
// (a wide character, or a byte), cutting only between whole characters, and terminates
// the result. They return the number of units stored before the terminator, or -1 when
// the source holds something the locale cannot encode (the result is then ""); with no
// room at all (a size below one unit) they write nothing and return 0. The srcSize
// arguments are not used.

int V_strtowcs(const char* src, int srcSize, wchar_t* dest, int destSizeInBytes);
int V_wcstostr(const wchar_t* src, int srcSize, char* dest, int destSize);
int V_UTF8ToUnicode(const char* src, wchar_t* dest, int destSizeInBytes);
int V_UnicodeToUTF8(const wchar_t* src, char* dest, int destSize);

// ---- Formatted output --------------------------------------------------------------

// vsnprintf into dest of maxLen bytes. Returns the length the whole output would have
// had (the text itself is truncated and terminated). When the C library reports a
// formatting failure, dest is terminated at its last byte and maxLen is returned.
int V_vsnprintf(char* dest, int maxLen, const char* format, va_list args);
int V_snprintf(char* dest, int maxLen, const char* format, ...) VL_FMT(3, 4);

// ---- The checked family ------------------------------------------------------------
// C library routines behind the runtime's pointer checks. Each takes the caller's file
// and line first, for diagnostics only; use the V_ macros below to pass them. Unlike
// the functions above, these are unbounded: the caller guarantees room and termination.

int _V_strlen(const char* file, int line, const char* str);
int _V_wcslen(const char* file, int line, const wchar_t* str);
// Last occurrence of c, searched from the last character back; c == 0 gives null.
const char* _V_strrchr(const char* file, int line, const char* str, char c);
char* _V_strrchr(const char* file, int line, char* str, char c);
// strcmp's own ordering (any sign, any magnitude).
int _V_strcmp(const char* file, int line, const char* a, const char* b);
// 0 when equal, -1 for any difference in either order (no ordering).
int _V_wcscmp(const char* file, int line, const wchar_t* a, const wchar_t* b);
// strcasecmp's own ordering.
int _V_stricmp(const char* file, int line, const char* a, const char* b);
const char* _V_strstr(const char* file, int line, const char* text, const char* pattern);
char* _V_strstr(const char* file, int line, char* text, const char* pattern);
// toupper / tolower on every character up to the terminator; a null s gives null.
char* _V_strupr(const char* file, int line, char* s);
char* _V_strlower(const char* file, int line, char* s);
char* _V_strcpy(const char* file, int line, char* dest, const char* src);
// A count of 0 or less does nothing.
void _V_memset(const char* file, int line, void* dest, int fill, int count);
void _V_memcpy(const char* file, int line, void* dest, const void* src, int count);
void _V_memmove(const char* file, int line, void* dest, const void* src, int count);
// Compares bytes as unsigned values: -1, 0 or 1 by the first difference; 0 when
// count <= 0.
int _V_memcmp(const char* file, int line, const void* a, const void* b, int count);

#define V_strlen(str) _V_strlen(__FILE__, __LINE__, (str))
#define V_wcslen(str) _V_wcslen(__FILE__, __LINE__, (str))
#define V_strrchr(str, c) _V_strrchr(__FILE__, __LINE__, (str), (c))
#define V_strcmp(a, b) _V_strcmp(__FILE__, __LINE__, (a), (b))
#define V_wcscmp(a, b) _V_wcscmp(__FILE__, __LINE__, (a), (b))
#define V_stricmp(a, b) _V_stricmp(__FILE__, __LINE__, (a), (b))
#define V_strstr(text, pattern) _V_strstr(__FILE__, __LINE__, (text), (pattern))
#define V_strupr(s) _V_strupr(__FILE__, __LINE__, (s))
#define V_strlower(s) _V_strlower(__FILE__, __LINE__, (s))
#define V_strcpy(dest, src) _V_strcpy(__FILE__, __LINE__, (dest), (src))
#define V_memset(dest, fill, count) _V_memset(__FILE__, __LINE__, (dest), (fill), (count))
#define V_memcpy(dest, src, count) _V_memcpy(__FILE__, __LINE__, (dest), (src), (count))
#define V_memmove(dest, src, count) _V_memmove(__FILE__, __LINE__, (dest), (src), (count))
#define V_memcmp(a, b, count) _V_memcmp(__FILE__, __LINE__, (a), (b), (count))

// ---- Byte blocks as text -------------------------------------------------------------

// Renders the first inSize bytes of `in` as text: two lower-case hexadecimal digits per
// byte, in order ({0x0A, 0xFF} gives "0aff"). The text is cut to outSize - 1 characters
// (possibly in the middle of a byte's pair) and terminated, by the buffer rules above; an
// inSize of 0 or less gives "". `in` may be null only when inSize is 0 or less.
void V_binarytohex(const unsigned char* in, int inSize, char* out, int outSize);
