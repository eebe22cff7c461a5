// The small string functions behind the filter expressions' token form: splitting off
// one token, telling a user id from a word, and upper-casing a network id.
#pragma once

// The size of a token buffer: the longest token kept is one less.
#define FILTER_TOKEN_SIZE 1024

// Copies the characters of `in` up to the first `sep` (or the end) into `out`, which
// must hold FILTER_TOKEN_SIZE bytes: at most 1023 characters are kept, the rest of a
// longer token is passed over, and `out` is always terminated. Returns a pointer just
// past the separator, or to the terminating null character when the string ended
// first. A null or empty `in` makes `out` empty and is returned as it is. A separator
// at the very start gives an empty token. Never reads past the end of `in`.
const char* StrNextToken(char* out, const char* in, char sep);

// True when every character of `s` is a digit "0" to "9"; the empty string counts as
// true. Signs, spaces and every other character make it false, and so does null.
bool StrIsInt(const char* s);

// A new array of strlen(s) + 1 characters holding `s` with each character passed
// through toupper (as an unsigned char), terminated. The caller owns it and releases it with
// delete[]. Null gives null.
char* StrToUpper(const char* s);
