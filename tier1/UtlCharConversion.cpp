// The conversion objects behind delimited strings, and the two shared schemes.
#include "tier1/UtlCharConversion.h"

#include <string.h>

#include "tier1/StrTools.h"

namespace {

// Table slot of a character, or -1 for code 255, which no table covers.
int Slot(char c) {
    unsigned char code = static_cast<unsigned char>(c);
    return code < 255 ? code : -1;
}

}  // namespace

CUtlCharConversion::CUtlCharConversion(char escapeChar, const char* delimiter, int count,
                                       const ConversionArray_t* array)
    : m_nEscapeChar(escapeChar),
      m_pDelimiter(delimiter ? delimiter : ""),
      m_nDelimiterLength(static_cast<int>(strlen(m_pDelimiter))),
      m_nCount(0),
      m_nMaxConversionLength(0) {
    memset(m_pList, 0, sizeof(m_pList));
    memset(m_pReplacements, 0, sizeof(m_pReplacements));
    for (int i = 0; i < count && array && m_nCount < kTableSize; ++i) {
        int slot = Slot(array[i].m_nActualChar);
        if (slot < 0) continue;
        const char* replacement = array[i].m_pReplacementString ? array[i].m_pReplacementString : "";
        int length = static_cast<int>(strlen(replacement));
        m_pList[m_nCount++] = array[i].m_nActualChar;
        m_pReplacements[slot].m_nLength = length;
        m_pReplacements[slot].m_pReplacementString = replacement;
        if (length > m_nMaxConversionLength) m_nMaxConversionLength = length;
    }
}

const char* CUtlCharConversion::GetConversionString(char c) const {
    int slot = Slot(c);
    return slot < 0 ? nullptr : m_pReplacements[slot].m_pReplacementString;
}

int CUtlCharConversion::GetConversionLength(char c) const {
    int slot = Slot(c);
    return slot < 0 ? 0 : m_pReplacements[slot].m_nLength;
}

char CUtlCharConversion::FindConversion(const char* text, int* length) {
    for (int i = 0; i < m_nCount; ++i) {
        const ConversionInfo_t& info = m_pReplacements[Slot(m_pList[i])];
        if (V_strncmp(text, info.m_pReplacementString, info.m_nLength) == 0) {
            *length = info.m_nLength;
            return m_pList[i];
        }
    }
    *length = 0;
    return 0;
}

CUtlCStringConversion::CUtlCStringConversion(char escapeChar, const char* delimiter, int count,
                                             const ConversionArray_t* array)
    : CUtlCharConversion(escapeChar, delimiter, count, array) {
    memset(m_pReplacementMap, 0, sizeof(m_pReplacementMap));
    for (int i = 0; i < m_nCount; ++i) {
        const ConversionInfo_t& info = m_pReplacements[Slot(m_pList[i])];
        // An empty replacement has no first character to look up.
        int first = info.m_nLength > 0 ? Slot(info.m_pReplacementString[0]) : -1;
        if (first >= 0) m_pReplacementMap[first] = m_pList[i];
    }
}

char CUtlCStringConversion::FindConversion(const char* text, int* length) {
    int slot = Slot(text[0]);
    char c = slot < 0 ? 0 : m_pReplacementMap[slot];
    *length = c != 0 ? 1 : 0;
    return c;
}

char CUtlNoEscConversion::FindConversion(const char*, int* length) {
    *length = 0;
    return 0;
}

namespace {

const CUtlCharConversion::ConversionArray_t s_pCStringConversionArray[] = {
    {'\n', "n"}, {'\t', "t"},  {'\v', "v"}, {'\b', "b"}, {'\r', "r"}, {'\f', "f"},
    {'\a', "a"}, {'\\', "\\"}, {'?', "?"},  {'\'', "'"}, {'"', "\""},
};

const CUtlCharConversion::ConversionArray_t s_pNoEscConversionArray[] = {
    {'\x7f', ""},
};

}  // namespace

// Each scheme is built on first use: a static object of another unit may read it while
// it is itself being constructed, before main, whatever the order of the units.
CUtlCharConversion* GetCStringCharConversion() {
    static CUtlCStringConversion conversion(
        '\\', "\"", sizeof(s_pCStringConversionArray) / sizeof(s_pCStringConversionArray[0]), s_pCStringConversionArray);
    return &conversion;
}

CUtlCharConversion* GetNoEscCharConversion() {
    static CUtlNoEscConversion conversion('\x7f', "\"", 1, s_pNoEscConversionArray);
    return &conversion;
}
