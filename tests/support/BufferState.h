// A buffer's state as text for the buffer tests: its data, and what a read left behind
// (the text stored, the get position, whether the buffer is still valid), so that one
// comparison checks all of it and a failure shows all of it.
#pragma once

#include <string>

#include "tier1/UtlBuffer.h"

// The readable data: position 0 up to the high-water mark.
inline std::string BufferData(const CUtlBuffer& b) {
    return std::string(static_cast<const char*>(b.Base()), static_cast<size_t>(b.TellMaxPut()));
}

// "text|get position|valid" (or "invalid") after a read that stored `dest`.
inline std::string ReadState(const char* dest, const CUtlBuffer& b) {
    return std::string(dest) + "|" + std::to_string(b.TellGet()) + (b.IsValid() ? "|valid" : "|invalid");
}
