// CUtlBuffer: memory and cursors, bounds checks and growth, typed values, text scanning,
// formatted input and output, line-end conversion and delimited strings.
#include "tier1/UtlBuffer.h"

#include <assert.h>
#include <ctype.h>
#include <float.h>
#include <limits.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "tier0/memalloc.h"
#include "tier1/StrTools.h"
#include "tier1/UtlCharConversion.h"
#include "tier1/UtlTextScan.h"

namespace {

// Text is examined this many bytes at a time.
const int kPeekChunk = 128;
// Printf formats into this much scratch.
const int kPrintfScratch = 2048;
// The first block of a doubling byte buffer, as CUtlMemory<unsigned char> chooses it.

using UtlTextScan::IsSpace;

int Saturate(int64_t value) {
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

}  // namespace

// ---- Construction -------------------------------------------------------------------

CUtlBuffer::CUtlBuffer(int growSize, int initSize, int flags)
    : m_Memory(growSize, initSize), m_Flags(static_cast<unsigned char>(flags)) {
    // Owned bytes are zero from the start, so no seek ever exposes stale heap contents.
    if (m_Memory.NumAllocated() > 0) memset(m_Memory.Base(), 0, static_cast<size_t>(m_Memory.NumAllocated()));
    if (initSize != 0 && !IsReadOnly()) {
        m_nMaxPut = -1;
        AddNullTermination();
    }
}

CUtlBuffer::CUtlBuffer(const void* data, int size, int flags)
    : m_Memory(static_cast<unsigned char*>(const_cast<void*>(data)), data ? size : 0),
      m_Flags(static_cast<unsigned char>(flags)) {
    if (IsReadOnly()) {
        m_nMaxPut = m_Memory.NumAllocated();
    } else {
        m_nMaxPut = -1;
        AddNullTermination();
    }
}

void CUtlBuffer::SetExternalBuffer(void* memory, int size, int initialPut, int flags) {
    m_Memory.SetExternalBuffer(static_cast<unsigned char*>(memory), memory ? size : 0);
    m_Get = 0;
    m_Put = initialPut < 0 ? 0 : initialPut;
    m_nTab = 0;
    m_Error = 0;
    m_Flags = static_cast<unsigned char>(flags);
    m_nMaxPut = -1;
    AddNullTermination();
}

void CUtlBuffer::Clear() {
    m_Get = 0;
    m_Put = 0;
    m_Error = 0;
    m_nMaxPut = -1;
    AddNullTermination();
}

void CUtlBuffer::Purge() {
    m_Memory.Purge();
    m_Get = 0;
    m_Put = 0;
    m_Error = 0;
    m_nMaxPut = 0;
}

void CUtlBuffer::SetBufferType(bool isText, bool containsCRLF) {
    m_Flags &= static_cast<unsigned char>(~(BUFFER_TEXT | BUFFER_CONTAINS_CRLF));
    if (isText) m_Flags |= BUFFER_TEXT;
    if (containsCRLF) m_Flags |= BUFFER_CONTAINS_CRLF;
}

void CUtlBuffer::SetOverflowFuncs(UtlBufferOverflowFunc_t getFunc, UtlBufferOverflowFunc_t putFunc) {
    m_GetOverflowFunc = getFunc;
    m_PutOverflowFunc = putFunc;
}

// ---- Memory -------------------------------------------------------------------------

bool CUtlBuffer::InMemory(int64_t pos, int64_t size) const {
    return size >= 0 && pos >= m_nOffset && pos - m_nOffset + size <= m_Memory.NumAllocated();
}

bool CUtlBuffer::MoveToOwnedMemory() { return m_Memory.TryConvertToGrowableMemory(0); }

bool CUtlBuffer::GrowOwnedMemory(int64_t need) {
    int have = m_Memory.NumAllocated();
    if (need <= have) return true;
    if (need > INT_MAX || IsExternallyAllocated()) return false;
    // The memory's own growth policy, failing softly: the error bit, not a fatal report.
    if (!m_Memory.TryGrow(static_cast<int>(need - have))) return false;
    memset(m_Memory.Base() + have, 0, static_cast<size_t>(m_Memory.NumAllocated() - have));
    return true;
}

bool CUtlBuffer::EnsureCapacity(int num) {
    if (num < 0) num = 0;
    int64_t target = static_cast<int64_t>(num) + 1;
    if (IsExternallyAllocated()) {
        if ((m_Flags & BUFFER_EXTERNAL_GROWABLE) && m_Memory.NumAllocated() < target) {
            if (!MoveToOwnedMemory()) return false;
        } else {
            target = num;
        }
    }
    if (m_Memory.NumAllocated() >= target) return true;
    if (IsExternallyAllocated() || target > INT_MAX) return false;
    int have = m_Memory.NumAllocated();
    if (!m_Memory.TryEnsureCapacity(static_cast<int>(target))) return false;
    memset(m_Memory.Base() + have, 0, static_cast<size_t>(target - have));
    return true;
}

// ---- Cursors ------------------------------------------------------------------------

void CUtlBuffer::SeekGet(SeekType_t type, int offset) {
    switch (type) {
        case SEEK_FROM_HEAD: m_Get = offset; break;
        case SEEK_FROM_CURRENT: m_Get = Saturate(static_cast<int64_t>(m_Get) + offset); break;
        case SEEK_FROM_TAIL: m_Get = Saturate(static_cast<int64_t>(m_nMaxPut) - offset); break;
        default: break;
    }
    if (m_Get > m_nMaxPut) {
        m_Error |= ERROR_GET_OVERFLOW;
    } else {
        m_Error &= static_cast<unsigned char>(~ERROR_GET_OVERFLOW);
    }
}

void CUtlBuffer::SeekPut(SeekType_t type, int offset) {
    switch (type) {
        case SEEK_FROM_HEAD: m_Put = offset; break;
        case SEEK_FROM_CURRENT: m_Put = Saturate(static_cast<int64_t>(m_Put) + offset); break;
        case SEEK_FROM_TAIL: m_Put = Saturate(static_cast<int64_t>(m_nMaxPut) - offset); break;
        default: break;
    }
    AddNullTermination();
}

int CUtlBuffer::GetBytesRemaining() const {
    if (m_Get < 0 || m_Get >= m_nMaxPut) return 0;
    return m_nMaxPut - m_Get;
}

// ---- Bounds checks and overflow handlers ----------------------------------------------

bool CUtlBuffer::OnGetOverflow(int size) { return m_GetOverflowFunc && (this->*m_GetOverflowFunc)(size); }

bool CUtlBuffer::OnPutOverflow(int size) { return m_PutOverflowFunc && (this->*m_PutOverflowFunc)(size); }

bool CUtlBuffer::GetOverflow(int) { return false; }

bool CUtlBuffer::PutOverflow(int size) {
    if (size < 0 || m_Put < m_nOffset) return false;
    int64_t need = static_cast<int64_t>(m_Put) - m_nOffset + size;
    if (need > INT_MAX) return false;
    if (IsExternallyAllocated()) {
        if (!(m_Flags & BUFFER_EXTERNAL_GROWABLE) || !MoveToOwnedMemory()) return false;
    }
    return GrowOwnedMemory(need);
}

bool CUtlBuffer::CheckRead(int64_t pos, int64_t size) {
    if (size < 0 || pos + size > m_nMaxPut) return false;
    if (InMemory(pos, size)) return true;
    // The handler is told how many bytes are wanted from the get position.
    int64_t wanted = pos - m_Get + size;
    if (wanted < 0 || wanted > INT_MAX || !OnGetOverflow(static_cast<int>(wanted))) return false;
    // A handler may answer true without delivering: check again.
    return pos + size <= m_nMaxPut && InMemory(pos, size);
}

bool CUtlBuffer::CheckGetSlow(int size) {
    if (m_Error & ERROR_GET_OVERFLOW) return false;
    if (!CheckRead(m_Get, size)) {
        m_Error |= ERROR_GET_OVERFLOW;
        return false;
    }
    return true;
}

bool CUtlBuffer::CheckPeekGet(int offset, int size) {
    if (m_Error & ERROR_GET_OVERFLOW) return false;
    return CheckRead(static_cast<int64_t>(m_Get) + offset, size);
}

bool CUtlBuffer::CheckArbitraryPeekGet(int offset, int& increment) {
    int64_t start = static_cast<int64_t>(m_Get) + offset;
    if ((m_Error & ERROR_GET_OVERFLOW) || increment < 0 || start >= m_nMaxPut) {
        increment = 0;
        return false;
    }
    if (start + increment > m_nMaxPut) increment = static_cast<int>(m_nMaxPut - start);
    CheckPeekGet(offset, increment);  // only to let the handler bring the bytes in
    int64_t left = static_cast<int64_t>(m_nMaxPut) - m_Get;
    if (left < increment) increment = left > 0 ? static_cast<int>(left) : 0;
    // Never more than the memory holds at that place.
    if (start < m_nOffset) {
        increment = 0;
    } else {
        int64_t held = m_Memory.NumAllocated() - (start - m_nOffset);
        if (held < increment) increment = held > 0 ? static_cast<int>(held) : 0;
    }
    return increment != 0;
}

bool CUtlBuffer::CheckPutSlow(int size) {
    if ((m_Error & ERROR_PUT_OVERFLOW) || IsReadOnly()) return false;
    if (size < 0) {
        m_Error |= ERROR_PUT_OVERFLOW;
        return false;
    }
    if (!InMemory(m_Put, size)) {
        // A handler may answer true without making room, or change the buffer: check again.
        if (!OnPutOverflow(size) || !InMemory(m_Put, size) || IsReadOnly()) {
            m_Error |= ERROR_PUT_OVERFLOW;
            return false;
        }
    }
    return true;
}

void CUtlBuffer::AddNullTermination() {
    if (m_Put <= m_nMaxPut) return;
    if (!IsReadOnly() && !(m_Error & ERROR_PUT_OVERFLOW)) {
        if (CheckPut(1)) {
            *MemoryAt(m_Put) = 0;
        } else {
            // A terminator that does not fit is not an error.
            m_Error &= static_cast<unsigned char>(~ERROR_PUT_OVERFLOW);
        }
    }
    m_nMaxPut = m_Put;
}

// ---- Raw bytes ----------------------------------------------------------------------

const void* CUtlBuffer::PeekGet(int size, int offset) {
    if (!CheckPeekGet(offset, size) || !m_Memory.Base()) return nullptr;
    return MemoryAt(static_cast<int>(static_cast<int64_t>(m_Get) + offset));
}

int CUtlBuffer::GetUpTo(void* dest, int size) {
    int count = size;
    if (!CheckArbitraryPeekGet(0, count)) return 0;
    assert(dest);
    memcpy(dest, MemoryAt(m_Get), static_cast<size_t>(count));
    m_Get += count;
    return count;
}

void CUtlBuffer::PutSlow(const void* src, int size) {
    if (size == 0 || !CheckPut(size)) return;
    assert(src);
    memcpy(MemoryAt(m_Put), src, static_cast<size_t>(size));
    m_Put += size;
    AddNullTermination();
}

// ---- Typed values -------------------------------------------------------------------

char CUtlBuffer::GetChar() {
    // In text mode this is Scanf("%c"): nothing at all on an invalid buffer, otherwise
    // the next byte without skipping white space.
    char c = 0;
    if (IsText() && !IsValid()) return 0;
    Get(&c, 1);
    return c;
}

unsigned char CUtlBuffer::GetUnsignedChar() {
    if (IsText()) {
        unsigned int value = 0;
        Scanf("%u", &value);
        return static_cast<unsigned char>(value);
    }
    unsigned char c = 0;
    Get(&c, 1);
    return c;
}

namespace {

// A typed value: scanned with `textFormat` in text mode, its raw bytes in binary mode.
// The value stays 0 when nothing could be read.
template <typename T>
T GetNumber(CUtlBuffer& buf, const char* textFormat) {
    T value = 0;
    if (buf.IsText()) {
        buf.Scanf(textFormat, &value);
    } else {
        buf.Get(&value, sizeof(value));
    }
    return value;
}

}  // namespace

int CUtlBuffer::GetIntText() { return GetNumber<int>(*this, "%d"); }

unsigned int CUtlBuffer::GetUnsignedIntText() { return GetNumber<unsigned int>(*this, "%u"); }

float CUtlBuffer::GetFloatText() { return GetNumber<float>(*this, "%f"); }

int64_t CUtlBuffer::GetInt64() {
    int64_t value = 0;
    if (!IsText()) {
        Get(&value, sizeof(value));
    } else if (IsValid()) {
        // Scanf has no 64-bit conversion; this is its "%d" with a 64-bit target.
        if (m_Get >= m_nMaxPut) {
            m_Error |= ERROR_GET_OVERFLOW;
        } else {
            ScanNumber('l', &value);
        }
    }
    return value;
}

bool CUtlBuffer::AutoTabsInForce() const { return IsText() && !(m_Flags & BUFFER_NO_AUTO_TABS) && m_nTab > 0; }

bool CUtlBuffer::PutFollowsLineFeed() const {
    int64_t before = static_cast<int64_t>(m_Put) - 1;
    return InMemory(before, 1) && m_Memory[static_cast<int>(before - m_nOffset)] == '\n';
}

void CUtlBuffer::PutTabs() {
    for (int i = 0; i < m_nTab && CheckPut(1); ++i) {
        char tab = '\t';
        Put(&tab, 1);
    }
}

void CUtlBuffer::PutChar(char c) {
    if (AutoTabsInForce() && PutFollowsLineFeed()) PutTabs();
    Put(&c, 1);
}

void CUtlBuffer::PutTypedBinary(const void* value, int size) {
    unsigned char bytes[8];
    assert(size <= static_cast<int>(sizeof(bytes)));
    memcpy(bytes, value, static_cast<size_t>(size));
    if (m_Byteswap) {
        for (int i = 0; i < size / 2; ++i) {
            unsigned char t = bytes[i];
            bytes[i] = bytes[size - 1 - i];
            bytes[size - 1 - i] = t;
        }
    }
    Put(bytes, size);
}

void CUtlBuffer::PutUnsignedChar(unsigned char c) {
    if (IsText()) {
        Printf("%u", static_cast<unsigned int>(c));
    } else {
        Put(&c, 1);
    }
}

void CUtlBuffer::PutIntSlow(int value) {
    if (IsText()) {
        Printf("%d", value);
    } else {
        PutTypedBinary(&value, sizeof(value));
    }
}

void CUtlBuffer::PutUnsignedIntSlow(unsigned int value) {
    if (IsText()) {
        Printf("%u", value);
    } else {
        PutTypedBinary(&value, sizeof(value));
    }
}

void CUtlBuffer::PutFloatSlow(float value) {
    if (IsText()) {
        Printf("%f", static_cast<double>(value));
    } else {
        PutTypedBinary(&value, sizeof(value));
    }
}

void CUtlBuffer::PutInt64(int64_t value) {
    if (IsText()) {
        Printf("%lld", static_cast<long long>(value));
    } else {
        PutTypedBinary(&value, sizeof(value));
    }
}

// ---- Text scanning ------------------------------------------------------------------

int CUtlBuffer::PeekWhiteSpace(int offset) {
    if (!IsText() || !IsValid()) return 0;
    for (;;) {
        // The answer is an offset from the get position, so the scan stops at INT_MAX:
        // a get position seeked below zero can put data that far along.
        int count = kPeekChunk;
        if (offset >= 0 && count > INT_MAX - offset) count = INT_MAX - offset;
        if (!CheckArbitraryPeekGet(offset, count)) return offset;
        const unsigned char* bytes = MemoryAt(m_Get + offset);
        int i = UtlTextScan::SkipWhiteSpace(bytes, 0, count);
        if (i < count) return offset + i;
        offset += count;
    }
}

int CUtlBuffer::InMemoryReadEnd() const {
    if (!m_Memory.Base()) return m_nOffset;
    int64_t memoryEnd = static_cast<int64_t>(m_nOffset) + m_Memory.NumAllocated();
    return memoryEnd < m_nMaxPut ? static_cast<int>(memoryEnd) : m_nMaxPut;
}

// The scans below take the bytes in memory a span at a time through the shared scanner;
// where a span runs out, one byte goes the checked way (which asks the get handler, or
// sets ERROR_GET_OVERFLOW at the end of the data), and scanning goes on from there.
void CUtlBuffer::EatWhiteSpace() {
    if (!IsText() || !IsValid()) return;
    for (;;) {
        int end = InMemoryReadEnd();
        if (m_Get >= m_nOffset && m_Get < end) {
            m_Get = m_nOffset + UtlTextScan::SkipWhiteSpace(m_Memory.Base(), m_Get - m_nOffset, end - m_nOffset);
            if (m_Get < end) return;  // on a byte that is not white space
        }
        if (!CheckGet(1) || !IsSpace(*MemoryAt(m_Get))) return;
        ++m_Get;
    }
}

bool CUtlBuffer::EatCPPComment() {
    if (!IsText() || !IsValid()) return false;
    const char* start = static_cast<const char*>(PeekGet(2, 0));
    if (!start || start[0] != '/' || start[1] != '/') return false;
    m_Get += 2;
    // Through the line feed; the end of the data sets ERROR_GET_OVERFLOW.
    for (;;) {
        int end = InMemoryReadEnd();
        if (m_Get >= m_nOffset && m_Get < end) {
            int lineFeed = UtlTextScan::FindLineFeed(m_Memory.Base(), m_Get - m_nOffset, end - m_nOffset);
            if (lineFeed < end - m_nOffset) {
                m_Get = m_nOffset + lineFeed + 1;
                return true;
            }
            m_Get = end;
        }
        if (!CheckGet(1)) return true;
        if (*MemoryAt(m_Get++) == '\n') return true;
    }
}

int CUtlBuffer::MeasureRun(int offset, RunKind_t kind) {
    int start = offset;
    for (;;) {
        int count = kPeekChunk;
        if (!CheckArbitraryPeekGet(offset, count)) break;
        const unsigned char* bytes = MemoryAt(m_Get + offset);
        for (int i = 0; i < count; ++i) {
            unsigned char c = bytes[i];
            bool ends = c == 0 || (kind == RUN_TEXT_STRING && IsSpace(c));
            if (kind == RUN_LINE && c == '\n') return Saturate(static_cast<int64_t>(offset) + i - start + 2);
            if (ends) return Saturate(static_cast<int64_t>(offset) + i - start + 1);
        }
        if (offset > INT_MAX - count) break;
        offset += count;
    }
    return offset == start ? 0 : Saturate(static_cast<int64_t>(offset) - start + 1);
}

int CUtlBuffer::PeekStringLength() {
    if (!IsValid()) return 0;
    if (IsText()) return MeasureRun(PeekWhiteSpace(0), RUN_TEXT_STRING);
    return MeasureRun(0, RUN_BINARY_STRING);
}

int CUtlBuffer::PeekLineLength() {
    if (!IsValid()) return 0;
    return MeasureRun(0, RUN_LINE);
}

bool CUtlBuffer::StartRunRead(char* dest, int maxChars) {
    assert(dest && maxChars >= 0);
    if (!dest || maxChars < 0) return false;
    if (IsValid()) return true;
    dest[0] = 0;
    return false;
}

void CUtlBuffer::GetRun(char* dest, int maxChars, int length) {
    if (maxChars == 0) maxChars = INT_MAX;
    if (length == 0) {
        dest[0] = 0;
        m_Error |= ERROR_GET_OVERFLOW;
        return;
    }
    int keep = length <= maxChars ? length - 1 : maxChars - 1;
    if (!CheckGet(length - 1)) {
        dest[0] = 0;
        return;
    }
    if (keep > 0) memcpy(dest, MemoryAt(m_Get), static_cast<size_t>(keep));
    dest[keep] = 0;
    // The whole run is skipped, so a limit never changes where the cursor ends.
    m_Get += length - 1;
}

void CUtlBuffer::GetString(char* dest, int maxChars) {
    if (!StartRunRead(dest, maxChars)) return;
    int length = PeekStringLength();
    if (IsText()) EatWhiteSpace();
    GetRun(dest, maxChars, length);
    if (length == 0) return;
    if (!IsText()) {
        char terminator;
        Get(&terminator, 1);
    }
}

void CUtlBuffer::GetLine(char* dest, int maxChars) {
    if (!StartRunRead(dest, maxChars)) return;
    GetRun(dest, maxChars, PeekLineLength());
}

bool CUtlBuffer::GetToken(const char* token) {
    if (!token || !*token) return false;
    size_t tokenLength = strlen(token);
    int available = INT_MAX;
    if (!CheckArbitraryPeekGet(0, available) || tokenLength > static_cast<size_t>(available)) return false;
    int length = static_cast<int>(tokenLength);
    const unsigned char* bytes = MemoryAt(m_Get);
    const unsigned char* pattern = reinterpret_cast<const unsigned char*>(token);
    for (int at = 0; at <= available - length; ++at) {
        int i = 0;
        while (i < length && tolower(bytes[at + i]) == tolower(pattern[i])) ++i;
        if (i == length) {
            m_Get += at + length;
            return true;
        }
    }
    return false;
}

bool CUtlBuffer::ParseToken(const char* startDelim, const char* endDelim, char* dest, int maxLen) {
    assert(dest && maxLen >= 1);
    if (!dest || maxLen < 1) return false;
    dest[0] = 0;
    if (m_Error & ERROR_GET_OVERFLOW) return false;

    const int startGet = m_Get;
    const unsigned char startError = m_Error;
    auto fail = [&]() {
        m_Get = startGet;
        m_Error = startError;
        dest[0] = 0;
        return false;
    };

    EatWhiteSpace();
    for (const char* d = startDelim ? startDelim : ""; *d; ++d) {
        unsigned char want = static_cast<unsigned char>(*d);
        if (IsSpace(want)) {
            EatWhiteSpace();
            continue;
        }
        if (!CheckGet(1) || tolower(*MemoryAt(m_Get)) != tolower(want)) return fail();
        ++m_Get;
    }
    EatWhiteSpace();
    const int tokenStart = m_Get;
    if (!endDelim || !GetToken(endDelim)) return fail();
    const int afterEnd = m_Get;

    // GetToken found the delimiter after tokenStart, so the count fits and is >= 0.
    int length = afterEnd - static_cast<int>(strlen(endDelim)) - tokenStart;
    if (length > maxLen - 1) length = maxLen - 1;
    m_Get = tokenStart;
    Get(dest, length);
    if (m_Error & ERROR_GET_OVERFLOW) return fail();
    while (length > 0 && IsSpace(static_cast<unsigned char>(dest[length - 1]))) --length;
    dest[length] = 0;
    m_Get = afterEnd;
    return true;
}

// ---- Formatted input and output -----------------------------------------------------

bool CUtlBuffer::ScanNumber(char conversion, void* target) {
    auto store = [&](int64_t integer, double real) {
        switch (conversion) {
            case 'u': *static_cast<unsigned int*>(target) = static_cast<unsigned int>(integer); break;
            case 'f': *static_cast<float*>(target) = static_cast<float>(real); break;
            case 'l': *static_cast<int64_t*>(target) = integer; break;
            default: *static_cast<int*>(target) = static_cast<int>(integer); break;
        }
    };
    if (!CheckPeekGet(0, 1)) {
        store(0, 0);
        return false;
    }

    // The C library parses a terminated string, and the data need not be terminated:
    // copy the run that could be a number (it ends at white space, a 0 byte or the end).
    int skip = PeekWhiteSpace(0);
    int room = MeasureRun(skip, RUN_TEXT_STRING);
    if (room <= 1) return false;
    char local[64];
    char* text = local;
    if (room > static_cast<int>(sizeof(local))) {
        text = static_cast<char*>(g_pMemAlloc->Alloc(static_cast<size_t>(room)));
        if (!text) return false;
    }
    memcpy(text, MemoryAt(m_Get + skip), static_cast<size_t>(room - 1));
    text[room - 1] = 0;

    char* end = text;
    int64_t integer = 0;
    double real = 0;
    switch (conversion) {
        case 'u': integer = V_StrToUint32(text, &end, 10); break;
        case 'x': integer = V_StrToInt32(text, &end, 16); break;
        case 'f': {
            real = strtod(text, &end);
            // Narrowing an out-of-range double is undefined: give the float's infinity.
            if (real > FLT_MAX) real = HUGE_VAL;
            if (real < -FLT_MAX) real = -HUGE_VAL;
            break;
        }
        case 'l': integer = strtoll(text, &end, 10); break;
        default: integer = V_StrToInt32(text, &end, 10); break;
    }
    int consumed = static_cast<int>(end - text);
    if (text != local) g_pMemAlloc->Free(text);
    if (consumed == 0) return false;
    store(integer, real);
    m_Get += skip + consumed;
    return true;
}

int CUtlBuffer::Scanf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    int count = VaScanf(format, args);
    va_end(args);
    return count;
}

int CUtlBuffer::VaScanf(const char* format, va_list args) {
    if (!format || !IsText() || !IsValid()) return 0;
    int count = 0;
    for (const char* f = format; *f;) {
        if (m_Get >= m_nMaxPut) {
            m_Error |= ERROR_GET_OVERFLOW;
            return count;
        }
        unsigned char fc = static_cast<unsigned char>(*f);
        if (IsSpace(fc)) {
            EatWhiteSpace();
            ++f;
            continue;
        }
        if (fc != '%') {
            if (!CheckGet(1) || *MemoryAt(m_Get) != fc) return count;
            ++m_Get;
            ++f;
            continue;
        }
        char conversion = f[1];
        switch (conversion) {
            case 'c': {
                char* target = va_arg(args, char*);
                if (!CheckGet(1)) {
                    *target = 0;
                    return count;
                }
                *target = static_cast<char>(*MemoryAt(m_Get++));
                break;
            }
            case 'd':
            case 'i':
            case 'x':
                if (!ScanNumber(conversion, va_arg(args, int*))) return count;
                break;
            case 'u':
                if (!ScanNumber(conversion, va_arg(args, unsigned int*))) return count;
                break;
            case 'f':
                if (!ScanNumber(conversion, va_arg(args, float*))) return count;
                break;
            case 's':
                GetString(va_arg(args, char*), 0);
                if (!IsValid()) return count;
                break;
            default: return count;
        }
        ++count;
        f += 2;
    }
    return count;
}

void CUtlBuffer::PutTextBytes(const char* text, int length) {
    if (!AutoTabsInForce()) {
        Put(text, length);
        return;
    }
    if (PutFollowsLineFeed()) PutTabs();
    const char* end = text + length;
    while (text < end) {
        const char* lineFeed = static_cast<const char*>(memchr(text, '\n', static_cast<size_t>(end - text)));
        if (!lineFeed) {
            Put(text, static_cast<int>(end - text));
            return;
        }
        Put(text, static_cast<int>(lineFeed - text + 1));
        text = lineFeed + 1;
        if (text < end) PutTabs();
    }
}

void CUtlBuffer::PutString(const char* s) {
    if (IsText()) {
        if (!s) return;
        size_t length = strlen(s);
        if (length > INT_MAX) {
            m_Error |= ERROR_PUT_OVERFLOW;
            return;
        }
        PutTextBytes(s, static_cast<int>(length));
        return;
    }
    if (!s) {
        char terminator = 0;
        Put(&terminator, 1);
        return;
    }
    size_t length = strlen(s);
    if (length >= INT_MAX) {
        m_Error |= ERROR_PUT_OVERFLOW;
        return;
    }
    Put(s, static_cast<int>(length) + 1);
}

void CUtlBuffer::Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    VaPrintf(format, args);
    va_end(args);
}

void CUtlBuffer::VaPrintf(const char* format, va_list args) {
    char scratch[kPrintfScratch];
    V_vsnprintf(scratch, sizeof(scratch), format, args);
    PutString(scratch);
}

bool CUtlBuffer::ConvertCRLF(CUtlBuffer& outBuf) {
    if (!IsText() || !outBuf.IsText() || outBuf.IsReadOnly() || ContainsCRLF() == outBuf.ContainsCRLF()) return false;

    // The data this buffer actually holds: from position 0 up to the mark, as far as
    // memory goes (the window offset is always 0).
    int end = m_nMaxPut < m_Memory.NumAllocated() ? m_nMaxPut : m_Memory.NumAllocated();
    if (end < 0) end = 0;

    outBuf.Purge();
    outBuf.EnsureCapacity(end);

    const char* data = end > 0 ? reinterpret_cast<const char*>(MemoryAt(0)) : "";
    const bool fromCRLF = ContainsCRLF();
    int64_t getShift = 0;
    int64_t putShift = 0;
    int pos = 0;
    while (pos < end) {
        int lineEnd = pos;
        if (fromCRLF) {
            while (lineEnd + 1 < end && !(data[lineEnd] == '\r' && data[lineEnd + 1] == '\n')) ++lineEnd;
            if (lineEnd + 1 >= end) break;
        } else {
            while (lineEnd < end && data[lineEnd] != '\n') ++lineEnd;
            if (lineEnd >= end) break;
        }
        outBuf.PutTextBytes(data + pos, lineEnd - pos);
        if (fromCRLF) {
            outBuf.PutChar('\n');
            // Positions at or past the pair's line feed lose its carriage return.
            if (m_Get >= lineEnd + 1) --getShift;
            if (m_Put >= lineEnd + 1) --putShift;
            pos = lineEnd + 2;
        } else {
            outBuf.PutChar('\r');
            outBuf.PutChar('\n');
            // Positions past the line feed gain a carriage return.
            if (m_Get >= lineEnd + 1) ++getShift;
            if (m_Put >= lineEnd + 1) ++putShift;
            pos = lineEnd + 1;
        }
    }
    if (pos < end) outBuf.PutTextBytes(data + pos, end - pos);

    outBuf.SeekGet(SEEK_FROM_HEAD, Saturate(m_Get + getShift));
    outBuf.SeekPut(SEEK_FROM_HEAD, Saturate(m_Put + putShift));
    return !(outBuf.m_Error & ERROR_PUT_OVERFLOW);
}

// ---- Delimited strings --------------------------------------------------------------

bool CUtlBuffer::PeekStringMatch(int offset, const char* s, int length) {
    if (!s || !CheckPeekGet(offset, length)) return false;
    if (length == 0) return true;
    const char* here = reinterpret_cast<const char*>(MemoryAt(static_cast<int>(static_cast<int64_t>(m_Get) + offset)));
    return V_strncmp(here, s, length) == 0;
}

void CUtlBuffer::PutEscapedChar(CUtlCharConversion* conv, char c) {
    int length = conv->GetConversionLength(c);
    if (length == 0) {
        PutChar(c);
        return;
    }
    PutChar(conv->GetEscapeChar());
    Put(conv->GetConversionString(c), length);
}

void CUtlBuffer::PutDelimitedChar(CUtlCharConversion* conv, char c) {
    if (!IsText() || !conv) {
        PutChar(c);
        return;
    }
    PutEscapedChar(conv, c);
}

void CUtlBuffer::PutDelimitedString(CUtlCharConversion* conv, const char* s) {
    if (!IsText() || !conv) {
        PutString(s);
        return;
    }
    if (AutoTabsInForce() && PutFollowsLineFeed()) PutTabs();
    Put(conv->GetDelimiter(), conv->GetDelimiterLength());
    for (const char* p = s ? s : ""; *p; ++p) PutEscapedChar(conv, *p);
    if (AutoTabsInForce() && PutFollowsLineFeed()) PutTabs();
    Put(conv->GetDelimiter(), conv->GetDelimiterLength());
}

bool CUtlBuffer::FindConversionAt(CUtlCharConversion* conv, int offset, char* c, int* length) {
    *c = 0;
    *length = 0;
    int count = conv->MaxConversionLength();
    if (!CheckArbitraryPeekGet(offset, count)) return false;
    *c = UtlTextScan::DecodeEscape(conv, MemoryAt(m_Get + offset), count, length);
    return true;
}

char CUtlBuffer::GetDelimitedCharInternal(CUtlCharConversion* conv) {
    char c = GetChar();
    if (c != conv->GetEscapeChar()) return c;
    int length = 0;
    FindConversionAt(conv, 0, &c, &length);
    m_Get += length;
    return c;
}

char CUtlBuffer::GetDelimitedChar(CUtlCharConversion* conv) {
    if (!IsText() || !conv) return GetChar();
    return GetDelimitedCharInternal(conv);
}

void CUtlBuffer::GetDelimitedString(CUtlCharConversion* conv, char* dest, int maxChars) {
    if (!IsText() || !conv) {
        GetString(dest, maxChars);
        return;
    }
    assert(dest && maxChars >= 0);
    if (!dest || maxChars < 0) return;
    if (!IsValid()) {
        dest[0] = 0;
        return;
    }
    if (maxChars == 0) maxChars = INT_MAX;

    const char* delimiter = conv->GetDelimiter();
    const int delimiterLength = conv->GetDelimiterLength();
    EatWhiteSpace();
    if (!PeekStringMatch(0, delimiter, delimiterLength)) return;
    m_Get += delimiterLength;

    const UtlTextScan::PlainRun plainRun(static_cast<unsigned char>(delimiter[0]),
                                         static_cast<unsigned char>(conv->GetEscapeChar()));
    int stored = 0;
    while (IsValid()) {
        // The plain run ahead, as far as memory holds it: every byte stands for itself.
        int end = InMemoryReadEnd();
        if (delimiterLength > 0 && m_Get >= m_nOffset && m_Get < end) {
            int at = m_Get - m_nOffset;
            int runEnd = plainRun.End(m_Memory.Base(), at, end - m_nOffset);
            int run = runEnd - at;
            if (run > 0) {
                int keep = run < maxChars - stored ? run : maxChars - stored;
                memcpy(dest + stored, m_Memory.Base() + at, static_cast<size_t>(keep));
                stored += keep;
                m_Get += run;
                continue;
            }
        }
        // A delimiter, an escape, a 0 byte, or the end of what memory holds: one
        // character the checked way.
        if (PeekStringMatch(0, delimiter, delimiterLength)) {
            m_Get += delimiterLength;
            break;
        }
        // The end of the data ends the string without a character for the failed read,
        // so the room PeekDelimitedStringLength measures always suffices.
        if (!CheckGet(1)) break;
        char c = GetDelimitedCharInternal(conv);
        if (stored < maxChars) dest[stored++] = c;
    }
    dest[stored < maxChars ? stored : maxChars - 1] = 0;
}

int CUtlBuffer::PeekDelimitedStringLength(CUtlCharConversion* conv, bool actualSize) {
    if (!IsText() || !conv) return PeekStringLength();

    const char* delimiter = conv->GetDelimiter();
    const int delimiterLength = conv->GetDelimiterLength();
    int offset = PeekWhiteSpace(0);
    if (!PeekStringMatch(offset, delimiter, delimiterLength)) return 0;

    const int start = offset;
    offset += delimiterLength;
    int count = 1;
    for (;;) {
        if (PeekStringMatch(offset, delimiter, delimiterLength) || !CheckPeekGet(offset, 1)) break;
        ++count;
        char c = static_cast<char>(*MemoryAt(m_Get + offset));
        ++offset;
        if (c == conv->GetEscapeChar()) {
            char decoded;
            int length;
            if (!FindConversionAt(conv, offset, &decoded, &length)) break;
            offset += length;
        }
    }
    if (actualSize) return count;
    return Saturate(static_cast<int64_t>(offset) - start + delimiterLength + 1);
}
