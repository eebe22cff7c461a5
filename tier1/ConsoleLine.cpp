// Building and printing console lines with untrusted text escaped.
#include "tier1/ConsoleLine.h"

#include <string.h>

#include "tier0/dbg.h"

namespace {

// "\xNN" for every byte, so that an escape is one four-byte copy.
struct EscapeTable {
    char text[256][4];
};
constexpr EscapeTable MakeEscapeTable() {
    EscapeTable table{};
    const char hex[] = "0123456789ABCDEF";
    for (int c = 0; c < 256; ++c) {
        table.text[c][0] = '\\';
        table.text[c][1] = 'x';
        table.text[c][2] = hex[c >> 4];
        table.text[c][3] = hex[c & 0xF];
    }
    return table;
}
constexpr EscapeTable kEscapes = MakeEscapeTable();

template <bool kEscapeBackslash>
inline bool IsKept(unsigned char c) {
    return static_cast<unsigned char>(c - 0x20) <= 0x7E - 0x20 && !(kEscapeBackslash && c == '\\');
}

template <bool kEscapeBackslash>
size_t Escape(const unsigned char* bytes, size_t maxLength, char* out, size_t outSize, size_t* consumed) {
    size_t in = 0;
    size_t written = 0;
    for (;;) {
        // The run of kept bytes, as far as it fits; a zero byte is never kept, so it
        // ends a run as the text's end does.
        const size_t room = outSize - written;
        const size_t stop = maxLength - in < room ? maxLength : in + room;
        while (in < stop && IsKept<kEscapeBackslash>(bytes[in])) out[written++] = static_cast<char>(bytes[in++]);
        if (in == maxLength) break;
        const unsigned char c = bytes[in];
        // The text ended, or the next piece does not fit (a run stops short of a kept
        // byte only when the room is used up).
        if (c == 0 || outSize - written < 4) break;
        memcpy(out + written, kEscapes.text[c], 4);
        written += 4;
        ++in;
    }
    *consumed = in;
    return written;
}

}  // namespace

size_t EscapeConsoleText(const void* text, size_t maxLength, bool escapeBackslash, char* out, size_t outSize,
                         size_t* consumed) {
    size_t used = 0;
    size_t written = 0;
    if (text) {
        const unsigned char* bytes = static_cast<const unsigned char*>(text);
        written = escapeBackslash ? Escape<true>(bytes, maxLength, out, outSize, &used)
                                  : Escape<false>(bytes, maxLength, out, outSize, &used);
    }
    if (consumed) *consumed = used;
    return written;
}

void CConsoleLine::Flush() {
    if (used_ == 0) return;
    buffer_[used_] = '\0';
    if (developerLevel_ > 0) {
        DevMsg(developerLevel_, "%s", buffer_);
    } else {
        Msg("%s", buffer_);
    }
    used_ = 0;
}

void CConsoleLine::Append(const char* text) {
    if (text) Append(text, strlen(text));
}

void CConsoleLine::AppendSlow(const char* text, size_t length) {
    // Text that is copied as it is has no escapes to keep whole, so it may be split anywhere.
    while (length > 0) {
        if (used_ == kBufferSize - 1) Flush();
        const size_t room = static_cast<size_t>(kBufferSize - 1 - used_);
        const size_t count = length < room ? length : room;
        memcpy(buffer_ + used_, text, count);
        used_ += static_cast<int>(count);
        text += count;
        length -= count;
    }
}

template <bool kEscapeBackslash>
void CConsoleLine::AppendEscapedText(const unsigned char* bytes, size_t maxLength) {
    size_t done = 0;
    for (;;) {
        size_t consumed;
        used_ += static_cast<int>(Escape<kEscapeBackslash>(bytes + done, maxLength - done, buffer_ + used_,
                                                           static_cast<size_t>(kBufferSize - 1 - used_), &consumed));
        done += consumed;
        if (done == maxLength || bytes[done] == 0) return;
        Flush();  // the next piece did not fit; an empty buffer takes any piece
    }
}

void CConsoleLine::AppendEscaped(const void* text, size_t maxLength, bool escapeBackslash) {
    if (!text) return;
    const unsigned char* bytes = static_cast<const unsigned char*>(text);
    if (escapeBackslash) {
        AppendEscapedText<true>(bytes, maxLength);
    } else {
        AppendEscapedText<false>(bytes, maxLength);
    }
}

void CConsoleLine::End() { Append("\n", 1); Flush(); }
