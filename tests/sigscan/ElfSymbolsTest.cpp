#include "sigscan/ElfSymbols.h"

#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>
#include <link.h>
#include <string.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string GameLibrary() { return std::string(VL_GAME_DIR) + "/bin/server" VL_MODULE_SUFFIX; }

std::vector<unsigned char> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

template <typename T>
T Get(const std::vector<unsigned char>& bytes, size_t offset) {
    T value;
    memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}
template <typename T>
void Put(std::vector<unsigned char>& bytes, size_t offset, T value) {
    memcpy(bytes.data() + offset, &value, sizeof(T));
}

// The section header of the file's symbol table, found independently of the reader.
size_t SymtabHeaderOffset(const std::vector<unsigned char>& file) {
    const Elf32_Ehdr header = Get<Elf32_Ehdr>(file, 0);
    for (int i = 0; i < header.e_shnum; ++i) {
        const size_t at = header.e_shoff + i * sizeof(Elf32_Shdr);
        if (Get<Elf32_Shdr>(file, at).sh_type == SHT_SYMTAB) return at;
    }
    return 0;
}

// The file offset of the first symbol named `name` in the symbol table, found
// independently of the reader; 0 when there is none.
size_t SymbolOffset(const std::vector<unsigned char>& file, const char* name) {
    const Elf32_Ehdr header = Get<Elf32_Ehdr>(file, 0);
    const Elf32_Shdr symtab = Get<Elf32_Shdr>(file, SymtabHeaderOffset(file));
    const Elf32_Shdr strtab = Get<Elf32_Shdr>(file, header.e_shoff + symtab.sh_link * sizeof(Elf32_Shdr));
    for (uint32_t i = 0; i < symtab.sh_size / sizeof(Elf32_Sym); ++i) {
        const size_t at = symtab.sh_offset + i * sizeof(Elf32_Sym);
        const char* text = reinterpret_cast<const char*>(&file[strtab.sh_offset + Get<Elf32_Sym>(file, at).st_name]);
        if (strcmp(text, name) == 0) return at;
    }
    return 0;
}

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
    uint32_t value = 0;
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
    uint32_t value = 0;
    EXPECT_FALSE(table.Find("GameSwitchTeam", &value));

    EXPECT_FALSE(table.Open((std::string(VL_GAME_DIR) + "/no_such_library.so").c_str()));
    EXPECT_STREQ(table.Error(), "the library file cannot be opened");
    EXPECT_FALSE(table.Open(nullptr));

    // A text file, an empty file, and a 64-bit header.
    const unsigned char text[] = "\"VorlaneSigs\" { }";
    EXPECT_FALSE(table.OpenBytes(text, sizeof(text)));
    EXPECT_STREQ(table.Error(), "the library file is too short for an ELF header");
    EXPECT_FALSE(table.OpenBytes(text, 0));
    std::vector<unsigned char> file = ReadFile(GameLibrary());
    ASSERT_GT(file.size(), sizeof(Elf32_Ehdr));
    file[EI_CLASS] = ELFCLASS64;
    EXPECT_FALSE(table.OpenBytes(file.data(), file.size()));
    EXPECT_STREQ(table.Error(), "the library file is not a 32-bit little-endian ELF file");
}

TEST(ElfSymbolsTest, DamagedHeadersAndTablesNeverReadOutsideTheFile) {
    const std::vector<unsigned char> good = ReadFile(GameLibrary());
    ASSERT_GT(good.size(), 4096u);
    const size_t symtabAt = SymtabHeaderOffset(good);
    ASSERT_NE(symtabAt, 0u);
    const Elf32_Ehdr header = Get<Elf32_Ehdr>(good, 0);
    const Elf32_Shdr symtab = Get<Elf32_Shdr>(good, symtabAt);
    const size_t strtabAt = header.e_shoff + symtab.sh_link * sizeof(Elf32_Shdr);
    const Elf32_Shdr strtab = Get<Elf32_Shdr>(good, strtabAt);
    const size_t shEnd = header.e_shoff + header.e_shnum * sizeof(Elf32_Shdr);

    struct Damage {
        const char* what;
        void (*apply)(std::vector<unsigned char>&, size_t symtabAt, size_t strtabAt);
        const char* error;
    };
    const Damage damages[] = {
        {"section headers one byte past the end",
         [](std::vector<unsigned char>& f, size_t, size_t) {
             const Elf32_Ehdr h = Get<Elf32_Ehdr>(f, 0);
             f.resize(h.e_shoff + h.e_shnum * sizeof(Elf32_Shdr) - 1);
         },
         "the section headers lie outside the library file"},
        {"section header offset near 4 GB",
         [](std::vector<unsigned char>& f, size_t, size_t) {
             Put<uint32_t>(f, offsetof(Elf32_Ehdr, e_shoff), 0xFFFFFFF0u);
         },
         "the section headers lie outside the library file"},
        {"wrong section header size",
         [](std::vector<unsigned char>& f, size_t, size_t) { Put<uint16_t>(f, offsetof(Elf32_Ehdr, e_shentsize), 20); },
         "the library file has no section headers"},
        {"symbol table one byte longer than the file",
         [](std::vector<unsigned char>& f, size_t at, size_t) {
             Elf32_Shdr s = Get<Elf32_Shdr>(f, at);
             s.sh_size = static_cast<uint32_t>(f.size() - s.sh_offset + 1);
             Put(f, at, s);
         },
         "the symbol table lies outside the library file"},
        {"symbol table size wrapping past 4 GB",
         [](std::vector<unsigned char>& f, size_t at, size_t) {
             Elf32_Shdr s = Get<Elf32_Shdr>(f, at);
             s.sh_size = 0xFFFFFFFFu - s.sh_offset + 2;
             Put(f, at, s);
         },
         "the symbol table lies outside the library file"},
        {"wrong symbol entry size",
         [](std::vector<unsigned char>& f, size_t at, size_t) {
             Elf32_Shdr s = Get<Elf32_Shdr>(f, at);
             s.sh_entsize = 8;
             Put(f, at, s);
         },
         "the symbol table has a wrong entry size"},
        {"string table link equal to the section count",
         [](std::vector<unsigned char>& f, size_t at, size_t) {
             Elf32_Shdr s = Get<Elf32_Shdr>(f, at);
             s.sh_link = Get<Elf32_Ehdr>(f, 0).e_shnum;
             Put(f, at, s);
         },
         "the symbol table names no string table"},
        {"string table past the end",
         [](std::vector<unsigned char>& f, size_t, size_t at) {
             Elf32_Shdr s = Get<Elf32_Shdr>(f, at);
             s.sh_offset = static_cast<uint32_t>(f.size() - s.sh_size + 1);
             Put(f, at, s);
         },
         "the symbol names lie outside the library file"},
        {"string table of another type",
         [](std::vector<unsigned char>& f, size_t, size_t at) {
             Elf32_Shdr s = Get<Elf32_Shdr>(f, at);
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
    for (size_t size : {size_t(0), size_t(1), sizeof(Elf32_Ehdr) - 1, sizeof(Elf32_Ehdr), size_t(symtab.sh_offset),
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
    uint32_t value = 0;
    ASSERT_TRUE(table.Find("GameSwitchTeam", &value));
    for (uint32_t i = 0; i < symtab.sh_size / sizeof(Elf32_Sym); ++i) {
        const size_t at = symtab.sh_offset + i * sizeof(Elf32_Sym);
        Elf32_Sym symbol = Get<Elf32_Sym>(file, at);
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
    const size_t switchAt = SymbolOffset(file, "GameSwitchTeam");
    ASSERT_NE(switchAt, 0u);
    const Elf32_Sym switchTeam = Get<Elf32_Sym>(file, switchAt);
    const char name[] = "GameSwitchTeam";
    Elf32_Sym moved = switchTeam;
    moved.st_name = strtab.sh_size - sizeof(name);
    memcpy(&file[strtab.sh_offset + moved.st_name], name, sizeof(name));
    Put(file, switchAt, moved);
    ASSERT_TRUE(table.OpenBytes(file.data(), file.size()));
    ASSERT_TRUE(table.Find("GameSwitchTeam", &value));
    EXPECT_EQ(value, switchTeam.st_value);
    Elf32_Shdr shorter = strtab;
    shorter.sh_size -= 1;
    Put(file, strtabAt, shorter);
    ASSERT_TRUE(table.OpenBytes(file.data(), file.size()));
    EXPECT_FALSE(table.Find("GameSwitchTeam", &value));
}

// An undefined symbol (an import) is no definition, whatever its type and value: the
// definition after it is found, and with none, nothing is.
TEST(ElfSymbolsTest, UndefinedSymbolsAreNotDefinitions) {
    std::vector<unsigned char> file = ReadFile(GameLibrary());
    const size_t switchAt = SymbolOffset(file, "GameSwitchTeam");
    const size_t firstAt = Get<Elf32_Shdr>(file, SymtabHeaderOffset(file)).sh_offset + sizeof(Elf32_Sym);
    ASSERT_GT(switchAt, firstAt);
    const Elf32_Sym definition = Get<Elf32_Sym>(file, switchAt);
    ASSERT_NE(definition.st_shndx, SHN_UNDEF);

    Elf32_Sym import = definition;  // an import of the same name first in the table
    import.st_value = definition.st_value + 0x100;
    import.st_shndx = SHN_UNDEF;
    for (unsigned char type : {STT_FUNC, STT_OBJECT}) {
        import.st_info = ELF32_ST_INFO(STB_GLOBAL, type);
        Put(file, firstAt, import);
        ElfSymbolTable table;
        ASSERT_TRUE(table.OpenBytes(file.data(), file.size())) << table.Error();
        uint32_t value = 0;
        EXPECT_TRUE(table.Find("GameSwitchTeam", &value));
        EXPECT_EQ(value, definition.st_value) << "type " << int(type);
    }

    Elf32_Sym undefined = definition;
    undefined.st_shndx = SHN_UNDEF;
    Put(file, switchAt, undefined);
    ElfSymbolTable table;
    ASSERT_TRUE(table.OpenBytes(file.data(), file.size()));
    uint32_t value = 0;
    EXPECT_FALSE(table.Find("GameSwitchTeam", &value));
}
