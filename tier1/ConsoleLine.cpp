// Building and printing console lines with untrusted text escaped.
#include "tier1/ConsoleLine.h"

#include <string.h>

#include "tier0/dbg.h"

void CConsoleLine::Put(const char* piece, int length) {
    if (used_ + length > kBufferSize - 1) Flush();
    memcpy(buffer_ + used_, piece, static_cast<size_t>(length));
    used_ += length;
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
        const int count = static_cast<int>(length < room ? length : room);
        Put(text, count);
        text += count;
        length -= static_cast<size_t>(count);
    }
}

void CConsoleLine::AppendEscaped(const void* text, size_t maxLength, bool escapeBackslash) {
    if (!text) return;
    static const char kHex[] = "0123456789ABCDEF";
    const unsigned char* bytes = static_cast<const unsigned char*>(text);
    auto kept = [escapeBackslash](unsigned char c) {
        return c >= 0x20 && c <= 0x7E && !(escapeBackslash && c == '\\');
    };
    size_t i = 0;
    while (i < maxLength && bytes[i] != 0) {
        // A run of kept bytes goes in whole (a zero byte is never kept, so it ends a run).
        size_t run = i;
        while (run < maxLength && kept(bytes[run])) ++run;
        if (run > i) {
            Append(reinterpret_cast<const char*>(bytes + i), run - i);
            i = run;
            continue;
        }
        const unsigned char c = bytes[i++];
        const char escape[4] = {'\\', 'x', kHex[c >> 4], kHex[c & 0xF]};
        Put(escape, 4);
    }
}

void CConsoleLine::End() {
    Put("\n", 1);
    Flush();
}
