// The full-symbol-table reader. Only the section headers, the symbol table and its
// string table are read; all arithmetic on offsets is done in 64 bits so that no sum of
// untrusted 32-bit fields can wrap.
#include "sigscan/ElfSymbols.h"

#include <elf.h>
#include <stdio.h>
#include <string.h>

namespace {

// The file is read whole; a server library is tens of megabytes at most, and this caps
// what a corrupt or hostile path (a device, a huge file) can make us allocate.
const long kMaxFileSize = 256L * 1024 * 1024;

bool InFile(uint64_t offset, uint64_t length, size_t size) { return offset <= size && length <= size - offset; }

template <typename T>
T ReadAt(const unsigned char* bytes, size_t offset) {
    T value;
    memcpy(&value, bytes + offset, sizeof(T));  // the file gives no alignment guarantee
    return value;
}

}  // namespace

ElfSymbolTable::~ElfSymbolTable() { delete[] bytes_; }

bool ElfSymbolTable::Fail(const char* reason) {
    snprintf(error_, sizeof(error_), "%s", reason);
    symbols_ = nullptr;
    symbolCount_ = 0;
    strings_ = nullptr;
    stringsSize_ = 0;
    return false;
}

bool ElfSymbolTable::Open(const char* path) {
    delete[] bytes_;
    bytes_ = nullptr;
    size_ = 0;
    FILE* file = path ? fopen(path, "rb") : nullptr;
    if (!file) return Fail("the library file cannot be opened");
    long size = -1;
    if (fseek(file, 0, SEEK_END) == 0) size = ftell(file);
    if (size < 0 || size > kMaxFileSize || fseek(file, 0, SEEK_SET) != 0) {
        fclose(file);
        return Fail("the library file cannot be read");
    }
    bytes_ = new unsigned char[size > 0 ? size : 1];
    size_ = fread(bytes_, 1, static_cast<size_t>(size), file);
    fclose(file);
    if (size_ != static_cast<size_t>(size)) return Fail("the library file cannot be read");
    return Parse();
}

bool ElfSymbolTable::OpenBytes(const unsigned char* bytes, size_t size) {
    delete[] bytes_;
    bytes_ = new unsigned char[size > 0 ? size : 1];
    if (size) memcpy(bytes_, bytes, size);
    size_ = size;
    return Parse();
}

bool ElfSymbolTable::Parse() {
    error_[0] = '\0';
    if (size_ < sizeof(Elf32_Ehdr)) return Fail("the library file is too short for an ELF header");
    const Elf32_Ehdr header = ReadAt<Elf32_Ehdr>(bytes_, 0);
    if (memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) return Fail("the library file is not an ELF file");
    if (header.e_ident[EI_CLASS] != ELFCLASS32 || header.e_ident[EI_DATA] != ELFDATA2LSB)
        return Fail("the library file is not a 32-bit little-endian ELF file");
    if (header.e_shnum == 0 || header.e_shentsize != sizeof(Elf32_Shdr))
        return Fail("the library file has no section headers");
    if (!InFile(header.e_shoff, uint64_t(header.e_shnum) * sizeof(Elf32_Shdr), size_))
        return Fail("the section headers lie outside the library file");

    auto section = [&](uint32_t index) {
        return ReadAt<Elf32_Shdr>(bytes_, header.e_shoff + size_t(index) * sizeof(Elf32_Shdr));
    };
    for (uint32_t i = 0; i < header.e_shnum; ++i) {
        const Elf32_Shdr symtab = section(i);
        if (symtab.sh_type != SHT_SYMTAB) continue;
        if (symtab.sh_entsize != sizeof(Elf32_Sym)) return Fail("the symbol table has a wrong entry size");
        if (!InFile(symtab.sh_offset, symtab.sh_size, size_))
            return Fail("the symbol table lies outside the library file");
        if (symtab.sh_link == 0 || symtab.sh_link >= header.e_shnum)
            return Fail("the symbol table names no string table");
        const Elf32_Shdr strtab = section(symtab.sh_link);
        if (strtab.sh_type != SHT_STRTAB || !InFile(strtab.sh_offset, strtab.sh_size, size_))
            return Fail("the symbol names lie outside the library file");
        symbols_ = bytes_ + symtab.sh_offset;
        symbolCount_ = symtab.sh_size / sizeof(Elf32_Sym);
        strings_ = reinterpret_cast<const char*>(bytes_ + strtab.sh_offset);
        stringsSize_ = strtab.sh_size;
        return true;
    }
    return Fail("the library file has no symbol table (stripped)");
}

bool ElfSymbolTable::Find(const char* name, uint32_t* value) const {
    if (!symbols_ || !name || !*name) return false;
    const size_t nameLength = strlen(name);
    for (uint32_t i = 0; i < symbolCount_; ++i) {
        const Elf32_Sym symbol = ReadAt<Elf32_Sym>(symbols_, size_t(i) * sizeof(Elf32_Sym));
        const int type = ELF32_ST_TYPE(symbol.st_info);
        if ((type != STT_FUNC && type != STT_OBJECT) || symbol.st_shndx == SHN_UNDEF) continue;
        // The name must lie, with its terminator, inside the string table.
        if (symbol.st_name >= stringsSize_ || stringsSize_ - symbol.st_name <= nameLength) continue;
        const char* candidate = strings_ + symbol.st_name;
        if (memcmp(candidate, name, nameLength) != 0 || candidate[nameLength] != '\0') continue;
        if (value) *value = symbol.st_value;
        return true;
    }
    return false;
}
