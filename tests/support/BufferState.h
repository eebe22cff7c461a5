// A buffer's state as text for the buffer tests: its data, and what a read left behind
// (what it read, the get position, the error bits), so that one comparison checks all of
// it and a failure shows all of it.
#pragma once

#include <string>

#include "tier1/UtlBuffer.h"

// The readable data: position 0 up to the high-water mark.
inline std::string BufferData(const CUtlBuffer& b) {
    return std::string(static_cast<const char*>(b.Base()), static_cast<size_t>(b.TellMaxPut()));
}

// "what was read|get position|error bits" after a read, the bits as "ok", "get overflow",
// "put overflow" or "get+put overflow".
inline std::string ReadState(const std::string& read, const CUtlBuffer& b) {
    static const char* const kBits[] = {"ok", "put overflow", "get overflow", "get+put overflow"};
    const unsigned bits = b.GetErrorBits();
    return read + "|" + std::to_string(b.TellGet()) + "|" + (bits < 4 ? kBits[bits] : std::to_string(bits));
}
