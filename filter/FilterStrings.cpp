// String functions of the filter expressions' token form.
#include "filter/FilterStrings.h"

#include <ctype.h>
#include <string.h>

const char* StrNextToken(char* out, const char* in, char sep) {
    out[0] = '\0';
    if (!in || !*in) return in;
    const char* p = in;
    int kept = 0;
    while (*p && *p != sep) {
        if (kept < FILTER_TOKEN_SIZE - 1) out[kept++] = *p;
        ++p;
    }
    out[kept] = '\0';
    return *p ? p + 1 : p;
}

bool StrIsInt(const char* s) {
    if (!s) return false;
    for (; *s; ++s) {
        if (*s < '0' || *s > '9') return false;
    }
    return true;
}

char* StrToUpper(const char* s) {
    if (!s) return nullptr;
    const size_t length = strlen(s);
    char* upper = new char[length + 1];
    for (size_t i = 0; i < length; ++i) upper[i] = static_cast<char>(toupper(static_cast<unsigned char>(s[i])));
    upper[length] = '\0';
    return upper;
}
