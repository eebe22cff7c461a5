// Escape schemes for delimited strings: a conversion names an escape character, a
// delimiter and a table that maps awkward characters to the replacement text written
// after the escape character. CUtlBuffer reads and writes quoted strings through them.
#pragma once

// A conversion object. The tables cover character codes 0 to 254 (as unsigned bytes);
// code 255 never has a replacement and is written and read as it stands. An object
// stores pointers to its delimiter and replacement strings without copying them, so
// those strings must outlive it (string literals in every use here).
class CUtlCharConversion {
public:
    // One row of a definition: `actualChar` in memory is written as the escape
    // character followed by `replacementString`.
    struct ConversionArray_t {
        char m_nActualChar;
        const char* m_pReplacementString;
    };

    // Registers the rows in order. A null delimiter or replacement counts as empty.
    // Rows for code 255, and rows beyond the 255th, are ignored. A character listed
    // twice keeps its last replacement but is registered (and searched) twice.
    CUtlCharConversion(char escapeChar, const char* delimiter, int count, const ConversionArray_t* array);
    virtual ~CUtlCharConversion() = default;

    CUtlCharConversion(const CUtlCharConversion&) = delete;
    CUtlCharConversion& operator=(const CUtlCharConversion&) = delete;

    char GetEscapeChar() const { return m_nEscapeChar; }
    const char* GetDelimiter() const { return m_pDelimiter; }
    int GetDelimiterLength() const { return m_nDelimiterLength; }
    // Length of the longest replacement string; 0 when nothing is ever escaped.
    int MaxConversionLength() const { return m_nMaxConversionLength; }

    // The replacement of `c` and its length; null and 0 when `c` has none.
    const char* GetConversionString(char c) const;
    int GetConversionLength(char c) const;

    // Decodes an escape. `text` is the terminated text just after an escape character.
    // Returns the character the escape stands for and stores in *length how many
    // characters of `text` it used; returns 0 with *length = 0 when nothing matches.
    // This form tries the registered characters in registration order and takes the
    // first whose whole replacement starts `text` (an empty replacement always does).
    virtual char FindConversion(const char* text, int* length);

protected:
    struct ConversionInfo_t {
        int m_nLength;
        const char* m_pReplacementString;
    };

    static const int kTableSize = 255;

    char m_nEscapeChar;
    const char* m_pDelimiter;
    int m_nDelimiterLength;
    int m_nCount;
    int m_nMaxConversionLength;
    char m_pList[kTableSize];
    ConversionInfo_t m_pReplacements[kTableSize];
};

// The backslash scheme of C strings, where every replacement is one character: decoding
// looks the character after the escape up in a reverse table instead of searching.
class CUtlCStringConversion : public CUtlCharConversion {
public:
    CUtlCStringConversion(char escapeChar, const char* delimiter, int count, const ConversionArray_t* array);

    // *length is 1 when the first character of `text` is a known replacement, else 0.
    char FindConversion(const char* text, int* length) override;

private:
    char m_pReplacementMap[kTableSize];
};

// A scheme that never decodes anything: every escape reads as character 0, using no
// further text.
class CUtlNoEscConversion : public CUtlCharConversion {
public:
    CUtlNoEscConversion(char escapeChar, const char* delimiter, int count, const ConversionArray_t* array)
        : CUtlCharConversion(escapeChar, delimiter, count, array) {}

    char FindConversion(const char* text, int* length) override;
};

// The two shared schemes, built when the library is loaded and never changed; any
// thread may use them. The C-string conversion escapes with a backslash the eleven
// characters LF, TAB, VT, BS, CR, FF, BEL, backslash, '?', apostrophe and double quote
// as n, t, v, b, r, f, a, \, ?, ' and ". The no-escape conversion has the escape
// character 127 and nothing to escape when writing; reading 127 gives character 0.
// Both delimit strings with a double quote.
CUtlCharConversion* GetCStringCharConversion();
CUtlCharConversion* GetNoEscCharConversion();
