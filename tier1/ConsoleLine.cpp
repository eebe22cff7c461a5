// Building and printing console lines with untrusted text escaped.
#include "tier1/ConsoleLine.h"

#include <string.h>

#include "tier0/dbg.h"

size_t EscapeConsoleText(const void* text, size_t maxLength, bool escapeBackslash, char* out, size_t outSize,
                         size_t* consumed) {
    static const char kHex[] = "0123456789ABCDEF";
    const unsigned char* bytes = static_cast<const unsigned char*>(text);
    auto kept = [escapeBackslash](unsigned char c) {
        return c >= 0x20 && c <= 0x7E && !(escapeBackslash && c == '\\');
    };
    size_t in = 0;
    size_t written = 0;
    while (bytes && in < maxLength && bytes[in] != 0) {
        if (kept(bytes[in])) {
            // A run of kept bytes is copied at once, as far as it fits (a zero byte is
            // never kept, so it ends a run).
            const size_t room = outSize - written;
            if (room == 0) break;
            const size_t limit = maxLength - in < room ? maxLength : in + room;
            size_t run = in + 1;
            while (run < limit && kept(bytes[run])) ++run;
            memcpy(out + written, bytes + in, run - in);
            written += run - in;
            in = run;
        } else {
            if (outSize - written < 4) break;
            const unsigned char c = bytes[in++];
            out[written] = '\\';
            out[written + 1] = 'x';
            out[written + 2] = kHex[c >> 4];
            out[written + 3] = kHex[c & 0xF];
            written += 4;
        }
    }
    if (consumed) *consumed = in;
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

void CConsoleLine::Append(const char* text, size_t length) {
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

void CConsoleLine::AppendEscaped(const void* text, size_t maxLength, bool escapeBackslash) {
    if (!text) return;
    const unsigned char* bytes = static_cast<const unsigned char*>(text);
    size_t done = 0;
    for (;;) {
        size_t consumed = 0;
        used_ += static_cast<int>(EscapeConsoleText(bytes + done, maxLength - done, escapeBackslash, buffer_ + used_,
                                                    static_cast<size_t>(kBufferSize - 1 - used_), &consumed));
        done += consumed;
        if (done == maxLength || bytes[done] == 0) return;
        Flush();  // the next piece did not fit; an empty buffer takes any piece
    }
}

void CConsoleLine::End() { Append("\n", 1); Flush(); }
