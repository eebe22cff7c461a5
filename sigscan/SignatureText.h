// Decoding the hexadecimal signature texts of the signature data file into bytes. Apart
// from the resolver so that it links (and is fuzzed) without the engine.
#pragma once

// The value of two hexadecimal digit characters, high * 16 + low. Digits above '9' count
// as toupper(c) - 55 and all others as c - 48; nothing is validated, so non-digits give
// values outside 0..15 (StrToHexStr truncates the combination to a byte).
int H2toI(int high, int low);

// Decodes pairs of hexadecimal digits into a new zero-terminated byte string, owned by
// the caller (array delete). An odd trailing digit is dropped rather than combined with
// the terminator. Never null for a non-null text; a null text decodes as "".
unsigned char* StrToHexStr(const char* text);

// Whether `text` is plain pairs of hexadecimal digits (either case, no separators): an
// even number of characters, each 0-9, A-F or a-f. The empty text is; null is not.
bool IsHexSignatureText(const char* text);
