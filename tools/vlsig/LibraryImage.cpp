// The library file's view for the tool.
#include "tools/vlsig/LibraryImage.h"

#include <algorithm>

bool LibraryImage::Open(const char* path) { return elf_.OpenLibrary(path) ? Setup() : (error_ = elf_.Error(), false); }

bool LibraryImage::OpenBytes(const unsigned char* bytes, size_t size) {
    return elf_.OpenLibraryBytes(bytes, size) ? Setup() : (error_ = elf_.Error(), false);
}

bool LibraryImage::Setup() {
    error_.clear();
    ranges_.clear();
    for (int i = 0; i < elf_.CodeSegmentCount(); ++i) {
        const ElfCodeSegment& segment = elf_.CodeSegment(i);
        ranges_.push_back(CodeRange{elf_.FileBytes() + segment.fileOffset, segment.size});
    }
    if (ranges_.empty()) {
        error_ = "the library file has no code segments";
        return false;
    }
    relocations_.clear();
    for (uint32_t i = 0; i < elf_.RelocationCount(); ++i) relocations_.push_back(elf_.RelocationAt(i));
    std::sort(relocations_.begin(), relocations_.end());
    scanner_ = std::make_unique<SignatureScanner>(ranges_.data(), static_cast<int>(ranges_.size()));
    return true;
}

bool LibraryImage::FindExport(const char* symbol, uint64_t* address) const { return elf_.FindExport(symbol, address); }

bool LibraryImage::FindInSymbolTable(const char* symbol, uint64_t* address, uint64_t* size) const {
    return elf_.FindSized(symbol, address, size);
}

const unsigned char* LibraryImage::CodeAt(uint64_t address, size_t* available) const {
    for (int i = 0; i < elf_.CodeSegmentCount(); ++i) {
        const ElfCodeSegment& segment = elf_.CodeSegment(i);
        if (address < segment.address || address - segment.address >= segment.size) continue;
        const uint32_t into = static_cast<uint32_t>(address - segment.address);
        if (available) *available = segment.size - into;
        return elf_.FileBytes() + segment.fileOffset + into;
    }
    return nullptr;
}

bool LibraryImage::AddressOf(const unsigned char* code, uint64_t* address) const {
    const unsigned char* bytes = elf_.FileBytes();
    if (!bytes || code < bytes || code >= bytes + elf_.FileSize()) return false;
    return elf_.CodeOffsetToAddress(static_cast<uint32_t>(code - bytes), address);
}
