// Looking a symbol up in a shared library's full symbol table (the ELF ".symtab" of the
// file on disk), which also lists the functions the library does not export, unless the
// file was stripped. The file is untrusted input: every offset and size is checked
// against the bytes read, and a damaged file fails with a reason, never a read outside.
#pragma once

#include <stddef.h>
#include <stdint.h>

class ElfSymbolTable {
public:
    ElfSymbolTable() = default;
    ~ElfSymbolTable();
    ElfSymbolTable(const ElfSymbolTable&) = delete;
    ElfSymbolTable& operator=(const ElfSymbolTable&) = delete;

    // Reads the whole file at `path` and checks its symbol table. False, with a reason
    // in Error(), when the file cannot be read, is not a 32-bit little-endian ELF file,
    // has no symbol table (stripped), or its headers point outside the file.
    bool Open(const char* path);
    // The same on bytes already in memory; the table copies them.
    bool OpenBytes(const unsigned char* bytes, size_t size);

    // The value (an offset from the library's load base) of the defined function or
    // data symbol `name`, or false when the table has no such symbol. Open must have
    // succeeded. The first definition in table order wins.
    bool Find(const char* name, uint32_t* value) const;

    // Why the last Open failed; "" after a success.
    const char* Error() const { return error_; }

private:
    bool Fail(const char* reason);
    bool Parse();

    unsigned char* bytes_ = nullptr;
    size_t size_ = 0;
    // Validated views into bytes_, set by a successful Open.
    const unsigned char* symbols_ = nullptr;
    uint32_t symbolCount_ = 0;
    const char* strings_ = nullptr;
    uint32_t stringsSize_ = 0;
    char error_[160] = "";
};
