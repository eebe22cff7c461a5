// The key-value text reader: tokens, value typing, blocks, top-level items, includes and
// whole-file loads, with the error reports and their key context. Reading works on the
// bytes of the buffer directly and keeps its own nesting stack, so it is linear in the
// size of the text and no depth of nesting reaches the call stack.
#include <limits.h>
#include <locale.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "tier0/dbg.h"
#include "tier1/ConsoleLine.h"
#include "tier1/IBaseFileSystem.h"
#include "tier1/KeyValues.h"
#include "tier1/KeyValuesText.h"
#include "tier1/StrTools.h"
#include "tier1/UtlBuffer.h"
#include "tier1/UtlCharConversion.h"
#include "tier1/UtlTextScan.h"
#include "tier1/UtlVector.h"
#include "vstdlib/IKeyValuesSystem.h"

CKeyValuesErrorStack g_KeyValuesErrorStack;

namespace {

// The shared token buffer: every token read overwrites the previous one.
const int kTokenBufferSize = KeyValues::kMaxTokenLength + 1;
char s_pTokenBuffer[kTokenBufferSize];

// Room for an include path, its terminator included.
const int kIncludePathSize = 512;

// Writes into `out` (`outSize` bytes, always terminated, cut if it must be) the normal form
// of `path` in which include paths are compared: "\\" reads as "/", repeated separators
// and "." components are dropped, and ".." removes the component before it (a ".." with
// nothing before it, or only ".." before it, is kept). Two spellings of one file then
// compare equal, whatever "./" or "dir/../" they carry. Letter case is kept, as the file
// system here tells names apart by case; where one does not, a cycle spelled in other
// letter cases is still ended by the depth and file limits. The form is only compared,
// never opened.
void NormalizeIncludePath(const char* path, char* out, int outSize) {
    int length = 0;
    out[0] = '\0';
    if (!path) return;
    const bool absolute = *path == '/' || *path == '\\';
    if (absolute && outSize > 1) out[length++] = '/';
    const int rootLength = length;  // a ".." never climbs above this
    while (*path) {
        while (*path == '/' || *path == '\\') ++path;
        const char* start = path;
        while (*path && *path != '/' && *path != '\\') ++path;
        int size = static_cast<int>(path - start);
        if (size == 0 || (size == 1 && start[0] == '.')) continue;
        if (size == 2 && start[0] == '.' && start[1] == '.') {
            // The last component kept, unless it is itself a ".." that could not climb.
            int last = length;
            while (last > rootLength && out[last - 1] != '/') --last;
            bool parentIsDotDot = length - last == 2 && out[last] == '.' && out[last + 1] == '.';
            if (length > rootLength && !parentIsDotDot) {
                length = last > rootLength ? last - 1 : rootLength;  // drop it and its separator
                out[length] = '\0';
                continue;
            }
            if (absolute) continue;  // nothing above the root
        }
        if (length > rootLength && length + 1 < outSize) out[length++] = '/';
        for (int i = 0; i < size && length + 1 < outSize; ++i) out[length++] = start[i];
        out[length] = '\0';
    }
}

// The include bookkeeping of one outermost load and the files it includes. It holds the
// normal-form names of the loads in progress, outermost first, so that a file already
// being loaded is refused whatever its spelling; only the first kMaxIncludeDepth + 1 are
// kept, the count goes on so that nesting is still measured. It counts the files included
// in all, so that a fan-out (each file including the next several times) is bounded by
// kMaxIncludedFiles rather than growing exponentially with depth. Everything is reset when
// an outermost load begins.
const int kActiveLoadSlots = KeyValues::kMaxIncludeDepth + 1;
char s_ActiveLoads[kActiveLoadSlots][kIncludePathSize];
int s_nActiveLoads = 0;
int s_nIncludedFiles = 0;                   // includes attempted in this outermost load
char s_LastRefusal[kIncludePathSize + 64];  // the last refusal reported in it

class ActiveLoad {
public:
    explicit ActiveLoad(const char* name) {
        if (s_nActiveLoads == 0) {
            s_nIncludedFiles = 0;
            s_LastRefusal[0] = '\0';
        }
        if (s_nActiveLoads < kActiveLoadSlots) {
            NormalizeIncludePath(name, s_ActiveLoads[s_nActiveLoads], kIncludePathSize);
        }
        ++s_nActiveLoads;
    }
    ~ActiveLoad() { --s_nActiveLoads; }
    ActiveLoad(const ActiveLoad&) = delete;
    ActiveLoad& operator=(const ActiveLoad&) = delete;

    // Whether the file named `normalName` (in normal form) is being loaded.
    static bool IsActive(const char* normalName) {
        int kept = s_nActiveLoads < kActiveLoadSlots ? s_nActiveLoads : kActiveLoadSlots;
        for (int i = 0; i < kept; ++i) {
            if (strcmp(s_ActiveLoads[i], normalName) == 0) return true;
        }
        return false;
    }
    static int Depth() { return s_nActiveLoads; }
};

// Decides whether the include of `path` may be loaded; when it may, it counts as one more
// included file. A refusal is reported through the error stack, except when the same report
// was the last one made in this outermost load (a file that names a refused include twice
// reports it once), and the limit of files is reported only the first time it refuses.
bool AdmitInclude(const char* path) {
    char normal[kIncludePathSize];
    NormalizeIncludePath(path, normal, sizeof(normal));
    char message[sizeof(s_LastRefusal)];
    if (ActiveLoad::IsActive(normal)) {
        V_snprintf(message, sizeof(message), "#include cycle: %s", path);
    } else if (ActiveLoad::Depth() > KeyValues::kMaxIncludeDepth) {
        V_snprintf(message, sizeof(message), "#include nested too deep: %s", path);
    } else if (s_nIncludedFiles >= KeyValues::kMaxIncludedFiles) {
        if (s_nIncludedFiles > KeyValues::kMaxIncludedFiles) return false;  // reported already
        ++s_nIncludedFiles;
        V_snprintf(message, sizeof(message), "#include limit of %d files reached: %s", KeyValues::kMaxIncludedFiles,
                   path);
    } else {
        ++s_nIncludedFiles;
        return true;
    }
    if (strcmp(message, s_LastRefusal) != 0) {
        g_KeyValuesErrorStack.Report(message);
        V_strncpy(s_LastRefusal, message, sizeof(s_LastRefusal));
    }
    return false;
}

// A direct-mapped cache of the symbols of short key names. A load repeats the same few
// names (every entry of a data file has the same value keys), and each lookup in the
// key-value system hashes and compares the text anyway; the cache answers most of them
// from one probe. A name's symbol never changes while the key-value system lives, so an
// entry stays right for as long as it is kept; LoadFromBuffer empties the cache all the
// same, so that it holds names of the text at hand.
//
// Before hashing, the cache tries the name that followed the same name last time (keys
// of a block tend to come in the same order): `context` is the previous sibling's symbol,
// or a value derived from the parent's for a first child, and a slot remembers which
// cache entry came after it. A wrong guess costs one compare.
class SymbolCache {
public:
    static void Clear() {
        memset(s_Slots, 0, sizeof(s_Slots));
        memset(s_Next, 0, sizeof(s_Next));
    }

    // The symbol of the `length` bytes at `name` (not necessarily terminated there). The
    // bytes may hold a 0 byte, after which the key-value system sees nothing: the cache
    // then keys on more than the system does, which can cost a miss but never a wrong
    // answer. A miss asks the system with a terminated copy in the token buffer.
    static int Find(const char* name, int length, int context, char* tokenBuffer) {
        if (length > kMaxCachedLength) return SystemSymbol(name, length, tokenBuffer);
        int& next = s_Next[static_cast<unsigned int>(context) & (kSlots - 1)];
        if (next > 0) {
            const Slot& guess = s_Slots[next - 1];
            if (guess.length == length + 1 && SameBytes(guess.text, name, length)) {
                return guess.symbol;
            }
        }
        // The slot comes from the length and the first and last four bytes; the whole
        // text is compared before a slot answers.
        uint32_t hash = static_cast<uint32_t>(length) * 0x9E3779B1u;
        if (length >= 4) {
            uint32_t head, tail;
            memcpy(&head, name, sizeof(head));
            memcpy(&tail, name + length - 4, sizeof(tail));
            hash ^= head * 0x85EBCA77u;
            hash ^= tail * 0xC2B2AE3Du;
        } else {
            for (int i = 0; i < length; ++i) hash = (hash ^ static_cast<unsigned char>(name[i])) * 16777619u;
        }
        const int index = static_cast<int>((hash ^ (hash >> 15)) & (kSlots - 1));
        Slot& slot = s_Slots[index];
        next = index + 1;
        if (slot.length == length + 1 && SameBytes(slot.text, name, length)) return slot.symbol;
        int symbol = SystemSymbol(name, length, tokenBuffer);
        slot.length = length + 1;
        slot.symbol = symbol;
        memcpy(slot.text, name, static_cast<size_t>(length));
        return symbol;
    }

private:
    // memcmp(a, b, length) == 0 for the short lengths cached here, four bytes at a time
    // without a library call.
    static bool SameBytes(const char* a, const char* b, int length) {
        int i = 0;
        for (; i + 4 <= length; i += 4) {
            uint32_t x, y;
            memcpy(&x, a + i, sizeof(x));
            memcpy(&y, b + i, sizeof(y));
            if (x != y) return false;
        }
        for (; i < length; ++i) {
            if (a[i] != b[i]) return false;
        }
        return true;
    }

    static int SystemSymbol(const char* name, int length, char* tokenBuffer) {
        if (name != tokenBuffer) {
            memcpy(tokenBuffer, name, static_cast<size_t>(length));
            tokenBuffer[length] = '\0';
        }
        return KeyValuesSystem()->GetSymbolForString(tokenBuffer);
    }

    static const int kSlots = 128;
    static const int kMaxCachedLength = 24;
    struct Slot {
        int length;  // the name's length + 1; 0 for an empty slot
        int symbol;
        char text[kMaxCachedLength];
    };
    static Slot s_Slots[kSlots];
    static int s_Next[kSlots];  // per context: index + 1 of the slot guessed next, 0 for none
};

SymbolCache::Slot SymbolCache::s_Slots[SymbolCache::kSlots];
int SymbolCache::s_Next[SymbolCache::kSlots];

const char kEofInsteadOfKeyName[] = "RecursiveLoadFromBuffer:  got EOF instead of keyname";
const char kEmptyKeyName[] = "RecursiveLoadFromBuffer:  got empty keyname";
const char kNullKey[] = "RecursiveLoadFromBuffer:  got NULL key";
const char kBraceInKey[] = "RecursiveLoadFromBuffer:  got } in key";
const char kNestedTooDeep[] = "RecursiveLoadFromBuffer:  block nested too deep";
const char kMissingBrace[] = "LoadFromBuffer: missing {";
const char kIncludeIsNull[] = "#include is NULL ";
const char kTokenOverflow[] = " ReadToken overflow";

// A token as the reader sees it: `length` bytes at `text`, which point either into the
// text being read (not terminated there) or into the token buffer (terminated).
struct Token {
    const char* text;
    int length;
    bool quoted;
};

bool IsUnquoted(const Token& token, char brace) { return !token.quoted && token.length == 1 && token.text[0] == brace; }

// An empty token, as C string functions see it: no bytes, or a 0 byte first.
bool IsEmptyToken(const Token& token) { return token.length == 0 || token.text[0] == '\0'; }

// Whether `c` can start text that strtol or strtod converts. Letters other than those
// of "inf" and "nan", and the underscore, never can in any locale (a decimal point is
// never a letter), so values starting with them are plain texts without parsing.
bool MayStartNumber(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
        return c == 'i' || c == 'I' || c == 'n' || c == 'N';
    }
    return c != '_';
}

// The fast form of the typing rule for the `length` bytes [+-]?[0-9]+: strtol and
// strtod both stop at the end there, so the key is TYPE_INT with strtol's value, which
// saturates at the range of a 32-bit long. *canonical tells whether the text is exactly
// what "%d" prints for the value (no sign "+", no leading zero, no "-0", no saturation),
// so that the text can be made again from the value instead of being kept.
bool ParsePlainDecimal(const char* text, int length, int* value, bool* canonical) {
    const char* p = text;
    const char* end = text + length;
    bool negative = false;
    bool plus = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        plus = !negative;
        ++p;
    }
    if (p == end) return false;
    const char* digits = p;
    const uint32_t limit = negative ? 2147483648u : 2147483647u;
    uint32_t magnitude = 0;
    bool saturated = false;
    for (; p < end; ++p) {
        uint32_t digit = static_cast<uint32_t>(static_cast<unsigned char>(*p)) - '0';
        if (digit > 9) return false;
        if (saturated) continue;
        if (magnitude > (limit - digit) / 10) {
            saturated = true;
            magnitude = limit;
        } else {
            magnitude = magnitude * 10 + digit;
        }
    }
    if (!negative) {
        *value = static_cast<int>(magnitude);
    } else {
        *value = magnitude == 2147483648u ? INT_MIN : -static_cast<int>(magnitude);
    }
    *canonical = !plus && !saturated && (digits[0] != '0' || end - digits == 1) && !(negative && magnitude == 0);
    return true;
}

}  // namespace

// ---- The error stack -------------------------------------------------------------------

int CKeyValuesErrorStack::Push(int symbol) {
    int level = m_nDepth;
    if (level < kMaxLevels) m_ErrorIndex[level] = symbol;
    if (level > m_nMaxDepth) m_nMaxDepth = level;
    if (m_nDepth < INT_MAX) ++m_nDepth;
    return level;
}

void CKeyValuesErrorStack::Pop() {
    if (m_nDepth > 0) --m_nDepth;
}

void CKeyValuesErrorStack::Reset(int level, int symbol) {
    if (level >= 0 && level < kMaxLevels) m_ErrorIndex[level] = symbol;
}

void CKeyValuesErrorStack::Report(const char* message) const { ReportAt(message, 0, 0); }

void CKeyValuesErrorStack::ReportAt(const char* message, int line, int column) const {
    PrintReport(message);
    if (m_pListener) m_pListener(message, m_pFilename, line, column, m_pListenerContext);
}

void CKeyValuesErrorStack::PrintReport(const char* message) const {
    // Unsigned arithmetic: the count wraps instead of overflowing.
    m_nReports = static_cast<int>((static_cast<unsigned int>(m_nReports) + 1u) & 0x7FFFFFFFu);
    // File names, include paths and key names come from the files themselves: escaped, so
    // that a line feed in one cannot forge a line of the report.
    CConsoleLine head(1);
    head.Append("KeyValues Error: ");
    head.AppendEscaped(message, SIZE_MAX);
    head.Append(" in file ");
    head.AppendEscaped(m_pFilename, SIZE_MAX);
    head.End();
    CConsoleLine keys(1);
    int levels = m_nMaxDepth < kMaxLevels ? m_nMaxDepth : kMaxLevels;
    for (int i = 0; i < levels; ++i) {
        if (m_ErrorIndex[i] == INVALID_KEY_SYMBOL) continue;
        const char* name = KeyValuesSystem()->GetStringForSymbol(m_ErrorIndex[i]);
        const bool open = i < m_nDepth;
        if (!open) keys.Append("(*");
        keys.AppendEscaped(name, SIZE_MAX);
        keys.Append(open ? ", " : "*), ");
    }
    keys.End();
}

// ---- The text reader -------------------------------------------------------------------

// Reads tokens straight from the bytes that `buf` holds from its get position, and hands
// the position back to the buffer when it is destroyed. White space, comments and quoted
// strings are scanned by the same code as the buffer's own EatWhiteSpace, EatCPPComment
// and GetDelimitedString (UtlTextScan.h), here over the whole text at once instead of
// through the buffer's checked cursor: `m_bEnded` is set exactly where the buffer's
// scanning would set ERROR_GET_OVERFLOW, and the buffer gets that bit back on hand-over.
//
// A token is handed on where it lies in the text whenever it needs no decoding (no
// escape, no 0 byte, not cut at 1023 characters): names are looked up from there, and a
// value is copied once, straight to the text its key keeps. Only other tokens go through
// the token buffer.
class KeyValues::TextReader {
public:
    explicit TextReader(CUtlBuffer& buf)
        : m_Buf(buf),
          m_pData(nullptr),
          m_nPos(0),
          m_nEnd(0),
          m_nStart(buf.TellGet()),
          m_bStartedValid(buf.IsValid()),
          m_bEnded(!m_bStartedValid),
          m_pConversions{GetNoEscCharConversion(), GetCStringCharConversion()},
          m_PlainRuns{UtlTextScan::PlainRun('"', static_cast<unsigned char>(m_pConversions[0]->GetEscapeChar())),
                      UtlTextScan::PlainRun('"', static_cast<unsigned char>(m_pConversions[1]->GetEscapeChar()))} {
        if (!m_bEnded) {
            int available = buf.GetBytesRemaining();
            buf.CheckArbitraryPeekGet(0, available);
            if (available > 0) m_pData = static_cast<const unsigned char*>(buf.PeekGet(available, 0));
            if (m_pData) m_nEnd = available;
        }

        // Bytes of decimal numbers: the C forms, and the locale's decimal point.
        memset(m_MaybeDecimal, 0, sizeof(m_MaybeDecimal));
        for (const char* c = "0123456789+-.eE"; *c; ++c) m_MaybeDecimal[static_cast<unsigned char>(*c)] = true;
        const lconv* locale = localeconv();
        if (locale && locale->decimal_point) {
            for (const char* c = locale->decimal_point; *c; ++c) m_MaybeDecimal[static_cast<unsigned char>(*c)] = true;
        }
    }

    ~TextReader() {
        if (!m_bStartedValid) return;  // nothing was read: the buffer stays as it was
        m_Buf.SeekGet(CUtlBuffer::SEEK_FROM_HEAD, m_nStart + m_nPos);
        if (m_bEnded) m_Buf.CheckGet(1);  // at the end of what it holds: sets the bit
    }

    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    // Reports `message` through the error stack with where reading stands: the line and
    // column (from 1) of the text's next unread byte, counted only when someone listens.
    void ReportHere(const char* message) const {
        int line = 0;
        int column = 0;
        if (g_KeyValuesErrorStack.HasListener()) {
            line = 1;
            column = 1;
            for (int i = 0; i < m_nPos && i < m_nEnd; ++i) {
                if (m_pData[i] == '\n') {
                    ++line;
                    column = 1;
                } else {
                    ++column;
                }
            }
        }
        g_KeyValuesErrorStack.ReportAt(message, line, column);
    }

    bool Valid() const { return !m_bEnded; }

    // The next token in the token buffer, or null at the end (see KeyValues::ReadToken).
    const char* ReadToken(bool useEscapes, bool& wasQuoted);
    // Reads one block body into `node` (see RecursiveLoadFromBuffer).
    void LoadBlock(KeyValues* node);
    // Reads every top-level item into `root` (see LoadFromBuffer).
    void LoadTopLevel(KeyValues* root, const char* resourceName, IBaseFileSystem* fileSystem, const char* pathID);

private:
    struct Frame {
        KeyValues* node;
        KeyValues* lastChild;
        int keyLevel;     // the error-stack level of the key being read in this block
        bool useEscapes;  // the node's escape setting, which its new keys take
    };

    // The open blocks, innermost last: the first kLocalFrames in place, deeper ones in
    // growable memory (real data rarely nests more than a few blocks).
    class FrameStack {
    public:
        int Count() const { return m_nCount; }
        Frame& Top() { return At(m_nCount - 1); }
        void Push(const Frame& frame) {
            if (m_nCount < kLocalFrames) {
                m_Local[m_nCount] = frame;
            } else {
                m_Deeper.AddToTail(frame);
            }
            ++m_nCount;
        }
        void Pop() {
            --m_nCount;
            if (m_nCount >= kLocalFrames) m_Deeper.Remove(m_nCount - kLocalFrames);
        }

    private:
        static const int kLocalFrames = 16;
        Frame& At(int i) { return i < kLocalFrames ? m_Local[i] : m_Deeper[i - kLocalFrames]; }
        Frame m_Local[kLocalFrames];
        CUtlVector<Frame> m_Deeper;
        int m_nCount = 0;
    };

    // The next token; false at the end of the text.
    bool NextToken(bool useEscapes, Token& token);
    // Reads a quoted string whose opening quote is at the cursor into the token buffer.
    void ReadQuotedToBuffer(bool useEscapes, Token& token);
    // Reads tokens up to the "}" that closes a block whose "{" was just read.
    void SkipBlock(bool useEscapes);
    // Gives `key` the type and value the typing rule assigns to `token`.
    void TypeValue(KeyValues* key, const Token& token);
    static KeyValues* NewKey(int symbol, bool useEscapes) { return new KeyValues(symbol, useEscapes); }

    // Whether a word ends before `c`: white space, a double quote, a brace or a 0 byte.
    static bool EndsWord(unsigned char c, const UtlTextScan::SpaceTable& isSpace) {
        return c == '"' || c == '{' || c == '}' || c == '\0' || isSpace(c);
    }

    CUtlBuffer& m_Buf;
    const unsigned char* m_pData;
    int m_nPos;
    int m_nEnd;
    int m_nStart;
    bool m_bStartedValid;
    bool m_bEnded;
    // The conversion for quoted strings and the scan of their plain runs, by escape
    // setting. Both conversions delimit with a single double quote.
    CUtlCharConversion* m_pConversions[2];
    UtlTextScan::PlainRun m_PlainRuns[2];
    // The locale's white space, looked up once per reader.
    UtlTextScan::SpaceTable m_IsSpace;
    // True for every byte that strtod can take inside a decimal number that starts with
    // a digit (digits, signs, exponent letters and decimal points); may be true for more.
    bool m_MaybeDecimal[256];
};

bool KeyValues::TextReader::NextToken(bool useEscapes, Token& token) {
    token.quoted = false;
    if (m_bEnded) return false;
    for (;;) {
        m_nPos = UtlTextScan::SkipWhiteSpace(m_pData, m_nPos, m_nEnd, m_IsSpace);
        if (m_nPos >= m_nEnd) {
            m_bEnded = true;
            return false;
        }
        if (!UtlTextScan::CommentStartsAt(m_pData, m_nPos, m_nEnd)) break;
        // A comment runs through its line feed; one without a line feed ends the text.
        int lineFeed = UtlTextScan::FindLineFeed(m_pData, m_nPos + 2, m_nEnd);
        if (lineFeed >= m_nEnd) {
            m_nPos = m_nEnd;
            m_bEnded = true;
            return false;
        }
        m_nPos = lineFeed + 1;
    }

    const unsigned char c = m_pData[m_nPos];
    if (c == '"') {
        // Both conversions delimit with a single double quote. A run of plain characters
        // that the closing quote ends is the token as it stands.
        token.quoted = true;
        const int start = m_nPos + 1;
        const int runEnd = m_PlainRuns[useEscapes].End(m_pData, start, m_nEnd);
        if (runEnd < m_nEnd && m_pData[runEnd] == '"' && runEnd - start <= kMaxTokenLength) {
            token.text = reinterpret_cast<const char*>(m_pData + start);
            token.length = runEnd - start;
            m_nPos = runEnd + 1;
            return true;
        }
        ReadQuotedToBuffer(useEscapes, token);
        return true;
    }
    if (c == '{' || c == '}') {
        token.text = reinterpret_cast<const char*>(m_pData + m_nPos);
        token.length = 1;
        ++m_nPos;
        return true;
    }
    const int start = m_nPos;
    while (m_nPos < m_nEnd && !EndsWord(m_pData[m_nPos], m_IsSpace)) ++m_nPos;
    int length = m_nPos - start;
    if (length > kMaxTokenLength) {
        ReportHere(kTokenOverflow);
        length = kMaxTokenLength;
    }
    token.text = reinterpret_cast<const char*>(m_pData + start);
    token.length = length;
    return true;
}

// Reads through the C-string conversion with escapes on, the no-escape conversion
// otherwise, keeping at most kMaxTokenLength characters.
void KeyValues::TextReader::ReadQuotedToBuffer(bool useEscapes, Token& token) {
    CUtlCharConversion* conv = m_pConversions[useEscapes];
    const unsigned char escape = static_cast<unsigned char>(conv->GetEscapeChar());
    int stored = 0;
    ++m_nPos;  // the opening quote
    for (;;) {
        const int runEnd = m_PlainRuns[useEscapes].End(m_pData, m_nPos, m_nEnd);
        int keep = runEnd - m_nPos;
        if (keep > kMaxTokenLength - stored) keep = kMaxTokenLength - stored;
        memcpy(s_pTokenBuffer + stored, m_pData + m_nPos, static_cast<size_t>(keep));
        stored += keep;
        m_nPos = runEnd;
        if (m_nPos >= m_nEnd) {
            m_bEnded = true;  // cut off by the end: keep what was read
            break;
        }
        const unsigned char c = m_pData[m_nPos++];
        if (c == '"') break;
        char decoded = 0;  // a 0 byte stands for itself
        if (c == escape) {
            int used = 0;
            decoded = UtlTextScan::DecodeEscape(conv, m_pData + m_nPos, m_nEnd - m_nPos, &used);
            m_nPos += used;
        }
        if (stored < kMaxTokenLength) s_pTokenBuffer[stored++] = decoded;
    }
    s_pTokenBuffer[stored] = '\0';
    token.text = s_pTokenBuffer;
    token.length = stored;
}

const char* KeyValues::TextReader::ReadToken(bool useEscapes, bool& wasQuoted) {
    Token token;
    if (!NextToken(useEscapes, token)) {
        wasQuoted = false;
        return nullptr;
    }
    wasQuoted = token.quoted;
    if (token.text != s_pTokenBuffer) {
        memcpy(s_pTokenBuffer, token.text, static_cast<size_t>(token.length));
        s_pTokenBuffer[token.length] = '\0';
    }
    return s_pTokenBuffer;
}

void KeyValues::TextReader::SkipBlock(bool useEscapes) {
    int open = 1;
    Token token;
    while (open > 0) {
        if (!NextToken(useEscapes, token) || IsEmptyToken(token)) return;  // the enclosing blocks report the end
        if (IsUnquoted(token, '{')) ++open;
        if (IsUnquoted(token, '}')) --open;
    }
}

// The typing rule: an empty value is an empty text; otherwise strtol (base 10) and
// strtod both parse the value, and it is TYPE_FLOAT when strtod got further and reached
// the end, else TYPE_INT when strtol reached the end, else TYPE_STRING. Fast paths settle
// the common cases without either parse; every text the key keeps is copied once, to its
// final place. An int whose text is what "%d" prints for it keeps no text: GetString
// makes the same text from the value when it is asked for.
void KeyValues::TextReader::TypeValue(KeyValues* key, const Token& token) {
    // The value as C string functions see it: up to its first 0 byte (only a token from
    // the token buffer can hold one).
    int length = token.length;
    if (token.text == s_pTokenBuffer) length = static_cast<int>(strlen(s_pTokenBuffer));
    const unsigned char first = length > 0 ? static_cast<unsigned char>(token.text[0]) : 0;

    auto copy = [&]() {
        char* text = KeyValuesText::AllocForLoad(static_cast<size_t>(length) + 1);
        memcpy(text, token.text, static_cast<size_t>(length));
        text[length] = '\0';
        return text;
    };
    // `key` was just made: it holds no text to free.

    if (length == 0 || !MayStartNumber(first)) {
        key->m_pszStringValue = copy();
        key->m_nDataType = static_cast<signed char>(TYPE_STRING);
        return;
    }
    int plain;
    bool canonical;
    if (ParsePlainDecimal(token.text, length, &plain, &canonical)) {
        key->m_Value.i = plain;
        key->m_nDataType = static_cast<signed char>(TYPE_INT);
        key->m_pszStringValue = canonical ? nullptr : copy();
        key->m_bHasSourceText = true;
        return;
    }
    // A value that starts with a digit, other than a hexadecimal "0x", is a decimal form
    // for both parsers: one byte that neither can take makes it a text without parsing.
    if (first >= '0' && first <= '9' &&
        !(first == '0' && length > 1 && (token.text[1] == 'x' || token.text[1] == 'X'))) {
        for (int i = 0; i < length; ++i) {
            if (!m_MaybeDecimal[static_cast<unsigned char>(token.text[i])]) {
                key->m_pszStringValue = copy();
                key->m_nDataType = static_cast<signed char>(TYPE_STRING);
                return;
            }
        }
    }
    char* text = copy();
    char* intEnd;
    const int integer = V_StrToInt32(text, &intEnd, 10);
    char* floatEnd;
    double real = strtod(text, &floatEnd);
    key->m_pszStringValue = text;
    if (floatEnd > intEnd && *floatEnd == '\0') {
        // Narrowed with the platform's IEEE rounding: beyond the float range is infinity.
        key->m_Value.f = static_cast<float>(real);
        key->m_nDataType = static_cast<signed char>(TYPE_FLOAT);
        key->m_bHasSourceText = true;
    } else if (*intEnd == '\0') {
        key->m_Value.i = integer;
        key->m_nDataType = static_cast<signed char>(TYPE_INT);
        key->m_bHasSourceText = true;
    } else {
        key->m_nDataType = static_cast<signed char>(TYPE_STRING);
    }
}

// Blocks are read with an explicit stack of frames, one per open block; each frame holds
// two error-stack levels (its key, and the key being read inside it) and remembers its
// last child, so appending never walks the child list.
void KeyValues::TextReader::LoadBlock(KeyValues* node) {
    KeyValuesText::LoadScope textScope;
    FrameStack frames;
    auto enter = [&frames](KeyValues* block) {
        KeyValues* last = block->m_pFirstSubKey;
        while (last && last->m_pNextKey) last = last->m_pNextKey;
        g_KeyValuesErrorStack.Push(block->m_iNameSymbol);
        int keyLevel = g_KeyValuesErrorStack.Push(INVALID_KEY_SYMBOL);
        frames.Push(Frame{block, last, keyLevel, block->m_bUsesEscapeSequences});
    };
    auto leave = [&frames]() {
        g_KeyValuesErrorStack.Pop();
        g_KeyValuesErrorStack.Pop();
        frames.Pop();
    };

    enter(node);
    Token name, value;
    while (frames.Count() > 0) {
        Frame& frame = frames.Top();
        const bool useEscapes = frame.useEscapes;
        if (!NextToken(useEscapes, name)) {
            ReportHere(kEofInsteadOfKeyName);
            leave();
            continue;
        }
        if (IsEmptyToken(name)) {
            ReportHere(kEmptyKeyName);
            leave();
            continue;
        }
        if (IsUnquoted(name, '}')) {
            leave();
            continue;
        }

        // The name that followed the previous key last time is tried first.
        const int context = frame.lastChild ? frame.lastChild->m_iNameSymbol : ~frame.node->m_iNameSymbol;
        KeyValues* key = NewKey(SymbolCache::Find(name.text, name.length, context, s_pTokenBuffer), useEscapes);
        if (frame.lastChild) {
            frame.lastChild->m_pNextKey = key;
        } else {
            frame.node->m_pFirstSubKey = key;
        }
        frame.lastChild = key;
        g_KeyValuesErrorStack.Reset(frame.keyLevel, key->m_iNameSymbol);

        if (!NextToken(useEscapes, value)) {
            ReportHere(kNullKey);
            leave();
            continue;
        }
        if (IsUnquoted(value, '}')) {
            ReportHere(kBraceInKey);
            leave();
            continue;
        }
        if (IsUnquoted(value, '{')) {
            g_KeyValuesErrorStack.Reset(frame.keyLevel, INVALID_KEY_SYMBOL);
            if (frames.Count() >= kMaxBlockNesting) {
                ReportHere(kNestedTooDeep);
                SkipBlock(useEscapes);
            } else {
                enter(key);  // `frame` is not used after this: the vector may move
            }
            continue;
        }
        TypeValue(key, value);
    }
}

void KeyValues::TextReader::LoadTopLevel(KeyValues* root, const char* resourceName, IBaseFileSystem* fileSystem,
                                         const char* pathID) {
    KeyValuesText::LoadScope textScope;
    CUtlVector<KeyValues*> includedKeys;
    g_KeyValuesErrorStack.ResetMaxDepth();
    g_KeyValuesErrorStack.SetFilename(resourceName);
    ActiveLoad active(resourceName);
    SymbolCache::Clear();

    const bool useEscapes = root->m_bUsesEscapeSequences;
    KeyValues* current = root;  // the node the first block names
    KeyValues* previous = nullptr;
    for (;;) {
        bool wasQuoted;
        const char* token = ReadToken(useEscapes, wasQuoted);
        if (!Valid() || !token || !*token) break;

        if (V_stricmp(token, "#include") == 0) {
            token = ReadToken(useEscapes, wasQuoted);
            if (!token || !*token) {
                ReportHere(kIncludeIsNull);
            } else {
                root->ParseIncludedKeys(resourceName, token, fileSystem, pathID, includedKeys);
            }
            continue;
        }

        KeyValues* key = current;
        if (key) {
            key->SetName(token);
            current = nullptr;
        } else {
            key = NewKey(KeyValuesSystem()->GetSymbolForString(token), useEscapes);
            key->m_pNextKey = previous->m_pNextKey;
            previous->m_pNextKey = key;
        }

        Token brace;
        if (NextToken(useEscapes, brace) && IsUnquoted(brace, '{')) {
            LoadBlock(key);
        } else {
            ReportHere(kMissingBrace);
        }
        previous = key;
        if (!Valid()) break;
    }

    root->AppendIncludedKeys(includedKeys);
    g_KeyValuesErrorStack.SetFilename("");
    g_KeyValuesErrorStack.ResetMaxDepth();
}

// ---- The reading members -----------------------------------------------------------------

const char* KeyValues::ReadToken(CUtlBuffer& buf, bool& wasQuoted) {
    TextReader reader(buf);
    return reader.ReadToken(m_bUsesEscapeSequences, wasQuoted);
}

void KeyValues::RecursiveLoadFromBuffer(const char*, CUtlBuffer& buf) {
    TextReader reader(buf);
    reader.LoadBlock(this);
}

bool KeyValues::LoadFromBuffer(const char* resourceName, CUtlBuffer& buf, IBaseFileSystem* fileSystem,
                               const char* pathID) {
    // A UTF-8 byte-order mark, which some editors write at the start of a file, is not
    // text: read as part of the first name, it would cost the file its root block.
    static const unsigned char kByteOrderMark[3] = {0xEF, 0xBB, 0xBF};
    const void* start = buf.TellGet() == 0 ? buf.PeekGet(3) : nullptr;
    if (start && memcmp(start, kByteOrderMark, 3) == 0) buf.SeekGet(CUtlBuffer::SEEK_FROM_CURRENT, 3);
    TextReader reader(buf);
    reader.LoadTopLevel(this, resourceName, fileSystem, pathID);
    return true;
}

bool KeyValues::LoadFromBuffer(const char* resourceName, const char* text, IBaseFileSystem* fileSystem,
                               const char* pathID) {
    if (!text) return true;
    size_t length = strlen(text);
    CUtlBuffer buf(text, length > INT_MAX ? INT_MAX : static_cast<int>(length),
                   CUtlBuffer::BUFFER_READ_ONLY | CUtlBuffer::BUFFER_TEXT);
    return LoadFromBuffer(resourceName, buf, fileSystem, pathID);
}

// The read-buffer operations belong to the full file-system interface, of which the
// IBaseFileSystem handed in is the base part (the contract in the header).
bool KeyValues::LoadFromFile(IBaseFileSystem* fileSystem, const char* resourceName, const char* pathID) {
    if (!fileSystem || !resourceName) return false;
    FileHandle_t file = fileSystem->Open(resourceName, "rb", pathID);
    if (!file) return false;
    IFileSystemApi* fullFileSystem = static_cast<IFileSystemApi*>(fileSystem);

    // The buffer holds the file and a terminator, rounded up to the preferred alignment;
    // every step is checked against the int range the read and the text buffer take.
    unsigned int fileSize = fileSystem->Size(file);
    unsigned int bufferSize = 0;
    bool sizeFits = fileSize < static_cast<unsigned int>(INT_MAX);
    if (sizeFits) {
        bufferSize = fileSize + 1;
        unsigned int alignment = 0;
        if (fullFileSystem->GetOptimalReadAlignment(file, &alignment) && alignment > 1) {
            if (alignment - 1 > static_cast<unsigned int>(INT_MAX) - bufferSize) {
                sizeFits = false;
            } else {
                bufferSize = (bufferSize + alignment - 1) / alignment * alignment;
            }
        }
    }

    char* buffer = nullptr;
    if (sizeFits) buffer = static_cast<char*>(fullFileSystem->AllocOptimalReadBuffer(file, bufferSize, 0));
    if (buffer) {
        int read = fullFileSystem->ReadEx(buffer, static_cast<int>(bufferSize), static_cast<int>(fileSize), file);
        if (read < 0) read = 0;
        if (static_cast<unsigned int>(read) > fileSize) read = static_cast<int>(fileSize);
        buffer[read] = '\0';  // after what was read: a short read leaves no stale bytes
    }
    fileSystem->Close(file);

    bool result = true;
    if (buffer) {
        CUtlBuffer text(buffer, static_cast<int>(strlen(buffer)),
                        CUtlBuffer::BUFFER_READ_ONLY | CUtlBuffer::BUFFER_TEXT);
        result = LoadFromBuffer(resourceName, text, fileSystem, nullptr);
        fullFileSystem->FreeOptimalReadBuffer(buffer);
    }
    return result;
}

void KeyValues::ParseIncludedKeys(const char* resourceName, const char* fileToInclude, IBaseFileSystem* fileSystem,
                                  const char* pathID, CUtlVector<KeyValues*>& includedKeys) {
    if (!fileSystem || !fileToInclude) return;

    char path[kIncludePathSize];
    V_strncpy(path, resourceName ? resourceName : "", sizeof(path));
    int length = static_cast<int>(strlen(path));
    while (length > 0 && path[length - 1] != '/' && path[length - 1] != '\\') --length;
    path[length] = '\0';
    V_strncat(path, fileToInclude, sizeof(path));

    if (!AdmitInclude(path)) return;

    KeyValues* root = new KeyValues(path);
    root->m_bUsesEscapeSequences = m_bUsesEscapeSequences;
    if (root->LoadFromFile(fileSystem, path, pathID)) {
        includedKeys.AddToTail(root);
    } else {
        // The path comes from the file: escaped, so that it cannot end the line or forge another.
        CConsoleLine line(1);
        line.Append("KeyValues::ParseIncludedKeys: Couldn't load included keyvalue file ");
        line.AppendEscaped(path, sizeof(path));
        line.End();
        root->deleteThis();
    }
}

void KeyValues::AppendIncludedKeys(CUtlVector<KeyValues*>& includedKeys) {
    KeyValues* last = this;
    while (last->m_pNextKey && last->m_pNextKey != this) last = last->m_pNextKey;
    for (int i = 0; i < includedKeys.Count(); ++i) {
        KeyValues* root = includedKeys[i];
        last->m_pNextKey = root;
        last = root;
        while (last->m_pNextKey) last = last->m_pNextKey;
    }
}
