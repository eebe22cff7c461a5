// Formatting and splitting: memory sizes and integers rendered for operators, substring
// substitution, heap copies of strings, and splitting a string at separators into heap
// copies of its pieces.
//
// V_pretifymem and V_pretifynum each return a pointer into their own ring of 8 static
// buffers of 32 characters: a result stays valid until the same function has been
// called 8 more times. Neither is safe to call from two threads at once.
//
// Strings made by AllocString and the pieces made by V_SplitString2 come from array
// new; the caller owns them and releases them with delete[].
#pragma once

#include <stdint.h>

#include "tier1/UtlVector.h"

// A memory size with a unit and thousands separators. Values above 1024 * 1024 (1000 *
// 1000 unless useBinaryOneK) are shown in " MB", above 1024 (1000) in " KB", the rest in
// " bytes"; exactly 1024 stays in bytes. A value with a fractional part of at least
// 0.00001 gets digitsAfterDecimal digits after the point (0 when negative), a whole
// value none. Commas group the digits before the point in threes: 1024 gives
// "1,024 bytes", 1536 gives "1.50 KB" (2 digits, binary K). No comma ever follows a
// minus sign ("-999 bytes"). At most 31 characters.
const char* V_pretifymem(float value, int digitsAfterDecimal = 2, bool useBinaryOneK = true);
// An integer with commas between groups of three digits: 1234567 gives "1,234,567",
// -1234 gives "-1,234". Every value of the type, INT64_MIN included, is shown exactly.
const char* V_pretifynum(int64_t value);

// Writes `in` into out with every occurrence of `match` replaced by `replaceWith`,
// searching case-insensitively (tolower) unless caseSensitive; an empty match matches
// nothing. Returns whether the whole result fitted in outLen bytes; when it did not, out
// holds as much of the result as fitted, terminated. An outLen below 1 writes nothing and
// returns false.
bool V_StrSubst(const char* in, const char* match, const char* replaceWith, char* out, int outLen,
                bool caseSensitive = false);

// A fresh copy of at most maxChars characters of str (all of them when maxChars is -1 or
// any other negative value). Returns null when the memory cannot be had.
char* AllocString(const char* str, int maxChars = -1);

// Empties outStrings (releasing its memory but not the strings it pointed to), then
// splits `in` at every occurrence of any of the separators, found case-insensitively; at
// one position the separator listed first wins. Each non-empty piece is appended as a
// fresh copy: empty pieces (adjacent separators, or one at either end) are dropped, so
// "a,,b" gives "a" and "b" and ",a," gives "a". Empty or null separators match nothing.
// The caller owns the pieces.
void V_SplitString2(const char* in, const char** separators, int separatorCount, CUtlVector<char*>& outStrings);
void V_SplitString(const char* in, const char* separator, CUtlVector<char*>& outStrings);
