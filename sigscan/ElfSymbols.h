// Looking a symbol up in a shared library's full symbol table (the ELF ".symtab" of the
// file on disk), which also lists the functions the library does not export, unless the
// file was stripped. The file is untrusted input: every offset and size is checked
// against the bytes read, and a damaged file fails with a reason, never a read outside.
// OpenLibrary also reads what a tool needs to work on the file alone, without loading it:
// the dynamic symbol table (the exports), the executable segments' file bytes and the
// mapping between load addresses and file offsets, under the same checks.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The file-backed bytes of one executable PT_LOAD segment: `size` bytes at `fileOffset`
// in the file, loaded at `address` (an offset from the load base). Always inside the file
// (which is never larger than 4 GB, so the in-file offset and size are 32-bit).
struct ElfCodeSegment {
    uint32_t fileOffset;
    uint64_t address;
    uint32_t size;
};

// A defined symbol as a table lists it. `name` points into the file's bytes and stays
// valid until the next Open.
struct ElfSymbolInfo {
    const char* name;
    uint64_t value;
    uint64_t size;
    bool function;  // STT_FUNC (else STT_OBJECT)
};

class ElfSymbolTable {
public:
    ElfSymbolTable() = default;
    ~ElfSymbolTable();
    ElfSymbolTable(const ElfSymbolTable&) = delete;
    ElfSymbolTable& operator=(const ElfSymbolTable&) = delete;

    // Reads the whole file at `path` and checks its symbol table. False, with a reason
    // in Error(), when the file cannot be read, is not a 32- or 64-bit little-endian ELF
    // file (or, in memory, is larger than 4 GB), has no symbol table (stripped), or its
    // headers point outside the file.
    bool Open(const char* path);
    // The same on bytes already in memory; the table copies them.
    bool OpenBytes(const unsigned char* bytes, size_t size);

    // Reads the file as a tool works on it: like Open, but a file without a full symbol
    // table is accepted (HasSymbolTable() is then false), and the dynamic symbol table,
    // the program headers, the relocation sections and the GOT's address are read too.
    // Fails, with a reason, when any of those lies outside the file or has a wrong
    // entry size, or a segment claims more file bytes than it loads or ends past the
    // file class's address space. Relocations are read from SHT_REL and SHT_RELA
    // sections alike (32-bit x86 files use the one, x86-64 files the other).
    bool OpenLibrary(const char* path);
    bool OpenLibraryBytes(const unsigned char* bytes, size_t size);
    bool HasSymbolTable() const { return symbols_ != nullptr; }

    // The file's bytes after a successful Open (null before).
    const unsigned char* FileBytes() const { return bytes_; }
    size_t FileSize() const { return size_; }
    // The file's class (ELFCLASS32 or ELFCLASS64) and machine (its e_machine, such as
    // EM_386 or EM_X86_64, which is not checked) after a successful Open; 0 before.
    unsigned char FileClass() const { return class_; }
    uint16_t Machine() const { return machine_; }

    // After OpenLibrary: the exported (dynamic, global or weak, defined) function or
    // data symbol `name`, as Find does for the full table; false without a dynamic table.
    bool FindExport(const char* name, uint64_t* value) const;
    // Find's lookup with the value whole (a 64-bit file's may not fit a pointer here),
    // and the symbol's size in *size (when given; 0 when the table gives none).
    bool FindSized(const char* name, uint64_t* value, uint64_t* size) const;
    // The defined symbols of the dynamic table (`exported`) or of the full table, by
    // position 0..Count-1; positions that hold no defined function or object, or whose
    // name lies outside the string table, give false.
    uint32_t SymbolCount(bool exported) const { return exported ? dynamicCount_ : symbolCount_; }
    bool SymbolAt(bool exported, uint32_t index, ElfSymbolInfo* info) const;
    // The name of a defined function whose value is `address`: from the full table
    // when there is one, else from the dynamic table; null when none.
    const char* FunctionAt(uint64_t address) const;

    // After OpenLibrary: the executable segments (at most kMaxCodeSegments).
    static const int kMaxCodeSegments = 16;
    int CodeSegmentCount() const { return codeCount_; }
    const ElfCodeSegment& CodeSegment(int index) const { return code_[index]; }
    // The file offset of the `length` bytes loaded at `address`, when a PT_LOAD segment's
    // file bytes hold all of them; false otherwise (bss, a gap, past a segment's end).
    bool AddressToOffset(uint64_t address, uint32_t length, uint32_t* offset) const;
    // The load address of the byte at file `offset` inside an executable segment.
    bool CodeOffsetToAddress(uint32_t offset, uint64_t* address) const;
    // The address of the GOT (".got.plt", else ".got"; 0 when the file has neither):
    // 32-bit position-independent code reaches globals through offsets from it.
    uint64_t GotAddress() const { return got_; }
    // The places (load addresses) that dynamic relocations patch, in table order: a
    // word of code patched by the loader holds an absolute address. The word is as wide
    // as the file class's addresses (4 or 8 bytes) for the relocations that matter here.
    uint32_t RelocationCount() const { return relocationCount_; }
    uint64_t RelocationAt(uint32_t index) const;

    // The value (an offset from the library's load base) of the defined function or
    // data symbol `name`, or false when the table has no such symbol. Open must have
    // succeeded. The first definition in table order wins; when its value does not fit
    // this process's pointers (a 64-bit file read by a 32-bit process), it is refused,
    // never truncated: false, as for a missing symbol.
    bool Find(const char* name, uintptr_t* value) const;

    // Why the last Open failed; "" after a success.
    const char* Error() const { return error_; }

private:
    bool Fail(const char* reason);
    void Clear();
    bool Parse();
    bool ParseLibrary();
    // The checks of Parse and ParseLibrary after the file's class is known, for the
    // class's header, section, segment, symbol and relocation types (ElfSymbols.cpp).
    template <typename Class>
    bool ParseAs();
    template <typename Class>
    bool ParseLibraryAs();
    bool ReadFile(const char* path);
    void CopyBytes(const unsigned char* bytes, size_t size);
    // `exportsOnly`: global or weak bindings only (the dynamic table lists locals too).
    bool Lookup(const unsigned char* table, uint32_t count, const char* strings, uint32_t stringsSize,
                bool exportsOnly, const char* name, uint64_t* value, uint64_t* size) const;

    unsigned char* bytes_ = nullptr;
    size_t size_ = 0;
    unsigned char class_ = 0;
    uint16_t machine_ = 0;
    // Validated views into bytes_, set by a successful Open.
    const unsigned char* symbols_ = nullptr;
    uint32_t symbolCount_ = 0;
    const char* strings_ = nullptr;
    uint32_t stringsSize_ = 0;
    const unsigned char* dynamic_ = nullptr;
    uint32_t dynamicCount_ = 0;
    const char* dynamicStrings_ = nullptr;
    uint32_t dynamicStringsSize_ = 0;
    // The PT_LOAD segments' file-backed parts, for address mapping.
    static const int kMaxLoadSegments = 32;
    ElfCodeSegment load_[kMaxLoadSegments] = {};
    int loadCount_ = 0;
    ElfCodeSegment code_[kMaxCodeSegments] = {};
    int codeCount_ = 0;
    uint64_t got_ = 0;
    // Up to kMaxRelocationSections SHT_REL or SHT_RELA sections, with their entry sizes.
    static const int kMaxRelocationSections = 8;
    const unsigned char* relocations_[kMaxRelocationSections] = {};
    uint32_t relocationCounts_[kMaxRelocationSections] = {};
    uint32_t relocationEntrySizes_[kMaxRelocationSections] = {};
    uint32_t relocationCount_ = 0;
    char error_[160] = "";
};
