// The key-value text reader: tokens, value typing, blocks, top-level items, includes and
// whole-file loads, with the error reports and their key context. Reading works on the
// bytes of the buffer directly and keeps its own nesting stack, so it is linear in the
// size of the text and no depth of nesting reaches the call stack.
#include <ctype.h>
#include <emmintrin.h>
#include <limits.h>
#include <locale.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "tier0/dbg.h"
#include "tier1/IBaseFileSystem.h"
#include "tier1/KeyValues.h"
#include "tier1/StrTools.h"
#include "tier1/UtlBuffer.h"
#include "tier1/UtlCharConversion.h"
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
class SymbolCache {
public:
    static void Clear() { memset(s_Slots, 0, sizeof(s_Slots)); }

    // `length` is the number of bytes the tokenizer stored for `name`. It may count bytes
    // after an embedded 0 byte, which the key-value system does not see: the cache then
    // keys on more than the system does, which can cost a miss but never a wrong answer.
    static int Find(const char* name, int length) {
        if (length > kMaxCachedLength) return KeyValuesSystem()->GetSymbolForString(name);
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
        Slot& slot = s_Slots[(hash ^ (hash >> 15)) & (kSlots - 1)];
        if (slot.length == length + 1 && memcmp(slot.text, name, static_cast<size_t>(length)) == 0) return slot.symbol;
        int symbol = KeyValuesSystem()->GetSymbolForString(name);
        slot.length = length + 1;
        slot.symbol = symbol;
        memcpy(slot.text, name, static_cast<size_t>(length));
        return symbol;
    }

private:
    static const int kSlots = 128;
    static const int kMaxCachedLength = 24;
    struct Slot {
        int length;  // the name's length + 1; 0 for an empty slot
        int symbol;
        char text[kMaxCachedLength];
    };
    static Slot s_Slots[kSlots];
};

SymbolCache::Slot SymbolCache::s_Slots[SymbolCache::kSlots];

const char kEofInsteadOfKeyName[] = "RecursiveLoadFromBuffer:  got EOF instead of keyname";
const char kEmptyKeyName[] = "RecursiveLoadFromBuffer:  got empty keyname";
const char kNullKey[] = "RecursiveLoadFromBuffer:  got NULL key";
const char kBraceInKey[] = "RecursiveLoadFromBuffer:  got } in key";
const char kNestedTooDeep[] = "RecursiveLoadFromBuffer:  block nested too deep";
const char kMissingBrace[] = "LoadFromBuffer: missing {";
const char kIncludeIsNull[] = "#include is NULL ";
const char kTokenOverflow[] = " ReadToken overflow";

bool IsUnquoted(const char* token, bool wasQuoted, char brace) {
    return !wasQuoted && token[0] == brace && token[1] == '\0';
}

// Whether `c` can start text that strtol or strtod converts. Letters other than those
// of "inf" and "nan", and the underscore, never can in any locale (a decimal point is
// never a letter), so values starting with them are plain texts without parsing.
bool MayStartNumber(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
        return c == 'i' || c == 'I' || c == 'n' || c == 'N';
    }
    return c != '_';
}

// The fast form of the typing rule for [+-]?[0-9]+ up to the end: strtol and strtod
// both stop at the end there, so the key is TYPE_INT with strtol's value, which
// saturates at the range of a 32-bit long.
bool ParsePlainDecimal(const char* text, int* value) {
    const char* p = text;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (*p == '\0') return false;
    const uint32_t limit = negative ? 2147483648u : 2147483647u;
    uint32_t magnitude = 0;
    bool saturated = false;
    for (; *p; ++p) {
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
    return true;
}

// Gives `key` the type and value the typing rule assigns to `text`; numbers keep `text`
// as their source text. `maybeDecimal[c]` is true for every byte that strtod can take
// inside a decimal number that starts with a digit (digits, signs, exponent letters and
// decimal points); it may be true for more.
void TypeValue(KeyValues* key, const char* text, const bool* maybeDecimal) {
    const unsigned char first = static_cast<unsigned char>(text[0]);
    if (first == '\0' || !MayStartNumber(first)) {
        key->SetStringValue(text);
        return;
    }
    int plain;
    if (ParsePlainDecimal(text, &plain)) {
        key->SetParsedInt(plain, text);
        return;
    }
    // A value that starts with a digit, other than a hexadecimal "0x", is a decimal form
    // for both parsers: one byte that neither can take makes it a text without parsing.
    if (first >= '0' && first <= '9' && !(first == '0' && (text[1] == 'x' || text[1] == 'X'))) {
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
            if (!maybeDecimal[*p]) {
                key->SetStringValue(text);
                return;
            }
        }
    }
    char* intEnd;
    long integer = strtol(text, &intEnd, 10);
    char* floatEnd;
    double real = strtod(text, &floatEnd);
    if (floatEnd > intEnd && *floatEnd == '\0') {
        // Narrowed with the platform's IEEE rounding: beyond the float range is infinity.
        key->SetParsedFloat(static_cast<float>(real), text);
    } else if (*intEnd == '\0') {
        key->SetParsedInt(static_cast<int>(integer), text);
    } else {
        key->SetStringValue(text);
    }
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

void CKeyValuesErrorStack::Report(const char* message) const {
    DevMsg(1, "KeyValues Error: %s in file %s\n", message, m_pFilename);
    int levels = m_nMaxDepth < kMaxLevels ? m_nMaxDepth : kMaxLevels;
    for (int i = 0; i < levels; ++i) {
        if (m_ErrorIndex[i] == INVALID_KEY_SYMBOL) continue;
        const char* name = KeyValuesSystem()->GetStringForSymbol(m_ErrorIndex[i]);
        if (i < m_nDepth) {
            DevMsg(1, "%s, ", name);
        } else {
            DevMsg(1, "(*%s*), ", name);
        }
    }
    DevMsg(1, "\n");
}

// ---- The text reader -------------------------------------------------------------------

// Reads tokens straight from the bytes that `buf` holds from its get position, and hands
// the position back to the buffer when it is destroyed. It behaves as reading through the
// buffer's own scanning would (EatWhiteSpace, EatCPPComment, GetDelimitedString with the
// node's conversion, byte peeks for words): `m_bEnded` is set exactly where that would set
// ERROR_GET_OVERFLOW, and the buffer gets that bit back on hand-over.
class KeyValues::TextReader {
public:
    explicit TextReader(CUtlBuffer& buf)
        : m_Buf(buf),
          m_pData(nullptr),
          m_nPos(0),
          m_nEnd(0),
          m_nStart(buf.TellGet()),
          m_nTokenLength(0),
          m_bStartedValid(buf.IsValid()),
          m_bEnded(!m_bStartedValid) {
        if (!m_bEnded) {
            int available = buf.GetBytesRemaining();
            buf.CheckArbitraryPeekGet(0, available);
            if (available > 0) m_pData = static_cast<const unsigned char*>(buf.PeekGet(available, 0));
            if (m_pData) m_nEnd = available;
        }
        for (int c = 0; c < 256; ++c) m_Class[c] = isspace(c) ? (kSpace | kEndsWord) : 0;
        m_Class[0] |= kEndsWord;
        m_Class[static_cast<unsigned char>('"')] |= kEndsWord;
        m_Class[static_cast<unsigned char>('{')] |= kEndsWord;
        m_Class[static_cast<unsigned char>('}')] |= kEndsWord;

        m_pConversions[0] = GetNoEscCharConversion();
        m_pConversions[1] = GetCStringCharConversion();
        m_QuoteBytes = _mm_set1_epi8('"');
        m_EscapeBytes[0] = _mm_set1_epi8(m_pConversions[0]->GetEscapeChar());
        m_EscapeBytes[1] = _mm_set1_epi8(m_pConversions[1]->GetEscapeChar());

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

    bool Valid() const { return !m_bEnded; }

    const char* ReadToken(bool useEscapes, bool& wasQuoted);
    // Reads one block body into `node` (see RecursiveLoadFromBuffer).
    void LoadBlock(KeyValues* node);
    // Reads every top-level item into `root` (see LoadFromBuffer).
    void LoadTopLevel(KeyValues* root, const char* resourceName, IBaseFileSystem* fileSystem, const char* pathID);

private:
    enum : unsigned char { kSpace = 1, kEndsWord = 2 };

    struct Frame {
        KeyValues* node;
        KeyValues* lastChild;
        int keyLevel;     // the error-stack level of the key being read in this block
        bool useEscapes;  // the node's escape setting, which its new keys take
    };

    const char* ReadQuoted(bool useEscapes);
    const char* ReadWord();
    // Reads tokens up to the "}" that closes a block whose "{" was just read.
    void SkipBlock(bool useEscapes);
    static KeyValues* NewKey(int symbol, bool useEscapes);

    CUtlBuffer& m_Buf;
    const unsigned char* m_pData;
    int m_nPos;
    int m_nEnd;
    int m_nStart;
    // Bytes stored for the last token (more than its strlen when it holds a 0 byte).
    int m_nTokenLength;
    bool m_bStartedValid;
    bool m_bEnded;
    unsigned char m_Class[256];
    bool m_MaybeDecimal[256];
    // The conversion for quoted strings, indexed by the escape setting.
    CUtlCharConversion* m_pConversions[2];
    // Sixteen copies of '"' and of the escape character of each conversion, made once:
    // the scan of a quoted string compares sixteen bytes at a time against them.
    __m128i m_QuoteBytes;
    __m128i m_EscapeBytes[2];
};

const char* KeyValues::TextReader::ReadToken(bool useEscapes, bool& wasQuoted) {
    wasQuoted = false;
    if (m_bEnded) return nullptr;
    for (;;) {
        while (m_nPos < m_nEnd && (m_Class[m_pData[m_nPos]] & kSpace)) ++m_nPos;
        if (m_nPos >= m_nEnd) {
            m_bEnded = true;
            return nullptr;
        }
        if (m_pData[m_nPos] != '/' || m_nPos + 1 >= m_nEnd || m_pData[m_nPos + 1] != '/') break;
        // A comment runs through its line feed; one without a line feed ends the text.
        const void* lineFeed = memchr(m_pData + m_nPos + 2, '\n', static_cast<size_t>(m_nEnd - m_nPos - 2));
        if (!lineFeed) {
            m_nPos = m_nEnd;
            m_bEnded = true;
            return nullptr;
        }
        m_nPos = static_cast<int>(static_cast<const unsigned char*>(lineFeed) - m_pData) + 1;
    }

    unsigned char c = m_pData[m_nPos];
    if (c == '"') {
        wasQuoted = true;
        return ReadQuoted(useEscapes);
    }
    if (c == '{' || c == '}') {
        ++m_nPos;
        s_pTokenBuffer[0] = static_cast<char>(c);
        s_pTokenBuffer[1] = '\0';
        m_nTokenLength = 1;
        return s_pTokenBuffer;
    }
    return ReadWord();
}

// Reads through the C-string conversion with escapes on, the no-escape conversion
// otherwise. Both delimit with a double quote; the no-escape one turns its escape
// character (127) into a 0 character without reading further.
const char* KeyValues::TextReader::ReadQuoted(bool useEscapes) {
    CUtlCharConversion* conv = m_pConversions[useEscapes];
    const unsigned char escape = static_cast<unsigned char>(conv->GetEscapeChar());
    const int longestEscape = conv->MaxConversionLength();
    int stored = 0;
    ++m_nPos;  // the opening quote
    for (;;) {
        // The run of plain characters up to the closing quote or an escape character,
        // sixteen bytes at a time while that many are left.
        int runStart = m_nPos;
        const __m128i quotes = m_QuoteBytes;
        const __m128i escapes = m_EscapeBytes[useEscapes];
        int found = -1;
        while (found < 0 && m_nEnd - m_nPos >= 16) {
            __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m_pData + m_nPos));
            int hits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, quotes), _mm_cmpeq_epi8(chunk, escapes)));
            if (hits) {
                found = m_nPos + __builtin_ctz(static_cast<unsigned int>(hits));
            } else {
                m_nPos += 16;
            }
        }
        if (found >= 0) {
            m_nPos = found;
        } else {
            while (m_nPos < m_nEnd && m_pData[m_nPos] != '"' && m_pData[m_nPos] != escape) ++m_nPos;
        }
        int keep = m_nPos - runStart;
        if (keep > kMaxTokenLength - stored) keep = kMaxTokenLength - stored;
        memcpy(s_pTokenBuffer + stored, m_pData + runStart, static_cast<size_t>(keep));
        stored += keep;
        if (m_nPos >= m_nEnd) {
            m_bEnded = true;  // cut off by the end: keep what was read
            break;
        }
        if (m_pData[m_nPos] == '"') {
            ++m_nPos;
            break;
        }
        // An escape: the conversion decodes what follows (0 for an unknown escape, whose
        // text is then read as ordinary characters).
        ++m_nPos;
        char decoded = 0;
        int count = m_nEnd - m_nPos < longestEscape ? m_nEnd - m_nPos : longestEscape;
        if (count > 0) {
            char text[16];
            if (count > static_cast<int>(sizeof(text)) - 1) count = static_cast<int>(sizeof(text)) - 1;
            memcpy(text, m_pData + m_nPos, static_cast<size_t>(count));
            text[count] = '\0';
            int used = 0;
            decoded = conv->FindConversion(text, &used);
            m_nPos += used < 0 ? 0 : (used > count ? count : used);
        }
        if (stored < kMaxTokenLength) s_pTokenBuffer[stored++] = decoded;
    }
    s_pTokenBuffer[stored] = '\0';
    m_nTokenLength = stored;
    return s_pTokenBuffer;
}

const char* KeyValues::TextReader::ReadWord() {
    int start = m_nPos;
    while (m_nPos < m_nEnd && !(m_Class[m_pData[m_nPos]] & kEndsWord)) ++m_nPos;
    int length = m_nPos - start;
    if (length > kMaxTokenLength) {
        g_KeyValuesErrorStack.Report(kTokenOverflow);
        length = kMaxTokenLength;
    }
    memcpy(s_pTokenBuffer, m_pData + start, static_cast<size_t>(length));
    s_pTokenBuffer[length] = '\0';
    m_nTokenLength = length;
    return s_pTokenBuffer;
}

KeyValues* KeyValues::TextReader::NewKey(int symbol, bool useEscapes) {
    KeyValues* key = new KeyValues(nullptr);
    key->m_iNameSymbol = symbol;
    key->m_bUsesEscapeSequences = useEscapes;
    return key;
}

void KeyValues::TextReader::SkipBlock(bool useEscapes) {
    int open = 1;
    bool wasQuoted;
    while (open > 0) {
        const char* token = ReadToken(useEscapes, wasQuoted);
        if (!token || !*token) return;  // the enclosing blocks report the end
        if (IsUnquoted(token, wasQuoted, '{')) ++open;
        if (IsUnquoted(token, wasQuoted, '}')) --open;
    }
}

// Blocks are read with an explicit stack of frames, one per open block; each frame holds
// two error-stack levels (its key, and the key being read inside it) and remembers its
// last child, so appending never walks the child list.
void KeyValues::TextReader::LoadBlock(KeyValues* node) {
    CUtlVector<Frame> frames;
    auto enter = [&frames](KeyValues* block) {
        KeyValues* last = block->m_pFirstSubKey;
        while (last && last->m_pNextKey) last = last->m_pNextKey;
        g_KeyValuesErrorStack.Push(block->m_iNameSymbol);
        int keyLevel = g_KeyValuesErrorStack.Push(INVALID_KEY_SYMBOL);
        frames.AddToTail(Frame{block, last, keyLevel, block->m_bUsesEscapeSequences});
    };
    auto leave = [&frames]() {
        g_KeyValuesErrorStack.Pop();
        g_KeyValuesErrorStack.Pop();
        frames.Remove(frames.Count() - 1);
    };

    enter(node);
    while (frames.Count() > 0) {
        Frame& frame = frames[frames.Count() - 1];
        const bool useEscapes = frame.useEscapes;
        bool wasQuoted;
        const char* name = ReadToken(useEscapes, wasQuoted);
        if (!name) {
            g_KeyValuesErrorStack.Report(kEofInsteadOfKeyName);
            leave();
            continue;
        }
        if (!*name) {
            g_KeyValuesErrorStack.Report(kEmptyKeyName);
            leave();
            continue;
        }
        if (IsUnquoted(name, wasQuoted, '}')) {
            leave();
            continue;
        }

        KeyValues* key = NewKey(SymbolCache::Find(name, m_nTokenLength), useEscapes);
        if (frame.lastChild) {
            frame.lastChild->m_pNextKey = key;
        } else {
            frame.node->m_pFirstSubKey = key;
        }
        frame.lastChild = key;
        g_KeyValuesErrorStack.Reset(frame.keyLevel, key->m_iNameSymbol);

        const char* value = ReadToken(useEscapes, wasQuoted);
        if (!value) {
            g_KeyValuesErrorStack.Report(kNullKey);
            leave();
            continue;
        }
        if (IsUnquoted(value, wasQuoted, '}')) {
            g_KeyValuesErrorStack.Report(kBraceInKey);
            leave();
            continue;
        }
        if (IsUnquoted(value, wasQuoted, '{')) {
            g_KeyValuesErrorStack.Reset(frame.keyLevel, INVALID_KEY_SYMBOL);
            if (frames.Count() >= kMaxBlockNesting) {
                g_KeyValuesErrorStack.Report(kNestedTooDeep);
                SkipBlock(useEscapes);
            } else {
                enter(key);  // `frame` is not used after this: the vector may move
            }
            continue;
        }
        TypeValue(key, value, m_MaybeDecimal);
    }
}

void KeyValues::TextReader::LoadTopLevel(KeyValues* root, const char* resourceName, IBaseFileSystem* fileSystem,
                                         const char* pathID) {
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
                g_KeyValuesErrorStack.Report(kIncludeIsNull);
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
            key = NewKey(SymbolCache::Find(token, m_nTokenLength), useEscapes);
            key->m_pNextKey = previous->m_pNextKey;
            previous->m_pNextKey = key;
        }

        token = ReadToken(useEscapes, wasQuoted);
        if (token && IsUnquoted(token, wasQuoted, '{')) {
            LoadBlock(key);
        } else {
            g_KeyValuesErrorStack.Report(kMissingBrace);
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
        DevMsg("KeyValues::ParseIncludedKeys: Couldn't load included keyvalue file %s\n", path);
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
