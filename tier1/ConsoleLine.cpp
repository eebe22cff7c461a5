// Building and printing console lines with untrusted text escaped.
#include "tier1/ConsoleLine.h"

#include <string.h>

#include "tier0/dbg.h"


size_t EscapeConsoleText(const void* text, size_t maxLength, bool escapeBackslash, char* out, size_t outSize,
                         size_t* consumed) {
    size_t used = 0;
    size_t written = 0;
    if (text) {
        const unsigned char* bytes = static_cast<const unsigned char*>(text);
        written = escapeBackslash ? console_escape::Escape<true>(bytes, maxLength, out, outSize, &used)
                                  : console_escape::Escape<false>(bytes, maxLength, out, outSize, &used);
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

void CConsoleLine::End() { Append("\n", 1); Flush(); }
