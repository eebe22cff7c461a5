// CUtlBuffer: the system's byte and text stream. A block of memory (owned and growable,
// or borrowed from the caller) with an independent get cursor for reading and put cursor
// for writing, typed values in binary or text form, text scanning and formatted I/O, and
// delimited strings through the escape schemes of UtlCharConversion.h.
#pragma once

#include <assert.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "tier0/platform.h"
#include "tier1/UtlMemory.h"

class CUtlCharConversion;

// Positions, data and errors
// --------------------------
// Readable data is the range from position 0 up to the high-water mark (TellMaxPut()).
// The mark only moves forward: to the put position, whenever a write or a SeekPut takes
// the put position past it. Owned buffers and writable borrowed buffers keep a 0 byte
// just past the data whenever memory allows (it is not counted as data), so their
// contents can be used as a C string; read-only buffers are never written.
//
// Out-of-range positions: SeekGet and SeekPut accept any integer, and relative seeks
// saturate at the int limits instead of wrapping. A position may be negative or lie far
// beyond the data or the memory; nothing is ever read or written outside the block:
//   - a read or peek that needs a byte below position 0, at or past the mark, or outside
//     the memory fails, and a read (not a peek) sets ERROR_GET_OVERFLOW;
//   - a write that needs room below position 0, more room than 32 bits can count, or
//     more than the allocator will give fails and sets ERROR_PUT_OVERFLOW. Growth is
//     checked before it is asked for, so an impossible size never becomes fatal;
//   - a negative byte count passed to a read or a write fails the same way.
//
// Error bits are sticky. While ERROR_GET_OVERFLOW is set every read and peek is refused;
// a SeekGet recomputes it (clear when the get position is not past the mark). While
// ERROR_PUT_OVERFLOW is set every write is refused; only SetExternalBuffer, Clear, Purge
// or being the output of ConvertCRLF reset it. A read-only buffer refuses every write
// without setting an error bit. Text operations that need a valid buffer treat any set
// bit as "not valid".
//
// Pointers: Base() and the pointers PeekGet returns point into the memory; any write
// (which may move the memory), SetExternalBuffer, Clear, Purge or destruction invalidate
// them. Put's source and Get's destination must not point into this buffer. Borrowed
// memory is never freed by the buffer; it must outlive the buffer or its next
// SetExternalBuffer, or the write that moves a growable buffer onto owned memory.
class CUtlBuffer {
public:
    enum SeekType_t { SEEK_FROM_HEAD = 0, SEEK_FROM_CURRENT = 1, SEEK_FROM_TAIL = 2 };

    enum ErrorFlags_t {
        ERROR_PUT_OVERFLOW = 0x01,
        ERROR_GET_OVERFLOW = 0x02,
    };

    enum BufferFlags_t {
        BUFFER_TEXT = 0x01,               // values are written and read as text
        BUFFER_EXTERNAL_GROWABLE = 0x02,  // borrowed memory may be replaced by owned memory
        BUFFER_CONTAINS_CRLF = 0x04,      // the text uses "\r\n" line ends
        BUFFER_READ_ONLY = 0x08,          // no writes, no null termination
        BUFFER_NO_AUTO_TABS = 0x10,       // no tabs after line feeds in text mode
    };

    // A handler gets the byte count a read or write needs and answers whether the memory
    // now holds it; the buffer checks the memory again afterwards either way.
    typedef bool (CUtlBuffer::*UtlBufferOverflowFunc_t)(int size);

    // Owned memory: `initSize` bytes are allocated at once (fatally if that fails, as
    // for CUtlMemory) and zero-filled; growth follows `growSize` (0 doubles from 32
    // bytes, a positive value grows in multiples of it). The buffer starts empty; a
    // non-zero `initSize` on a writable buffer stores the terminator at position 0.
    explicit CUtlBuffer(int growSize = 0, int initSize = 0, int flags = 0);
    // Borrows `size` bytes at `data` (a null `data` or a negative size counts as 0
    // bytes). Read-only: all `size` bytes are readable at once and never written.
    // Writable: a 0 byte is stored at data[0] and the buffer starts empty.
    CUtlBuffer(const void* data, int size, int flags = 0);
    ~CUtlBuffer() = default;

    CUtlBuffer(const CUtlBuffer&) = delete;
    CUtlBuffer& operator=(const CUtlBuffer&) = delete;

    // Frees owned memory, then borrows `size` bytes at `memory`. The get position, tab
    // level and error bits become 0 and the put position `initialPut`, so the first
    // `initialPut` bytes are readable (a negative `initialPut` counts as 0); unless
    // read-only, a 0 byte is stored at `initialPut` when it lies in the block (or can be
    // had, for a growable buffer).
    void SetExternalBuffer(void* memory, int size, int initialPut, int flags = 0);
    // Empties the buffer (positions, mark and error bits 0), keeping its memory and
    // flags; a writable buffer then holds a 0 byte at position 0 when memory allows.
    void Clear();
    // Empties the buffer as Clear does and frees owned memory (borrowed memory stays
    // borrowed); no terminator is stored until the next write.
    void Purge();

    void SetBufferType(bool isText, bool containsCRLF);
    // Non-zero: binary writes of multi-byte numbers reverse their bytes. Reads never do.
    void SetLittleEndian(bool reverse) { m_Byteswap = reverse ? 1 : 0; }
    // A null handler answers false.
    void SetOverflowFuncs(UtlBufferOverflowFunc_t getFunc, UtlBufferOverflowFunc_t putFunc);

    // Makes memory hold `num` bytes plus one for the terminator (exactly `num` for
    // borrowed memory that may not grow). A growable borrowed block that is too small
    // is first moved onto owned memory. Returns whether the memory now holds the target;
    // a negative `num` counts as 0. Never shrinks.
    bool EnsureCapacity(int num);

    // ---- Cursors ----------------------------------------------------------------------
    // SeekGet never calls a handler; afterwards ERROR_GET_OVERFLOW is set exactly when
    // the get position is past the mark. SeekPut then runs AddNullTermination. An unknown
    // type leaves the position as it is. Tail seeks count back from the mark.
    void SeekGet(SeekType_t type, int offset);
    void SeekPut(SeekType_t type, int offset);
    int TellGet() const { return m_Get; }
    int TellPut() const { return m_Put; }
    int TellMaxPut() const { return m_nMaxPut; }
    // Bytes between the get position and the mark; 0 when none (or the get position is
    // negative).
    int GetBytesRemaining() const;

    void* Base() { return m_Memory.Base(); }
    const void* Base() const { return m_Memory.Base(); }
    // Bytes the memory holds (not the data length: see TellMaxPut).
    int Size() const { return m_Memory.NumAllocated(); }

    // ---- State ------------------------------------------------------------------------
    bool IsValid() const { return m_Error == 0; }
    unsigned char GetErrorBits() const { return m_Error; }
    int GetFlags() const { return m_Flags; }
    bool IsText() const { return (m_Flags & BUFFER_TEXT) != 0; }
    bool ContainsCRLF() const { return (m_Flags & BUFFER_CONTAINS_CRLF) != 0; }
    bool IsReadOnly() const { return (m_Flags & BUFFER_READ_ONLY) != 0; }
    bool IsExternallyAllocated() const { return m_Memory.IsExternallyAllocated(); }
    bool IsGrowable() const { return !IsExternallyAllocated() || (m_Flags & BUFFER_EXTERNAL_GROWABLE) != 0; }
    int GetTabLevel() const { return m_nTab; }
    // Automatic tabs: in text mode a character written right after a line feed is
    // preceded by this many tabs, unless BUFFER_NO_AUTO_TABS is set.
    void PushTab() { ++m_nTab; }
    // Never goes below 0.
    void PopTab() {
        if (m_nTab > 0) --m_nTab;
    }

    // ---- Bounds checks ----------------------------------------------------------------
    // True when `size` bytes can be read at the get position; on failure sets
    // ERROR_GET_OVERFLOW. Calls the get handler when the data is below the mark but
    // not in memory.
    bool CheckGet(int size);
    // True when `size` bytes can be read at get position + `offset`. Never sets an error
    // bit; false while ERROR_GET_OVERFLOW is set.
    bool CheckPeekGet(int offset, int size);
    // Cuts a wish to peek `increment` bytes at get position + `offset` down to what is
    // readable there (0 when nothing is, or while ERROR_GET_OVERFLOW is set); true when
    // at least one byte is. A negative wish becomes 0.
    bool CheckArbitraryPeekGet(int offset, int& increment);
    // True when `size` bytes can be written at the put position, growing the memory if
    // the put handler can. On failure sets ERROR_PUT_OVERFLOW (not for read-only).
    bool CheckPut(int size);

    // ---- Raw bytes --------------------------------------------------------------------
    // The byte at get position + `offset` when `size` bytes can be peeked there, else
    // null. The cursor does not move; see the class comment for how long it stays valid.
    const void* PeekGet(int size = 0, int offset = 0);
    // Copies `size` bytes and advances, or copies nothing and sets ERROR_GET_OVERFLOW.
    void Get(void* dest, int size);
    // Copies as many of `size` bytes as are readable, advances by that many and returns
    // the count (0 when nothing is left or the buffer has ERROR_GET_OVERFLOW).
    int GetUpTo(void* dest, int size);
    // Copies `size` bytes to the put position, advances and terminates; writes nothing
    // when `size` is 0 or when CheckPut fails.
    void Put(const void* src, int size);
    // Stores a 0 byte at the put position when the put position is past the mark, the
    // buffer is writable, has no ERROR_PUT_OVERFLOW and room can be had (a terminator
    // that does not fit is dropped without an error); then moves the mark to the put
    // position if it is past it.
    void AddNullTermination();

    // ---- Typed values -----------------------------------------------------------------
    // Binary mode: the value's bytes in host order (writes reversed when the byte-order
    // flag is set); a read that fails yields 0 and sets ERROR_GET_OVERFLOW.
    // Text mode: reads scan the value as Scanf does ("%c", "%u", "%d", "%f"; 64-bit values
    // as a decimal integer) and yield 0 when nothing could be scanned; numbers are
    // written as with Printf; characters are always written as their raw byte, preceded
    // by automatic tabs after a line feed.
    char GetChar();
    unsigned char GetUnsignedChar();
    int GetInt();
    unsigned int GetUnsignedInt();
    float GetFloat();
    int64_t GetInt64();
    void PutChar(char c);
    void PutUnsignedChar(unsigned char c);
    void PutInt(int value);
    void PutUnsignedInt(unsigned int value);
    void PutFloat(float value);
    void PutInt64(int64_t value);

    // ---- Text scanning (white space is isspace of the unsigned byte) -----------------
    // Offset of the first non-space byte at or after get position + `offset` (or of the
    // end of the data); 0 in binary mode or when the buffer is not valid.
    int PeekWhiteSpace(int offset);
    // Text mode, valid buffer: skips white space. Running into the end of the data sets
    // ERROR_GET_OVERFLOW, which readers take as the end-of-text signal.
    void EatWhiteSpace();
    // Text mode, valid buffer: when the next two bytes are "//", skips through the next
    // line feed and returns true (a comment running to the end leaves
    // ERROR_GET_OVERFLOW set); otherwise false without moving.
    bool EatCPPComment();

    // Room the next string needs including its terminator, without moving; 0 when the
    // buffer is not valid or nothing is left. Text mode skips leading white space and
    // ends the string before white space or a 0 byte; binary mode ends it at a 0 byte.
    int PeekStringLength();
    // Reads the next string into `dest`, always terminated. `maxChars` is the size of
    // `dest`; 0 means no limit (then `dest` needs PeekStringLength() bytes). A longer
    // string is cut to maxChars - 1 characters and the rest is skipped, so the cursor
    // ends where it would have without the limit. Binary mode also consumes the string's
    // 0 byte. No string left: `dest` is empty and ERROR_GET_OVERFLOW is set. An invalid
    // buffer gives an empty `dest`. A negative `maxChars` is a programmer error: nothing
    // is stored or read. In text mode a 0 byte ends a string without being consumed.
    void GetString(char* dest, int maxChars);
    // Room the next line needs: the bytes through the next line feed (only byte 10 ends
    // a line), or up to a 0 byte, or up to the end, plus one; 0 when the buffer is not
    // valid or nothing is left.
    int PeekLineLength();
    // As GetString, for a line: the line feed is part of the result. A 0 byte ends the
    // line without being consumed, so it is reached again by the next call.
    void GetLine(char* dest, int maxChars);

    // Searches forward for `token`, ignoring case, in the readable bytes (0 bytes are
    // searched through like any other). Found: the get position moves just past it and
    // the result is true. Not found (or an empty token, or ERROR_GET_OVERFLOW set):
    // false, nothing moves.
    bool GetToken(const char* token);
    // Parses `startDelim` (a null one counts as empty; white space in it matches any run
    // of white space, other characters match ignoring case), then the token up to the
    // next `endDelim` (found as GetToken does). On success `dest` holds the token with
    // surrounding white space removed, cut to maxLen - 1 characters, the cursor is just
    // past `endDelim` and the result is true. On failure `dest` is empty, the get
    // position and error bits are as before, and the result is false. `maxLen` must be
    // at least 1 (otherwise false and nothing is written).
    bool ParseToken(const char* startDelim, const char* endDelim, char* dest, int maxLen);

    // ---- Formatted input and output ---------------------------------------------------
    // Text mode, valid buffer only (else 0). Walks `format`: white space skips white
    // space, other characters must match the next byte, and the conversions %c %d %i %u
    // %x %f %s read into char*, int*, int*, unsigned int*, int*, float* and char*. %s
    // reads with GetString without limit: the target needs PeekStringLength() bytes.
    // Widths, length modifiers and any other conversion end the scan. Returns the number
    // of values stored; running out of data sets ERROR_GET_OVERFLOW.
    int Scanf(const char* format, ...);
    int VaScanf(const char* format, va_list args);
    // Text mode: writes `s` without its terminator (a null `s` writes nothing), with
    // automatic tabs after each line feed that more text follows. Binary mode: writes
    // `s` and its 0 byte (a null `s` writes a single 0 byte).
    void PutString(const char* s);
    // Formats into 2048 bytes of scratch (at most 2047 characters are kept) and writes
    // the result with PutString. The format must come from the program, not from data.
    void Printf(const char* format, ...) VL_FMT(2, 3);
    void VaPrintf(const char* format, va_list args);

    // Copies this buffer's text into `outBuf` with the other kind of line end ("\r\n"
    // from or to "\n"). Both must be text buffers that differ in BUFFER_CONTAINS_CRLF,
    // and `outBuf` must be writable; otherwise returns false and touches nothing.
    // `outBuf` is emptied (owned memory freed, error bits cleared) and receives the
    // converted data, subject to its automatic tabs; its get and put positions become
    // this buffer's, moved by one for each line end converted before them (inserted tabs
    // are not counted). Returns false when `outBuf` could not hold the whole text
    // (ERROR_PUT_OVERFLOW is then set on it).
    bool ConvertCRLF(CUtlBuffer& outBuf);

    // ---- Delimited strings ------------------------------------------------------------
    // In text mode with a non-null `conv`, strings are written between conv's delimiters
    // with conv's escapes; otherwise these fall back to PutChar, PutString, GetChar,
    // GetString and PeekStringLength.
    void PutDelimitedChar(CUtlCharConversion* conv, char c);
    // A null `s` writes an empty delimited string.
    void PutDelimitedString(CUtlCharConversion* conv, const char* s);
    // Reads one character, resolving an escape (0 for an unknown escape, whose text is
    // then read as ordinary characters).
    char GetDelimitedChar(CUtlCharConversion* conv);
    // Skips white space and, when an opening delimiter follows, reads the string into
    // `dest` (at most maxChars - 1 characters, always terminated; 0 means no limit, then
    // `dest` needs PeekDelimitedStringLength(conv, true) bytes). Characters beyond the
    // limit are dropped, so the cursor always ends past the closing delimiter. No
    // opening delimiter: `dest` is untouched. A string cut off by the end of the data
    // keeps what was read and leaves ERROR_GET_OVERFLOW set. An invalid buffer gives an
    // empty `dest`. A negative `maxChars` is a programmer error: nothing is stored or read.
    void GetDelimitedString(CUtlCharConversion* conv, char* dest, int maxChars);
    // Measures the delimited string ahead without moving: with `actualSize` the room its
    // decoded text needs with a terminator, otherwise the bytes it occupies plus one.
    // 0 when no opening delimiter follows the white space.
    int PeekDelimitedStringLength(CUtlCharConversion* conv, bool actualSize = true);
    // True when `length` bytes can be peeked at get position + `offset` and they equal
    // the first `length` characters of `s` (compared as V_strncmp does).
    bool PeekStringMatch(int offset, const char* s, int length);

protected:
    // The default handlers: a buffer never fetches more data; writes grow owned memory
    // (and move growable borrowed memory onto owned memory first) as far as 32 bits and
    // the allocator allow.
    bool GetOverflow(int size);
    bool PutOverflow(int size);
    bool OnGetOverflow(int size);
    bool OnPutOverflow(int size);

private:
    bool CheckGetSlow(int size);
    // The paths of Put, PutInt, ... that the inline fast paths leave to the out-of-line
    // code: growth, a terminator that needs room, borrowed or read-only memory, errors,
    // text mode and reversed byte order.
    void PutSlow(const void* src, int size);
    void PutIntSlow(int value);
    void PutUnsignedIntSlow(unsigned int value);
    void PutFloatSlow(float value);
    int GetIntText();
    unsigned int GetUnsignedIntText();
    float GetFloatText();
    bool CheckPutSlow(int size);
    // True when [pos, pos + size) lies in memory.
    bool InMemory(int64_t pos, int64_t size) const;
    // True when [pos, pos + size) is readable; asks the get handler when it is data but
    // not in memory. Sets no error bit.
    bool CheckRead(int64_t pos, int64_t size);
    // Grows owned memory to hold `need` bytes by the growth policy, or exactly `need`
    // when the allocator refuses the policy's size. False when neither can be had.
    bool GrowOwnedMemory(int64_t need);
    // Moves borrowed memory onto an owned copy; false when the copy cannot be allocated.
    bool MoveToOwnedMemory();
    unsigned char* MemoryAt(int pos) { return m_Memory.Base() + (pos - m_nOffset); }
    // One past the last position that is both below the mark and in memory (no smaller
    // than the window offset only when memory holds something).
    int InMemoryReadEnd() const;
    bool AutoTabsInForce() const;
    bool PutFollowsLineFeed() const;
    void PutTabs();
    // Writes `length` text bytes with automatic tabs after each line feed.
    void PutTextBytes(const char* text, int length);
    void PutTypedBinary(const void* value, int size);
    bool ScanNumber(char conversion, void* target);
    void PutEscapedChar(CUtlCharConversion* conv, char c);
    char GetDelimitedCharInternal(CUtlCharConversion* conv);
    // Decodes the escape whose text starts at get position + `offset`: false when no
    // byte of it can be peeked; otherwise *c is the character (0 when unknown) and
    // *length the bytes it used.
    bool FindConversionAt(CUtlCharConversion* conv, int offset, char* c, int* length);
    enum RunKind_t { RUN_TEXT_STRING, RUN_BINARY_STRING, RUN_LINE };
    // Room for the run of bytes that starts at get position + `offset`, with its
    // terminator; 0 when no byte is there. See PeekStringLength and PeekLineLength.
    int MeasureRun(int offset, RunKind_t kind);
    // The common start of GetString and GetLine: false (with `dest` emptied when it can
    // be) when nothing may be read into it.
    bool StartRunRead(char* dest, int maxChars);
    // Reads the `length`-byte run measured at the get position into `dest` as GetString
    // and GetLine describe (a `maxChars` of 0 means no limit); a `length` of 0 empties
    // `dest` and sets ERROR_GET_OVERFLOW.
    void GetRun(char* dest, int maxChars, int length);

    CUtlMemory<unsigned char> m_Memory;
    int m_Get = 0;
    int m_Put = 0;
    unsigned char m_Error = 0;
    unsigned char m_Flags = 0;
    unsigned char m_Byteswap = 0;
    [[maybe_unused]] unsigned char m_Unused = 0;  // fills the word StateBits reads
    int m_nTab = 0;
    int m_nMaxPut = 0;
    // Position 0 is always the first byte of the memory: no path moves the window, so
    // the offset is a constant the fast paths fold away.
    static constexpr int m_nOffset = 0;
    UtlBufferOverflowFunc_t m_GetOverflowFunc = &CUtlBuffer::GetOverflow;
    UtlBufferOverflowFunc_t m_PutOverflowFunc = &CUtlBuffer::PutOverflow;

    // The error bits, the flags and the byte-order switch as one little-endian word
    // (error bits in bits 0-7, flags in 8-15, byte order in 16-23), so that a fast path
    // tests everything that refuses it with one load.
    uint32_t StateBits() const {
        uint32_t bits;
        memcpy(&bits, &m_Error, sizeof(bits));
        return bits;
    }
    static constexpr uint32_t kGetRefused = ERROR_GET_OVERFLOW;
    static constexpr uint32_t kPutRefused = ERROR_PUT_OVERFLOW | (BUFFER_READ_ONLY << 8);
    static constexpr uint32_t kTextMode = BUFFER_TEXT << 8;
    static constexpr uint32_t kByteswap = 0xFFu << 16;
    // The binary read of a typed value: true when all `size` bytes were in place, read
    // and the cursor moved. Anything else (text mode, an error bit, a bound) is left to
    // the caller's general path, untouched.
    bool GetBinaryFast(void* dest, int size) {
        if (!(StateBits() & (kGetRefused | kTextMode)) && m_Get >= m_nOffset && size <= m_nMaxPut - m_Get &&
            size <= m_Memory.NumAllocated() - (m_Get - m_nOffset)) {
            memcpy(dest, m_Memory.Base() + (m_Get - m_nOffset), static_cast<size_t>(size));
            m_Get += size;
            return true;
        }
        return false;
    }
    friend struct CUtlBufferLayoutCheck;
};

// StateBits reads m_Error, m_Flags, m_Byteswap and m_Unused as one word.
struct CUtlBufferLayoutCheck {
    static_assert(offsetof(CUtlBuffer, m_Flags) == offsetof(CUtlBuffer, m_Error) + 1 &&
                      offsetof(CUtlBuffer, m_Byteswap) == offsetof(CUtlBuffer, m_Error) + 2 &&
                      offsetof(CUtlBuffer, m_Unused) == offsetof(CUtlBuffer, m_Error) + 3,
                  "the state bytes lie side by side");
};

// The fast paths. Bounds checks are a few int compares (the window offset is never
// negative, so no difference below can overflow) and the handlers run only when they
// fail. A write that leaves room for its terminator copies its bytes, and stores the
// terminator and moves the mark only when it passes the old mark; everything else goes
// the out-of-line way, which does the same with every bound and error bit.
inline bool CUtlBuffer::CheckGet(int size) {
    if (!(StateBits() & kGetRefused) && size >= 0 && m_Get >= m_nOffset && size <= m_nMaxPut - m_Get &&
        size <= m_Memory.NumAllocated() - (m_Get - m_nOffset))
        return true;
    return CheckGetSlow(size);
}

inline bool CUtlBuffer::CheckPut(int size) {
    if (!(StateBits() & kPutRefused) && size >= 0 && m_Put >= m_nOffset &&
        size <= m_Memory.NumAllocated() - (m_Put - m_nOffset))
        return true;
    return CheckPutSlow(size);
}

inline void CUtlBuffer::Get(void* dest, int size) {
    if (!CheckGet(size)) return;
    assert(dest || size == 0);
    if (size > 0) memcpy(dest, m_Memory.Base() + (m_Get - m_nOffset), static_cast<size_t>(size));
    m_Get += size;
}

inline void CUtlBuffer::Put(const void* src, int size) {
    if (!(StateBits() & kPutRefused) && size > 0 && m_Put >= m_nOffset &&
        size < m_Memory.NumAllocated() - (m_Put - m_nOffset)) {
        unsigned char* dest = m_Memory.Base() + (m_Put - m_nOffset);
        memcpy(dest, src, static_cast<size_t>(size));
        m_Put += size;
        if (m_Put > m_nMaxPut) {
            dest[size] = 0;  // the room was checked above
            m_nMaxPut = m_Put;
        }
        return;
    }
    PutSlow(src, size);
}

inline void CUtlBuffer::PutInt(int value) {
    if (!(StateBits() & (kTextMode | kByteswap))) {
        Put(&value, sizeof(value));
    } else {
        PutIntSlow(value);
    }
}

inline void CUtlBuffer::PutUnsignedInt(unsigned int value) {
    if (!(StateBits() & (kTextMode | kByteswap))) {
        Put(&value, sizeof(value));
    } else {
        PutUnsignedIntSlow(value);
    }
}

inline void CUtlBuffer::PutFloat(float value) {
    if (!(StateBits() & (kTextMode | kByteswap))) {
        Put(&value, sizeof(value));
    } else {
        PutFloatSlow(value);
    }
}

inline int CUtlBuffer::GetInt() {
    int value = 0;
    if (GetBinaryFast(&value, sizeof(value))) return value;
    if (m_Flags & BUFFER_TEXT) return GetIntText();
    Get(&value, sizeof(value));
    return value;
}

inline unsigned int CUtlBuffer::GetUnsignedInt() {
    unsigned int value = 0;
    if (GetBinaryFast(&value, sizeof(value))) return value;
    if (m_Flags & BUFFER_TEXT) return GetUnsignedIntText();
    Get(&value, sizeof(value));
    return value;
}

inline float CUtlBuffer::GetFloat() {
    float value = 0;
    if (GetBinaryFast(&value, sizeof(value))) return value;
    if (m_Flags & BUFFER_TEXT) return GetFloatText();
    Get(&value, sizeof(value));
    return value;
}
