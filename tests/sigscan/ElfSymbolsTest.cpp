#include "sigscan/ElfSymbols.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>
#include <string.h>

#include <string>
#include <vector>

#include "support/ElfFile.h"

namespace {

std::string GameLibrary() { return std::string(VL_GAME_DIR) + "/bin/server" VL_MODULE_SUFFIX; }

template <typename E>
size_t SymtabHeaderOffset(const std::vector<unsigned char>& file) {
    return SectionHeaderOffset<E>(file, SHT_SYMTAB);
}

// The file offset of the first symbol named `name` in the symbol table, found
// independently of the reader; 0 when there is none.
template <typename E>
size_t SymbolOffset(const std::vector<unsigned char>& file, const char* name) {
    using Sym = typename E::Sym;
    const typename E::Ehdr header = Get<typename E::Ehdr>(file, 0);
    const typename E::Shdr symtab = Get<typename E::Shdr>(file, SymtabHeaderOffset<E>(file));
    const auto strtab = Get<typename E::Shdr>(file, header.e_shoff + symtab.sh_link * sizeof(typename E::Shdr));
    for (uint32_t i = 0; i < symtab.sh_size / sizeof(Sym); ++i) {
        const size_t at = symtab.sh_offset + i * sizeof(Sym);
        const char* text = reinterpret_cast<const char*>(&file[strtab.sh_offset + Get<Sym>(file, at).st_name]);
        if (strcmp(text, name) == 0) return at;
    }
    return 0;
}

// A library file of class E as a linker lays one out: header, code, symbol table, names,
// section names, and the section headers last. Its table holds a local function, an
// exported function and object, and an import.
template <typename E>
std::vector<unsigned char> BuiltLibrary() {
    using Sym = typename E::Sym;
    using Offset = decltype(E::Shdr::sh_offset);
    const char names[] = "\0GameHiddenRespawn\0GameSwitchTeam\0GameData\0dlsym";  // at 1, 19, 34, 43
    const char sectionNames[] = "\0.text\0.symtab\0.strtab\0.shstrtab";           // at 1, 7, 15, 23
    std::vector<unsigned char> f(sizeof(typename E::Ehdr) + 64, 0x90);            // the code: nops
    auto append = [&f](const void* data, size_t size) {
        f.insert(f.end(), static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + size);
        return static_cast<Offset>(f.size() - size);
    };
    const unsigned char info[] = {ELF32_ST_INFO(STB_LOCAL, STT_FUNC), ELF32_ST_INFO(STB_GLOBAL, STT_FUNC),
                                  ELF32_ST_INFO(STB_GLOBAL, STT_OBJECT), ELF32_ST_INFO(STB_GLOBAL, STT_FUNC)};
    const uint32_t nameAt[] = {1, 19, 34, 43};
    Sym symbols[5] = {};
    for (int i = 0; i < 4; ++i) {
        symbols[i + 1].st_name = nameAt[i];
        symbols[i + 1].st_info = info[i];
        symbols[i + 1].st_shndx = i < 3 ? 1 : SHN_UNDEF;
        symbols[i + 1].st_value = sizeof(typename E::Ehdr) + 16 * i;
        symbols[i + 1].st_size = 16;
    }
    typename E::Shdr sections[5] = {};
    sections[1] = {1, SHT_PROGBITS, SHF_ALLOC | SHF_EXECINSTR, 0, sizeof(typename E::Ehdr), 64, 0, 0, 16, 0};
    sections[2] = {7, SHT_SYMTAB, 0, 0, append(symbols, sizeof(symbols)), sizeof(symbols), 3, 2, 8, sizeof(Sym)};
    sections[3] = {15, SHT_STRTAB, 0, 0, append(names, sizeof(names)), sizeof(names), 0, 0, 1, 0};
    const Offset sectionNamesAt = append(sectionNames, sizeof(sectionNames));
    sections[4] = {23, SHT_STRTAB, 0, 0, sectionNamesAt, sizeof(sectionNames), 0, 0, 1, 0};
    typename E::Ehdr header = {};
    memcpy(header.e_ident, ELFMAG, SELFMAG);
    header.e_ident[EI_CLASS] = E::kClass;
    header.e_ident[EI_DATA] = ELFDATA2LSB;
    header.e_type = ET_DYN;
    header.e_machine = E::kMachine;
    header.e_ehsize = sizeof(header);
    header.e_shoff = append(sections, sizeof(sections));
    header.e_shentsize = sizeof(typename E::Shdr);
    header.e_shnum = 5;
    header.e_shstrndx = 4;
    Put(f, 0, header);
    return f;
}

// A library file of class E to damage: the game library as built, for this build's own
// class; the tree builds no library of the other class, so that one is laid out here.
template <typename E>
std::vector<unsigned char> LibraryFile() {
    if constexpr (E::kClass == NativeElfTypes::kClass) {
        return ReadFileBytes(GameLibrary());
    } else {
        return BuiltLibrary<E>();
    }
}

// The tests that read files of either class.
template <typename E>
class ElfSymbolsClassTest : public ::testing::Test {};
using ElfClasses = ::testing::Types<Elf32Types, Elf64Types>;
TYPED_TEST_SUITE(ElfSymbolsClassTest, ElfClasses);

}  // namespace

TEST(ElfSymbolsTest, HiddenAndExportedFunctionsResolveToTheirLoadedAddresses) {
    ElfSymbolTable table;
    ASSERT_TRUE(table.Open(GameLibrary().c_str())) << table.Error();
    EXPECT_STREQ(table.Error(), "");

    void* handle = dlopen(GameLibrary().c_str(), RTLD_NOW);
    ASSERT_NE(handle, nullptr);
    link_map* map = nullptr;
    ASSERT_EQ(dlinfo(handle, RTLD_DI_LINKMAP, &map), 0);

    // An exported function: the table's value plus the load base is what dlsym says.
    uintptr_t value = 0;
    ASSERT_TRUE(table.Find("GameSwitchTeam", &value));
    EXPECT_EQ(reinterpret_cast<void*>(map->l_addr + value), dlsym(handle, "GameSwitchTeam"));

    // A hidden function is in the full table only, and its code starts where the
    // loader mapped it: the stub's first bytes are push ebp; mov ebp, esp; mov eax, 'VLR1'.
    EXPECT_EQ(dlsym(handle, "GameHiddenRespawn"), nullptr);
    ASSERT_TRUE(table.Find("GameHiddenRespawn", &value));
    const unsigned char expected[] = {0x55, 0x89, 0xE5, 0xB8, 0x31, 0x52, 0x4C, 0x56, 0x5D, 0xE9};
    EXPECT_EQ(memcmp(reinterpret_cast<const void*>(map->l_addr + value), expected, sizeof(expected)), 0);

    // Whole names only.
    EXPECT_FALSE(table.Find("GameHidden", &value));
    EXPECT_FALSE(table.Find("GameHiddenRespawnX", &value));
    EXPECT_FALSE(table.Find("", &value));
    EXPECT_FALSE(table.Find(nullptr, &value));
    dlclose(handle);
}

TEST(ElfSymbolsTest, StrippedMissingAndForeignFilesFailWithAReason) {
    ElfSymbolTable table;
    EXPECT_FALSE(table.Open((std::string(VL_GAME_DIR) + "/bin/" VL_STRIPPED_GAME_LIBRARY).c_str()));
    EXPECT_STREQ(table.Error(), "the library file has no symbol table (stripped)");
    uintptr_t value = 0;
    EXPECT_FALSE(table.Find("GameSwitchTeam", &value));

    EXPECT_FALSE(table.Open((std::string(VL_GAME_DIR) + "/no_such_library.so").c_str()));
    EXPECT_STREQ(table.Error(), "the library file cannot be opened");
    EXPECT_FALSE(table.Open(nullptr));

    // A text file, an empty file, a class of neither size, and a big-endian file.
    const unsigned char text[] = "\"VorlaneSigs\" { }";
    EXPECT_FALSE(table.OpenBytes(text, sizeof(text)));
    EXPECT_STREQ(table.Error(), "the library file is too short for an ELF header");
    EXPECT_FALSE(table.OpenBytes(text, 0));
    for (int at : {EI_CLASS, EI_DATA}) {
        std::vector<unsigned char> file = ReadFileBytes(GameLibrary());
        ASSERT_GT(file.size(), sizeof(Elf32_Ehdr));
        file[at] = at == EI_CLASS ? ELFCLASS64 + 1 : ELFDATA2MSB;
        EXPECT_FALSE(table.OpenBytes(file.data(), file.size()));
        EXPECT_STREQ(table.Error(), "the library file is not a 32- or 64-bit little-endian ELF file");
    }
}

TYPED_TEST(ElfSymbolsClassTest, DamagedHeadersAndTablesNeverReadOutsideTheFile) {
    using Ehdr = typename TypeParam::Ehdr;
    using Shdr = typename TypeParam::Shdr;
    using Sym = typename TypeParam::Sym;
    const std::vector<unsigned char> good = LibraryFile<TypeParam>();
    ASSERT_GT(good.size(), 256u);
    const size_t symtabAt = SymtabHeaderOffset<TypeParam>(good);
    ASSERT_NE(symtabAt, 0u);
    const Ehdr header = Get<Ehdr>(good, 0);
    const Shdr symtab = Get<Shdr>(good, symtabAt);
    const size_t strtabAt = header.e_shoff + symtab.sh_link * sizeof(Shdr);
    const Shdr strtab = Get<Shdr>(good, strtabAt);
    const size_t shEnd = header.e_shoff + header.e_shnum * sizeof(Shdr);

    struct Damage {
        const char* what;
        void (*apply)(std::vector<unsigned char>&, size_t symtabAt, size_t strtabAt);
        const char* error;
    };
    const Damage damages[] = {
        {"section headers one byte past the end",
         [](std::vector<unsigned char>& f, size_t, size_t) {
             const Ehdr h = Get<Ehdr>(f, 0);
             f.resize(h.e_shoff + h.e_shnum * sizeof(Shdr) - 1);
         },
         "the section headers lie outside the library file"},
        {"section header offset near the end of the class's range",
         [](std::vector<unsigned char>& f, size_t, size_t) {
             Put(f, offsetof(Ehdr, e_shoff), decltype(Ehdr::e_shoff)(0) - 16);
         },
         "the section headers lie outside the library file"},
        {"the other class's section header size",
         [](std::vector<unsigned char>& f, size_t, size_t) {
             Put<uint16_t>(f, offsetof(Ehdr, e_shentsize), sizeof(typename TypeParam::Other::Shdr));
         },
         "the library file has no section headers"},
        {"symbol table one byte longer than the file",
         [](std::vector<unsigned char>& f, size_t at, size_t) {
             Shdr s = Get<Shdr>(f, at);
             s.sh_size = f.size() - s.sh_offset + 1;
             Put(f, at, s);
         },
         "the symbol table lies outside the library file"},
        {"symbol table size wrapping past the end of the class's range",
         [](std::vector<unsigned char>& f, size_t at, size_t) {
             Shdr s = Get<Shdr>(f, at);
             s.sh_size = decltype(s.sh_size)(0) - s.sh_offset + 1;
             Put(f, at, s);
         },
         "the symbol table lies outside the library file"},
        {"the other class's symbol entry size",
         [](std::vector<unsigned char>& f, size_t at, size_t) {
             Shdr s = Get<Shdr>(f, at);
             s.sh_entsize = sizeof(typename TypeParam::Other::Sym);
             Put(f, at, s);
         },
         "the symbol table has a wrong entry size"},
        {"string table link equal to the section count",
         [](std::vector<unsigned char>& f, size_t at, size_t) {
             Shdr s = Get<Shdr>(f, at);
             s.sh_link = Get<Ehdr>(f, 0).e_shnum;
             Put(f, at, s);
         },
         "the symbol table names no string table"},
        {"string table past the end",
         [](std::vector<unsigned char>& f, size_t, size_t at) {
             Shdr s = Get<Shdr>(f, at);
             s.sh_offset = f.size() - s.sh_size + 1;
             Put(f, at, s);
         },
         "the symbol names lie outside the library file"},
        {"string table of another type",
         [](std::vector<unsigned char>& f, size_t, size_t at) {
             Shdr s = Get<Shdr>(f, at);
             s.sh_type = SHT_PROGBITS;
             Put(f, at, s);
         },
         "the symbol names lie outside the library file"},
    };
    for (const Damage& damage : damages) {
        std::vector<unsigned char> file = good;
        damage.apply(file, symtabAt, strtabAt);
        // A private copy of exactly the damaged size, so that AddressSanitizer sees any
        // read past its end.
        std::vector<unsigned char> exact(file);
        ElfSymbolTable table;
        EXPECT_FALSE(table.OpenBytes(exact.data(), exact.size())) << damage.what;
        EXPECT_STREQ(table.Error(), damage.error) << damage.what;
    }

    // Truncated anywhere before the section headers end (they end the file): a failure,
    // never a fault.
    ASSERT_EQ(shEnd, good.size());
    for (size_t size : {size_t(0), size_t(1), sizeof(Ehdr) - 1, sizeof(Ehdr), size_t(symtab.sh_offset),
                        size_t(strtab.sh_offset + strtab.sh_size - 1), shEnd - 1}) {
        std::vector<unsigned char> file(good.begin(), good.begin() + size);
        ElfSymbolTable table;
        EXPECT_FALSE(table.OpenBytes(file.data(), file.size())) << size;
    }

    // A symbol whose name offset is the last byte of the string table, or past it, is
    // skipped; the lookup of its name fails instead of reading on.
    std::vector<unsigned char> file = good;
    ElfSymbolTable table;
    ASSERT_TRUE(table.OpenBytes(file.data(), file.size()));
    EXPECT_EQ(table.FileClass(), TypeParam::kClass);
    EXPECT_EQ(table.Machine(), TypeParam::kMachine);
    uintptr_t value = 0;
    ASSERT_TRUE(table.Find("GameSwitchTeam", &value));
    for (uint32_t i = 0; i < symtab.sh_size / sizeof(Sym); ++i) {
        const size_t at = symtab.sh_offset + i * sizeof(Sym);
        Sym symbol = Get<Sym>(file, at);
        if (strcmp(reinterpret_cast<const char*>(&file[strtab.sh_offset + symbol.st_name]), "GameSwitchTeam") == 0) {
            symbol.st_name = strtab.sh_size - 1;
            Put(file, at, symbol);
        } else {
            symbol.st_name = strtab.sh_size + i;
            Put(file, at, symbol);
        }
    }
    ASSERT_TRUE(table.OpenBytes(file.data(), file.size()));
    EXPECT_FALSE(table.Find("GameSwitchTeam", &value));

    // A name that ends exactly at the end of the string table has its terminator outside
    // it, so it is no name. GameSwitchTeam's name, with its 0, moved to the table's last
    // bytes: found. The table then one byte shorter, so that the 0 lies just past it:
    // not found.
    file = good;
    const size_t switchAt = SymbolOffset<TypeParam>(file, "GameSwitchTeam");
    ASSERT_NE(switchAt, 0u);
    const Sym switchTeam = Get<Sym>(file, switchAt);
    const char name[] = "GameSwitchTeam";
    Sym moved = switchTeam;
    moved.st_name = strtab.sh_size - sizeof(name);
    memcpy(&file[strtab.sh_offset + moved.st_name], name, sizeof(name));
    Put(file, switchAt, moved);
    ASSERT_TRUE(table.OpenBytes(file.data(), file.size()));
    ASSERT_TRUE(table.Find("GameSwitchTeam", &value));
    EXPECT_EQ(value, switchTeam.st_value);
    Shdr shorter = strtab;
    shorter.sh_size -= 1;
    Put(file, strtabAt, shorter);
    ASSERT_TRUE(table.OpenBytes(file.data(), file.size()));
    EXPECT_FALSE(table.Find("GameSwitchTeam", &value));
}

// An undefined symbol (an import) is no definition, whatever its type and value: the
// definition after it is found, and with none, nothing is.
TYPED_TEST(ElfSymbolsClassTest, UndefinedSymbolsAreNotDefinitions) {
    using Sym = typename TypeParam::Sym;
    std::vector<unsigned char> file = LibraryFile<TypeParam>();
    const size_t switchAt = SymbolOffset<TypeParam>(file, "GameSwitchTeam");
    const size_t firstAt =
        Get<typename TypeParam::Shdr>(file, SymtabHeaderOffset<TypeParam>(file)).sh_offset + sizeof(Sym);
    ASSERT_GT(switchAt, firstAt);
    const Sym definition = Get<Sym>(file, switchAt);
    ASSERT_NE(definition.st_shndx, SHN_UNDEF);

    Sym import = definition;  // an import of the same name first in the table
    import.st_value = definition.st_value + 0x100;
    import.st_shndx = SHN_UNDEF;
    for (unsigned char type : {STT_FUNC, STT_OBJECT}) {
        import.st_info = ELF32_ST_INFO(STB_GLOBAL, type);
        Put(file, firstAt, import);
        ElfSymbolTable table;
        ASSERT_TRUE(table.OpenBytes(file.data(), file.size())) << table.Error();
        uintptr_t value = 0;
        EXPECT_TRUE(table.Find("GameSwitchTeam", &value));
        EXPECT_EQ(value, definition.st_value) << "type " << int(type);
    }

    Sym undefined = definition;
    undefined.st_shndx = SHN_UNDEF;
    Put(file, switchAt, undefined);
    ElfSymbolTable table;
    ASSERT_TRUE(table.OpenBytes(file.data(), file.size()));
    uintptr_t value = 0;
    EXPECT_FALSE(table.Find("GameSwitchTeam", &value));
}

// A 64-bit file's symbol value and size reach the tool whole. Turned into an offset from
// a load base in this process, a value that does not fit a pointer is refused, never cut
// to its low bits; the largest value a 32-bit pointer holds is still taken.
TEST(ElfSymbolsTest, SixtyFourBitValuesAreWholeAndRefusedWhereTheyDoNotFitAPointer) {
    std::vector<unsigned char> file = LibraryFile<Elf64Types>();
    const size_t switchAt = SymbolOffset<Elf64Types>(file, "GameSwitchTeam");
    ASSERT_NE(switchAt, 0u);
    Elf64_Sym symbol = Get<Elf64_Sym>(file, switchAt);
    for (uint64_t value : {uint64_t(UINT32_MAX), uint64_t(UINT32_MAX) + 1 + symbol.st_value}) {
        symbol.st_value = value;
        symbol.st_size = value + 1;
        Put(file, switchAt, symbol);
        ElfSymbolTable table;
        ASSERT_TRUE(table.OpenBytes(file.data(), file.size())) << table.Error();
        uint64_t found = 0, size = 0;
        ASSERT_TRUE(table.FindSized("GameSwitchTeam", &found, &size));
        EXPECT_EQ(found, value);
        EXPECT_EQ(size, value + 1);
        uintptr_t address = 0;
        const bool fits = value <= UINTPTR_MAX;
        EXPECT_EQ(table.Find("GameSwitchTeam", &address), fits) << value;
        EXPECT_EQ(address, fits ? value : 0u) << value;
    }
}
