// One console line assembled from fixed texts and untrusted texts (names read from data
// files, loader messages), printed whole however long it is. Untrusted bytes outside
// printable ASCII are written as "\xNN", so a line feed or a control byte in a name can
// neither end the line early nor forge another one, while a printable name reads exactly
// as it is.
#pragma once

#include <stddef.h>

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

private:
    // `length` bytes as they are, cut anywhere between calls to Msg.
    void Append(const char* text, size_t length);
    void Put(const char* piece, int length);
    void Flush();

    char buffer_[kBufferSize];
    int used_ = 0;
    int developerLevel_ = 0;
};
