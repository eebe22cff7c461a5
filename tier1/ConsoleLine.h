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
    void AppendEscaped(const void* text, size_t maxLength, bool escapeBackslash = false);
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
    void AppendEscapedText(const unsigned char* bytes, size_t maxLength);
    void AppendSlow(const char* text, size_t length);
    void Flush();

    char buffer_[kBufferSize];
    int used_ = 0;
    int developerLevel_ = 0;
};
