// One console line assembled from fixed texts and untrusted texts (names read from data
// files, loader messages), printed whole however long it is. Untrusted bytes outside
// printable ASCII are written as "\xNN", so a line feed or a control byte in a name can
// neither end the line early nor forge another one, while a printable name reads exactly
// as it is.
#pragma once

#include <stddef.h>
#include <string.h>

// The escaping rule of every console line that carries outside text, on a span: copies
// `text` up to its first zero byte, and at most `maxLength` bytes of it, into
// out[0, outSize), keeping bytes 0x20 to 0x7E and writing every other byte (and '\' when
// `escapeBackslash` is set) as "\x" and two upper-case hexadecimal digits. Stops when
// the text ends or the next piece does not fit: a kept byte is one piece, an escape
// four, so an escape is never torn. Returns the bytes written (nothing is terminated)
// and stores in *consumed how many bytes of `text` they stand for; the text is used up
// when *consumed reaches `maxLength` or text[*consumed] is 0. Null `text` writes nothing.
size_t EscapeConsoleText(const void* text, size_t maxLength, bool escapeBackslash, char* out, size_t outSize,
                         size_t* consumed);

// The escaper's core, inline so that a line built in one function keeps its state in
// registers (EscapeConsoleText is the same code behind a call).
namespace console_escape {

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
inline constexpr EscapeTable kEscapes = MakeEscapeTable();

template <bool kEscapeBackslash>
inline bool IsKept(unsigned char c) {
    return static_cast<unsigned char>(c - 0x20) <= 0x7E - 0x20 && !(kEscapeBackslash && c == '\\');
}

template <bool kEscapeBackslash>
inline size_t Escape(const unsigned char* bytes, size_t maxLength, char* out, size_t outSize, size_t* consumed) {
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

}  // namespace console_escape

class CConsoleLine {
public:
    // Pieces are collected in this many bytes (terminator included) and printed with Msg
    // whenever the next piece would not fit (a run of kept bytes may be cut anywhere). A
    // line of up to kBufferSize - 1 bytes therefore goes out in one Msg call; a longer one
    // in several, split only between whole pieces, so an escape is never torn.
    static const int kBufferSize = 1024;

    CConsoleLine() = default;
    // A line for the developer channel: printed with DevMsg at `developerLevel` (when 1 or
    // more) instead of Msg, so it shows only when the "developer" variable reaches it.
    explicit CConsoleLine(int developerLevel) : developerLevel_(developerLevel) {}
    CConsoleLine(const CConsoleLine&) = delete;
    CConsoleLine& operator=(const CConsoleLine&) = delete;
    // Prints what is still held (without adding a line feed).
    ~CConsoleLine() { Flush(); }

    // Appends a text of the program as it is. Null appends nothing.
    void Append(const char* text);
    // Appends `text` up to its first zero byte, and at most `maxLength` bytes of it (so a
    // fixed field without a terminator is read no further than its size). Bytes from 0x20
    // to 0x7E are kept, every other byte becomes "\x" and two upper-case hexadecimal
    // digits; with `escapeBackslash` a '\' becomes "\x5C" too, which makes the text read
    // back unambiguously. Null appends nothing.
    void AppendEscaped(const void* text, size_t maxLength, bool escapeBackslash = false) {
        if (!text) return;
        const unsigned char* bytes = static_cast<const unsigned char*>(text);
        if (escapeBackslash) {
            AppendEscapedText<true>(bytes, maxLength);
        } else {
            AppendEscapedText<false>(bytes, maxLength);
        }
    }
    // Appends '\n' and prints everything still held.
    void End();
    // Appends `length` bytes as they are (zero bytes included), cut anywhere between
    // calls to Msg. Inline, so that a short piece of constant length is a plain copy.
    void Append(const char* text, size_t length) {
        if (length <= static_cast<size_t>(kBufferSize - 1 - used_)) {
            memcpy(buffer_ + used_, text, length);
            used_ += static_cast<int>(length);
        } else {
            AppendSlow(text, length);
        }
    }

private:
    template <bool kEscapeBackslash>
    void AppendEscapedText(const unsigned char* bytes, size_t maxLength) {
        size_t done = 0;
        for (;;) {
            size_t consumed;
            used_ += static_cast<int>(console_escape::Escape<kEscapeBackslash>(
                bytes + done, maxLength - done, buffer_ + used_, static_cast<size_t>(kBufferSize - 1 - used_), &consumed));
            done += consumed;
            if (done == maxLength || bytes[done] == 0) return;
            Flush();  // the next piece did not fit; an empty buffer takes any piece
        }
    }
    void AppendSlow(const char* text, size_t length);
    void Flush();

    char buffer_[kBufferSize];
    int used_ = 0;
    int developerLevel_ = 0;
};
