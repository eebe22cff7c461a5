// Fuzz target for the signature-text decoder: any text decodes without reading or
// writing past its blocks, and every decoded byte is the pair it came from.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "sigscan/SignatureText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The data file hands over zero-terminated text: stop at the first zero byte.
    const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    unsigned char* bytes = StrToHexStr(text.c_str());
    const size_t pairs = text.size() / 2;
    size_t decoded = 0;
    while (decoded < pairs && bytes[decoded] != 0) {
        const unsigned char expected = static_cast<unsigned char>(H2toI(text[2 * decoded], text[2 * decoded + 1]));
        if (bytes[decoded] != expected) {
            fprintf(stderr, "byte %zu decoded as %u, expected %u\n", decoded, bytes[decoded], expected);
            abort();
        }
        ++decoded;
    }
    // Either a pair decoded to 0 (which ends the string) or every pair was decoded and
    // the terminator follows.
    if (decoded == pairs && bytes[decoded] != 0) abort();
    delete[] bytes;
    return 0;
}
