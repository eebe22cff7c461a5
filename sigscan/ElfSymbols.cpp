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

const char kStripped[] = "the library file has no symbol table (stripped)";

bool InFile(uint64_t offset, uint64_t length, size_t size) { return offset <= size && length <= size - offset; }

template <typename T>
T ReadAt(const unsigned char* bytes, size_t offset) {
    T value;
    memcpy(&value, bytes + offset, sizeof(T));  // the file gives no alignment guarantee
    return value;
}

// The reasons a symbol table section is refused, in the words of its kind.
struct SymbolSectionTexts {
    const char* wrongEntrySize;
    const char* outside;
    const char* noStrings;
    const char* namesOutside;
};
const SymbolSectionTexts kSymbolTableTexts = {
    "the symbol table has a wrong entry size", "the symbol table lies outside the library file",
    "the symbol table names no string table", "the symbol names lie outside the library file"};
const SymbolSectionTexts kDynamicSymbolTexts = {
    "the dynamic symbol table has a wrong entry size", "the dynamic symbol table lies outside the library file",
    "the dynamic symbol table names no string table", "the dynamic symbol names lie outside the library file"};

// Checks symbol table section `table` of the file and the string table it names, and
// points *symbols / *strings into `bytes`. The reason it is refused, or null.
const char* ReadSymbolSection(const unsigned char* bytes, size_t size, const Elf32_Ehdr& header,
                              const Elf32_Shdr& table, const SymbolSectionTexts& texts, const unsigned char** symbols,
                              uint32_t* symbolCount, const char** strings, uint32_t* stringsSize) {
    if (table.sh_entsize != sizeof(Elf32_Sym)) return texts.wrongEntrySize;
    if (!InFile(table.sh_offset, table.sh_size, size)) return texts.outside;
    if (table.sh_link == 0 || table.sh_link >= header.e_shnum) return texts.noStrings;
    const Elf32_Shdr strtab = ReadAt<Elf32_Shdr>(bytes, header.e_shoff + size_t(table.sh_link) * sizeof(Elf32_Shdr));
    if (strtab.sh_type != SHT_STRTAB || !InFile(strtab.sh_offset, strtab.sh_size, size)) return texts.namesOutside;
    *symbols = bytes + table.sh_offset;
    *symbolCount = table.sh_size / sizeof(Elf32_Sym);
    *strings = reinterpret_cast<const char*>(bytes + strtab.sh_offset);
    *stringsSize = strtab.sh_size;
    return nullptr;
}

}  // namespace

ElfSymbolTable::~ElfSymbolTable() { delete[] bytes_; }

bool ElfSymbolTable::Fail(const char* reason) {
    snprintf(error_, sizeof(error_), "%s", reason);
    Clear();
    return false;
}

void ElfSymbolTable::Clear() {
    symbols_ = nullptr;
    symbolCount_ = 0;
    strings_ = nullptr;
    stringsSize_ = 0;
    dynamic_ = nullptr;
    dynamicCount_ = 0;
    dynamicStrings_ = nullptr;
    dynamicStringsSize_ = 0;
    loadCount_ = 0;
    codeCount_ = 0;
    got_ = 0;
    relocationCount_ = 0;
    for (uint32_t& count : relocationCounts_) count = 0;
}

bool ElfSymbolTable::ReadFile(const char* path) {
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
    return true;
}

void ElfSymbolTable::CopyBytes(const unsigned char* bytes, size_t size) {
    delete[] bytes_;
    bytes_ = new unsigned char[size > 0 ? size : 1];
    if (size) memcpy(bytes_, bytes, size);
    size_ = size;
}

bool ElfSymbolTable::Open(const char* path) { return ReadFile(path) && Parse(); }

bool ElfSymbolTable::OpenBytes(const unsigned char* bytes, size_t size) {
    CopyBytes(bytes, size);
    return Parse();
}

bool ElfSymbolTable::OpenLibrary(const char* path) { return ReadFile(path) && ParseLibrary(); }

bool ElfSymbolTable::OpenLibraryBytes(const unsigned char* bytes, size_t size) {
    CopyBytes(bytes, size);
    return ParseLibrary();
}

bool ElfSymbolTable::Parse() {
    error_[0] = '\0';
    Clear();
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
        const char* refused = ReadSymbolSection(bytes_, size_, header, symtab, kSymbolTableTexts, &symbols_,
                                                &symbolCount_, &strings_, &stringsSize_);
        return refused ? Fail(refused) : true;
    }
    return Fail(kStripped);
}

bool ElfSymbolTable::Find(const char* name, uint32_t* value) const {
    return Lookup(symbols_, symbolCount_, strings_, stringsSize_, false, name, value, nullptr);
}

bool ElfSymbolTable::FindSized(const char* name, uint32_t* value, uint32_t* size) const {
    return Lookup(symbols_, symbolCount_, strings_, stringsSize_, false, name, value, size);
}

bool ElfSymbolTable::FindExport(const char* name, uint32_t* value) const {
    return Lookup(dynamic_, dynamicCount_, dynamicStrings_, dynamicStringsSize_, true, name, value, nullptr);
}

bool ElfSymbolTable::Lookup(const unsigned char* table, uint32_t count, const char* strings, uint32_t stringsSize,
                            bool exportsOnly, const char* name, uint32_t* value, uint32_t* size) const {
    if (!table || !name || !*name) return false;
    const size_t nameLength = strlen(name);
    for (uint32_t i = 0; i < count; ++i) {
        const Elf32_Sym symbol = ReadAt<Elf32_Sym>(table, size_t(i) * sizeof(Elf32_Sym));
        const int type = ELF32_ST_TYPE(symbol.st_info);
        if ((type != STT_FUNC && type != STT_OBJECT) || symbol.st_shndx == SHN_UNDEF) continue;
        if (exportsOnly && ELF32_ST_BIND(symbol.st_info) != STB_GLOBAL && ELF32_ST_BIND(symbol.st_info) != STB_WEAK)
            continue;
        // The name must lie, with its terminator, inside the string table.
        if (symbol.st_name >= stringsSize || stringsSize - symbol.st_name <= nameLength) continue;
        const char* candidate = strings + symbol.st_name;
        if (memcmp(candidate, name, nameLength) != 0 || candidate[nameLength] != '\0') continue;
        if (value) *value = symbol.st_value;
        if (size) *size = symbol.st_size;
        return true;
    }
    return false;
}

bool ElfSymbolTable::SymbolAt(bool exported, uint32_t index, ElfSymbolInfo* info) const {
    const unsigned char* table = exported ? dynamic_ : symbols_;
    const char* strings = exported ? dynamicStrings_ : strings_;
    const uint32_t stringsSize = exported ? dynamicStringsSize_ : stringsSize_;
    if (!table || index >= SymbolCount(exported)) return false;
    const Elf32_Sym symbol = ReadAt<Elf32_Sym>(table, size_t(index) * sizeof(Elf32_Sym));
    const int type = ELF32_ST_TYPE(symbol.st_info);
    if ((type != STT_FUNC && type != STT_OBJECT) || symbol.st_shndx == SHN_UNDEF) return false;
    const int bind = ELF32_ST_BIND(symbol.st_info);
    if (exported && bind != STB_GLOBAL && bind != STB_WEAK) return false;
    if (symbol.st_name >= stringsSize || !memchr(strings + symbol.st_name, 0, stringsSize - symbol.st_name))
        return false;
    if (info) *info = ElfSymbolInfo{strings + symbol.st_name, symbol.st_value, symbol.st_size, type == STT_FUNC};
    return true;
}

const char* ElfSymbolTable::FunctionAt(uint32_t address) const {
    const bool exported = symbols_ == nullptr;
    ElfSymbolInfo info;
    for (uint32_t i = 0; i < SymbolCount(exported); ++i) {
        if (SymbolAt(exported, i, &info) && info.function && info.value == address && info.name[0]) return info.name;
    }
    return nullptr;
}

bool ElfSymbolTable::AddressToOffset(uint32_t address, uint32_t length, uint32_t* offset) const {
    for (int i = 0; i < loadCount_; ++i) {
        const ElfCodeSegment& segment = load_[i];
        if (address < segment.address || uint64_t(address) + length > uint64_t(segment.address) + segment.size) continue;
        if (offset) *offset = segment.fileOffset + (address - segment.address);
        return true;
    }
    return false;
}

bool ElfSymbolTable::CodeOffsetToAddress(uint32_t offset, uint32_t* address) const {
    for (int i = 0; i < codeCount_; ++i) {
        const ElfCodeSegment& segment = code_[i];
        if (offset < segment.fileOffset || offset - segment.fileOffset >= segment.size) continue;
        if (address) *address = segment.address + (offset - segment.fileOffset);
        return true;
    }
    return false;
}

uint32_t ElfSymbolTable::RelocationAt(uint32_t index) const {
    for (int s = 0; s < kMaxRelocationSections; ++s) {
        if (index < relocationCounts_[s])
            return ReadAt<Elf32_Rel>(relocations_[s], size_t(index) * sizeof(Elf32_Rel)).r_offset;
        index -= relocationCounts_[s];
    }
    return 0;
}

bool ElfSymbolTable::ParseLibrary() {
    // Everything Open checks, except that a stripped file is accepted.
    if (!Parse()) {
        if (strcmp(error_, kStripped) != 0) return false;
        error_[0] = '\0';
    }
    const Elf32_Ehdr header = ReadAt<Elf32_Ehdr>(bytes_, 0);  // Parse checked the headers' place
    auto section = [&](uint32_t index) {
        return ReadAt<Elf32_Shdr>(bytes_, header.e_shoff + size_t(index) * sizeof(Elf32_Shdr));
    };
    // Section names, for finding the GOT; a file without them simply has no GOT address.
    const char* names = nullptr;
    uint32_t namesSize = 0;
    if (header.e_shstrndx != SHN_UNDEF && header.e_shstrndx < header.e_shnum) {
        const Elf32_Shdr shstrtab = section(header.e_shstrndx);
        if (shstrtab.sh_type == SHT_STRTAB && InFile(shstrtab.sh_offset, shstrtab.sh_size, size_)) {
            names = reinterpret_cast<const char*>(bytes_ + shstrtab.sh_offset);
            namesSize = shstrtab.sh_size;
        }
    }
    auto named = [&](const Elf32_Shdr& s, const char* name) {
        const size_t length = strlen(name);
        return names && s.sh_name < namesSize && namesSize - s.sh_name > length &&
               memcmp(names + s.sh_name, name, length + 1) == 0;
    };
    uint32_t got = 0, gotPlt = 0;
    int relocationSections = 0;
    for (uint32_t i = 0; i < header.e_shnum; ++i) {
        const Elf32_Shdr s = section(i);
        if (named(s, ".got.plt")) gotPlt = s.sh_addr;
        if (named(s, ".got")) got = s.sh_addr;
        if (s.sh_type == SHT_DYNSYM && !dynamic_) {
            const char* refused = ReadSymbolSection(bytes_, size_, header, s, kDynamicSymbolTexts, &dynamic_,
                                                    &dynamicCount_, &dynamicStrings_, &dynamicStringsSize_);
            if (refused) return Fail(refused);
        } else if (s.sh_type == SHT_REL && s.sh_size > 0) {
            if (s.sh_entsize != sizeof(Elf32_Rel)) return Fail("a relocation table has a wrong entry size");
            if (!InFile(s.sh_offset, s.sh_size, size_)) return Fail("a relocation table lies outside the library file");
            if (relocationSections == kMaxRelocationSections) return Fail("the library file has too many relocation tables");
            relocations_[relocationSections] = bytes_ + s.sh_offset;
            relocationCounts_[relocationSections] = s.sh_size / sizeof(Elf32_Rel);
            relocationCount_ += relocationCounts_[relocationSections];
            ++relocationSections;
        }
    }
    got_ = gotPlt ? gotPlt : got;

    if (header.e_phnum > 0) {
        if (header.e_phentsize != sizeof(Elf32_Phdr)) return Fail("the program headers have a wrong entry size");
        if (!InFile(header.e_phoff, uint64_t(header.e_phnum) * sizeof(Elf32_Phdr), size_))
            return Fail("the program headers lie outside the library file");
    }
    for (uint32_t i = 0; i < header.e_phnum; ++i) {
        const Elf32_Phdr p = ReadAt<Elf32_Phdr>(bytes_, header.e_phoff + size_t(i) * sizeof(Elf32_Phdr));
        if (p.p_type != PT_LOAD || p.p_filesz == 0) continue;
        if (p.p_filesz > p.p_memsz) return Fail("a segment claims more file bytes than it loads");
        if (!InFile(p.p_offset, p.p_filesz, size_)) return Fail("a segment lies outside the library file");
        if (uint64_t(p.p_vaddr) + p.p_memsz > UINT32_MAX) return Fail("a segment ends past the address space");
        if (loadCount_ == kMaxLoadSegments) return Fail("the library file has too many segments");
        const ElfCodeSegment segment{p.p_offset, p.p_vaddr, p.p_filesz};
        load_[loadCount_++] = segment;
        if (!(p.p_flags & PF_X)) continue;
        if (codeCount_ == kMaxCodeSegments) return Fail("the library file has too many code segments");
        code_[codeCount_++] = segment;
    }
    return true;
}
