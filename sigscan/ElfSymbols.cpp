// The symbol table and library reader. The file's class picks the ELF types once
// (ParseAs / ParseLibraryAs are written once, for either class's types); all arithmetic
// on offsets is done in 64 bits so that no sum of untrusted fields can wrap, and the
// 64-bit class's addresses are checked against its own address space as the 32-bit
// class's are against theirs.
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
T ReadAt(const unsigned char* bytes, uint64_t offset) {
    T value;
    memcpy(&value, bytes + offset, sizeof(T));  // the file gives no alignment guarantee
    return value;
}

// The types of one ELF class. Rel and Rela both begin with the patched place, r_offset,
// an address of the class's width.
struct Elf32Class {
    using Ehdr = Elf32_Ehdr;
    using Shdr = Elf32_Shdr;
    using Phdr = Elf32_Phdr;
    using Sym = Elf32_Sym;
    using Rel = Elf32_Rel;
    using Rela = Elf32_Rela;
    using Addr = Elf32_Addr;
    static const unsigned char kClass = ELFCLASS32;
};
struct Elf64Class {
    using Ehdr = Elf64_Ehdr;
    using Shdr = Elf64_Shdr;
    using Phdr = Elf64_Phdr;
    using Sym = Elf64_Sym;
    using Rel = Elf64_Rel;
    using Rela = Elf64_Rela;
    using Addr = Elf64_Addr;
    static const unsigned char kClass = ELFCLASS64;
};

// One symbol table entry, whichever class's layout it was read from.
struct Symbol {
    uint32_t name;
    unsigned char info;
    uint16_t section;
    uint64_t value;
    uint64_t size;
};

template <typename Class>
Symbol ReadSymbolAs(const unsigned char* table, uint32_t index) {
    const typename Class::Sym s = ReadAt<typename Class::Sym>(table, uint64_t(index) * sizeof(typename Class::Sym));
    return Symbol{s.st_name, s.st_info, s.st_shndx, s.st_value, s.st_size};
}

Symbol ReadSymbol(unsigned char elfClass, const unsigned char* table, uint32_t index) {
    return elfClass == ELFCLASS64 ? ReadSymbolAs<Elf64Class>(table, index) : ReadSymbolAs<Elf32Class>(table, index);
}

// Whether `symbol` is a definition of a function or data object (for the dynamic table's
// exports, a global or weak one).
bool Defined(const Symbol& symbol, bool exportsOnly) {
    const int type = ELF32_ST_TYPE(symbol.info);  // the same bits in both classes
    if ((type != STT_FUNC && type != STT_OBJECT) || symbol.section == SHN_UNDEF) return false;
    const int bind = ELF32_ST_BIND(symbol.info);
    return !exportsOnly || bind == STB_GLOBAL || bind == STB_WEAK;
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

// Section `index` of a file whose section headers Parse found inside it.
template <typename Class>
typename Class::Shdr SectionAt(const unsigned char* bytes, const typename Class::Ehdr& header, uint32_t index) {
    return ReadAt<typename Class::Shdr>(bytes, header.e_shoff + uint64_t(index) * sizeof(typename Class::Shdr));
}

// Checks symbol table section `table` of the file and the string table it names, and
// points *symbols / *strings into `bytes`. The reason it is refused, or null. The file
// is at most 4 GB, so the counts and sizes fit 32 bits once inside it.
template <typename Class>
const char* ReadSymbolSection(const unsigned char* bytes, size_t size, const typename Class::Ehdr& header,
                              const typename Class::Shdr& table, const SymbolSectionTexts& texts,
                              const unsigned char** symbols, uint32_t* symbolCount, const char** strings,
                              uint32_t* stringsSize) {
    if (table.sh_entsize != sizeof(typename Class::Sym)) return texts.wrongEntrySize;
    if (!InFile(table.sh_offset, table.sh_size, size)) return texts.outside;
    if (table.sh_link == 0 || table.sh_link >= header.e_shnum) return texts.noStrings;
    const typename Class::Shdr strtab = SectionAt<Class>(bytes, header, table.sh_link);
    if (strtab.sh_type != SHT_STRTAB || !InFile(strtab.sh_offset, strtab.sh_size, size)) return texts.namesOutside;
    *symbols = bytes + table.sh_offset;
    *symbolCount = static_cast<uint32_t>(table.sh_size / sizeof(typename Class::Sym));
    *strings = reinterpret_cast<const char*>(bytes + strtab.sh_offset);
    *stringsSize = static_cast<uint32_t>(strtab.sh_size);
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
    class_ = 0;
    machine_ = 0;
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
    // The identification bytes first (the 32-bit header is the shorter), then the
    // header of the class they name.
    if (size_ < sizeof(Elf32_Ehdr)) return Fail("the library file is too short for an ELF header");
    if (memcmp(bytes_, ELFMAG, SELFMAG) != 0) return Fail("the library file is not an ELF file");
    const unsigned char elfClass = bytes_[EI_CLASS];
    if ((elfClass != ELFCLASS32 && elfClass != ELFCLASS64) || bytes_[EI_DATA] != ELFDATA2LSB)
        return Fail("the library file is not a 32- or 64-bit little-endian ELF file");
#if SIZE_MAX > UINT32_MAX
    // Every in-file offset and size fits 32 bits from here on. Only bytes handed over in
    // memory to a 64-bit process can be larger (a file read is capped far below).
    if (size_ > UINT32_MAX) return Fail("the library file is larger than 4 GB");
#endif
    return elfClass == ELFCLASS64 ? ParseAs<Elf64Class>() : ParseAs<Elf32Class>();
}

template <typename Class>
bool ElfSymbolTable::ParseAs() {
    using Shdr = typename Class::Shdr;
    if (size_ < sizeof(typename Class::Ehdr)) return Fail("the library file is too short for an ELF header");
    const typename Class::Ehdr header = ReadAt<typename Class::Ehdr>(bytes_, 0);
    if (header.e_shnum == 0 || header.e_shentsize != sizeof(Shdr))
        return Fail("the library file has no section headers");
    if (!InFile(header.e_shoff, uint64_t(header.e_shnum) * sizeof(Shdr), size_))
        return Fail("the section headers lie outside the library file");
    class_ = Class::kClass;
    machine_ = header.e_machine;

    for (uint32_t i = 0; i < header.e_shnum; ++i) {
        const Shdr symtab = SectionAt<Class>(bytes_, header, i);
        if (symtab.sh_type != SHT_SYMTAB) continue;
        const char* refused = ReadSymbolSection<Class>(bytes_, size_, header, symtab, kSymbolTableTexts, &symbols_,
                                                       &symbolCount_, &strings_, &stringsSize_);
        return refused ? Fail(refused) : true;
    }
    return Fail(kStripped);
}

bool ElfSymbolTable::Find(const char* name, uintptr_t* value) const {
    uint64_t found = 0;
    if (!Lookup(symbols_, symbolCount_, strings_, stringsSize_, false, name, &found, nullptr)) return false;
    if (found > UINTPTR_MAX) return false;
    if (value) *value = static_cast<uintptr_t>(found);
    return true;
}

bool ElfSymbolTable::FindSized(const char* name, uint64_t* value, uint64_t* size) const {
    return Lookup(symbols_, symbolCount_, strings_, stringsSize_, false, name, value, size);
}

bool ElfSymbolTable::FindExport(const char* name, uint64_t* value) const {
    return Lookup(dynamic_, dynamicCount_, dynamicStrings_, dynamicStringsSize_, true, name, value, nullptr);
}

bool ElfSymbolTable::Lookup(const unsigned char* table, uint32_t count, const char* strings, uint32_t stringsSize,
                            bool exportsOnly, const char* name, uint64_t* value, uint64_t* size) const {
    if (!table || !name || !*name) return false;
    const size_t nameLength = strlen(name);
    for (uint32_t i = 0; i < count; ++i) {
        const Symbol symbol = ReadSymbol(class_, table, i);
        if (!Defined(symbol, exportsOnly)) continue;
        // The name must lie, with its terminator, inside the string table.
        if (symbol.name >= stringsSize || stringsSize - symbol.name <= nameLength) continue;
        const char* candidate = strings + symbol.name;
        if (memcmp(candidate, name, nameLength) != 0 || candidate[nameLength] != '\0') continue;
        if (value) *value = symbol.value;
        if (size) *size = symbol.size;
        return true;
    }
    return false;
}

bool ElfSymbolTable::SymbolAt(bool exported, uint32_t index, ElfSymbolInfo* info) const {
    const unsigned char* table = exported ? dynamic_ : symbols_;
    const char* strings = exported ? dynamicStrings_ : strings_;
    const uint32_t stringsSize = exported ? dynamicStringsSize_ : stringsSize_;
    if (!table || index >= SymbolCount(exported)) return false;
    const Symbol symbol = ReadSymbol(class_, table, index);
    if (!Defined(symbol, exported)) return false;
    if (symbol.name >= stringsSize || !memchr(strings + symbol.name, 0, stringsSize - symbol.name)) return false;
    if (info)
        *info = ElfSymbolInfo{strings + symbol.name, symbol.value, symbol.size, ELF32_ST_TYPE(symbol.info) == STT_FUNC};
    return true;
}

const char* ElfSymbolTable::FunctionAt(uint64_t address) const {
    const bool exported = symbols_ == nullptr;
    ElfSymbolInfo info;
    for (uint32_t i = 0; i < SymbolCount(exported); ++i) {
        if (SymbolAt(exported, i, &info) && info.function && info.value == address && info.name[0]) return info.name;
    }
    return nullptr;
}

bool ElfSymbolTable::AddressToOffset(uint64_t address, uint32_t length, uint32_t* offset) const {
    for (int i = 0; i < loadCount_; ++i) {
        const ElfCodeSegment& segment = load_[i];
        // Differences only: an address near the top of a 64-bit space plus `length` wraps.
        if (address < segment.address || address - segment.address > segment.size ||
            length > segment.size - (address - segment.address))
            continue;
        if (offset) *offset = segment.fileOffset + static_cast<uint32_t>(address - segment.address);
        return true;
    }
    return false;
}

bool ElfSymbolTable::CodeOffsetToAddress(uint32_t offset, uint64_t* address) const {
    for (int i = 0; i < codeCount_; ++i) {
        const ElfCodeSegment& segment = code_[i];
        if (offset < segment.fileOffset || offset - segment.fileOffset >= segment.size) continue;
        if (address) *address = segment.address + (offset - segment.fileOffset);
        return true;
    }
    return false;
}

uint64_t ElfSymbolTable::RelocationAt(uint32_t index) const {
    for (int s = 0; s < kMaxRelocationSections; ++s) {
        if (index < relocationCounts_[s]) {
            const uint64_t at = uint64_t(index) * relocationEntrySizes_[s];
            return class_ == ELFCLASS64 ? ReadAt<Elf64_Addr>(relocations_[s], at)
                                        : ReadAt<Elf32_Addr>(relocations_[s], at);
        }
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
    // Parse checked the class byte and the headers' place.
    return bytes_[EI_CLASS] == ELFCLASS64 ? ParseLibraryAs<Elf64Class>() : ParseLibraryAs<Elf32Class>();
}

template <typename Class>
bool ElfSymbolTable::ParseLibraryAs() {
    using Shdr = typename Class::Shdr;
    using Phdr = typename Class::Phdr;
    const typename Class::Ehdr header = ReadAt<typename Class::Ehdr>(bytes_, 0);
    class_ = Class::kClass;  // again: a stripped file's Parse cleared it
    machine_ = header.e_machine;
    // Section names, for finding the GOT; a file without them simply has no GOT address.
    const char* names = nullptr;
    uint64_t namesSize = 0;
    if (header.e_shstrndx != SHN_UNDEF && header.e_shstrndx < header.e_shnum) {
        const Shdr shstrtab = SectionAt<Class>(bytes_, header, header.e_shstrndx);
        if (shstrtab.sh_type == SHT_STRTAB && InFile(shstrtab.sh_offset, shstrtab.sh_size, size_)) {
            names = reinterpret_cast<const char*>(bytes_ + shstrtab.sh_offset);
            namesSize = shstrtab.sh_size;
        }
    }
    auto named = [&](const Shdr& s, const char* name) {
        const size_t length = strlen(name);
        return names && s.sh_name < namesSize && namesSize - s.sh_name > length &&
               memcmp(names + s.sh_name, name, length + 1) == 0;
    };
    uint64_t got = 0, gotPlt = 0;
    int relocationSections = 0;
    for (uint32_t i = 0; i < header.e_shnum; ++i) {
        const Shdr s = SectionAt<Class>(bytes_, header, i);
        if (named(s, ".got.plt")) gotPlt = s.sh_addr;
        if (named(s, ".got")) got = s.sh_addr;
        if (s.sh_type == SHT_DYNSYM && !dynamic_) {
            const char* refused = ReadSymbolSection<Class>(bytes_, size_, header, s, kDynamicSymbolTexts, &dynamic_,
                                                           &dynamicCount_, &dynamicStrings_, &dynamicStringsSize_);
            if (refused) return Fail(refused);
        } else if ((s.sh_type == SHT_REL || s.sh_type == SHT_RELA) && s.sh_size > 0) {
            const uint32_t entrySize =
                s.sh_type == SHT_REL ? sizeof(typename Class::Rel) : sizeof(typename Class::Rela);
            if (s.sh_entsize != entrySize) return Fail("a relocation table has a wrong entry size");
            if (!InFile(s.sh_offset, s.sh_size, size_)) return Fail("a relocation table lies outside the library file");
            if (relocationSections == kMaxRelocationSections)
                return Fail("the library file has too many relocation tables");
            relocations_[relocationSections] = bytes_ + s.sh_offset;
            relocationCounts_[relocationSections] = static_cast<uint32_t>(s.sh_size / entrySize);
            relocationEntrySizes_[relocationSections] = entrySize;
            relocationCount_ += relocationCounts_[relocationSections];
            ++relocationSections;
        }
    }
    got_ = gotPlt ? gotPlt : got;

    if (header.e_phnum > 0) {
        if (header.e_phentsize != sizeof(Phdr)) return Fail("the program headers have a wrong entry size");
        if (!InFile(header.e_phoff, uint64_t(header.e_phnum) * sizeof(Phdr), size_))
            return Fail("the program headers lie outside the library file");
    }
    // The class's own address space: a 32-bit file's segments end by 4 GB.
    const uint64_t lastAddress = static_cast<typename Class::Addr>(~typename Class::Addr(0));
    for (uint32_t i = 0; i < header.e_phnum; ++i) {
        const Phdr p = ReadAt<Phdr>(bytes_, header.e_phoff + uint64_t(i) * sizeof(Phdr));
        if (p.p_type != PT_LOAD || p.p_filesz == 0) continue;
        if (p.p_filesz > p.p_memsz) return Fail("a segment claims more file bytes than it loads");
        if (!InFile(p.p_offset, p.p_filesz, size_)) return Fail("a segment lies outside the library file");
        if (p.p_memsz > lastAddress - p.p_vaddr) return Fail("a segment ends past the address space");
        if (loadCount_ == kMaxLoadSegments) return Fail("the library file has too many segments");
        const ElfCodeSegment segment{static_cast<uint32_t>(p.p_offset), p.p_vaddr, static_cast<uint32_t>(p.p_filesz)};
        load_[loadCount_++] = segment;
        if (!(p.p_flags & PF_X)) continue;
        if (codeCount_ == kMaxCodeSegments) return Fail("the library file has too many code segments");
        code_[codeCount_++] = segment;
    }
    return true;
}
