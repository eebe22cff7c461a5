// Heap blocks of exactly the bytes under test, for the unit tests and the fuzz targets:
// with nothing after the last byte, the address sanitizer reports a read or write one
// past the end. A plain block, and a read-only buffer over a copy of some bytes.
#pragma once

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "tier1/UtlBuffer.h"

// Exactly `size` bytes from malloc, uninitialised or copied from `data`. A block of 0
// bytes is a real allocation of 0 bytes, so touching it at all is reported.
class ExactBlock {
public:
    explicit ExactBlock(size_t size) : size_(size), bytes_(static_cast<char*>(malloc(size))) {}
    ExactBlock(const void* data, size_t size) : ExactBlock(size) {
        if (size) memcpy(bytes_, data, size);
    }
    ~ExactBlock() { free(bytes_); }
    ExactBlock(const ExactBlock&) = delete;
    ExactBlock& operator=(const ExactBlock&) = delete;

    char* data() const { return bytes_; }
    size_t size() const { return size_; }

private:
    size_t size_;
    char* bytes_;
};

// A read-only CUtlBuffer over an exact-size copy of the bytes, with `flags` added to
// BUFFER_READ_ONLY. Text by default when given a std::string, binary when given bytes.
struct ExactBuffer {
    ExactBuffer(const void* data, size_t size, int flags) : block(data, size), buf(nullptr, 0, 0) {
        buf.SetExternalBuffer(block.data(), static_cast<int>(size), static_cast<int>(size),
                              flags | CUtlBuffer::BUFFER_READ_ONLY);
    }
    explicit ExactBuffer(const std::string& text, int flags = CUtlBuffer::BUFFER_TEXT)
        : ExactBuffer(text.data(), text.size(), flags) {}
    explicit ExactBuffer(const std::vector<unsigned char>& bytes, int flags = 0)
        : ExactBuffer(bytes.data(), bytes.size(), flags) {}

    ExactBlock block;
    CUtlBuffer buf;
};
