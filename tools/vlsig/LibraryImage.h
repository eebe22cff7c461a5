// A game server library as the vlsig tool sees it: the file on disk, never loaded. Wraps
// the bounds-checked ELF reader (sigscan/ElfSymbols.h) with what the tool asks of it:
// where a symbol is (by export or by the full symbol table), the code bytes at a load
// address, and a signature scanner over the executable segments' file bytes. A 32-bit or
// 64-bit library alike, whatever the tool was built as: load addresses are 64-bit.
#pragma once

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "sigscan/ElfSymbols.h"
#include "sigscan/SignatureScanner.h"

class LibraryImage {
public:
    // Reads and checks the file at `path`. False, with Error(), when it is unusable.
    bool Open(const char* path);
    // The same for bytes in memory (benchmarks and tests); the image copies them.
    bool OpenBytes(const unsigned char* bytes, size_t size);
    const std::string& Error() const { return error_; }

    const ElfSymbolTable& Elf() const { return elf_; }

    // Where `symbol` is: its exported address, or its address (and size, 0 when the
    // table gives none) in the full symbol table. False when it is not there.
    bool FindExport(const char* symbol, uint64_t* address) const;
    bool FindInSymbolTable(const char* symbol, uint64_t* address, uint64_t* size) const;

    // Whether a load address lies in the file-backed bytes of a loaded segment.
    bool Contains(uint64_t address) const { return elf_.AddressToOffset(address, 1, nullptr); }

    // The code bytes at `address`: a pointer into the file's bytes and how many bytes of
    // the same executable segment follow (at least 1), or null when `address` is not in
    // an executable segment's file bytes.
    const unsigned char* CodeAt(uint64_t address, size_t* available) const;
    // The load address of a pointer into an executable segment's bytes (as the scanner
    // returns them).
    bool AddressOf(const unsigned char* code, uint64_t* address) const;

    // The executable segments' bytes, for scanning.
    const std::vector<CodeRange>& CodeRanges() const { return ranges_; }
    SignatureScanner& Scanner() { return *scanner_; }

    // The load addresses the dynamic relocations patch, sorted.
    const std::vector<uint64_t>& Relocations() const { return relocations_; }

private:
    bool Setup();

    ElfSymbolTable elf_;
    std::string error_;
    std::vector<CodeRange> ranges_;
    std::vector<uint64_t> relocations_;
    std::unique_ptr<SignatureScanner> scanner_;
};
