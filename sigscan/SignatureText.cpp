// Decoding the hexadecimal signature texts of the signature data file.
#include "sigscan/SignatureText.h"

#include <ctype.h>
#include <stddef.h>
#include <string.h>

int H2toI(int high, int low) {
    auto value = [](int c) { return c > '9' ? toupper(c) - 55 : c - 48; };
    return value(high) * 16 + value(low);
}

unsigned char* StrToHexStr(const char* text) {
    if (!text) text = "";
    const size_t length = strlen(text);
    unsigned char* bytes = new unsigned char[length / 2 + 1];
    size_t out = 0;
    for (size_t i = 0; i + 1 < length; i += 2) {
        bytes[out++] = static_cast<unsigned char>(H2toI(text[i], text[i + 1]));
    }
    bytes[out] = 0;
    return bytes;
}

bool IsHexSignatureText(const char* text) {
    if (!text) return false;
    size_t length = 0;
    for (; text[length] != 0; ++length) {
        if (!isxdigit(static_cast<unsigned char>(text[length]))) return false;
    }
    return length % 2 == 0;
}
