#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/ElfFile.h"
#include "tools/vlsig/DataFile.h"
#include "tools/vlsig/SignatureMaker.h"

namespace {

std::string Library(const char* name = "server" VL_MODULE_SUFFIX) { return std::string(VL_GAME_DIR) + "/bin/" + name; }
// The x86-64 library built from Library64.S.
std::string Library64(const char* name = "library64.so") { return std::string(VL_LIBRARY64_DIR) + "/" + name; }

std::string MaskOf(InstructionMasker& masker, std::vector<unsigned char> code, uint64_t address = 0x1000) {
    std::string mask;
    masker.Mask(code.data(), code.size(), address, &mask);
    return mask;
}

// A made signature's bytes in hexadecimal with "??" for each wildcarded byte (whose value
// is the library's own, not something the signature asks for).
std::string MaskedHex(const MadeSignature& made) {
    std::string hex = made.Hex();
    for (size_t i = 0; i < made.mask.size(); ++i) {
        if (made.mask[i] == '?') hex.replace(2 * i, 2, "??");
    }
    return hex;
}

// A library of each class, its stripped copy, and the first bytes of its GameHiddenRespawn:
// the game library (of this build's class) and the x86-64 one, which is small enough for
// its relocations to be listed (`kSmall`).
struct GameLibraryTypes : NativeElfTypes {
    static std::string Path(bool stripped) {
        const std::string path = Library();  // its stripped copy lies beside it, as <name>_stripped.so
        return stripped ? path.substr(0, path.size() - 3) + "_stripped.so" : path;
    }
    static std::vector<unsigned char> Respawn() { return {0x55, 0x89, 0xE5, 0xB8, 0x31, 0x52, 0x4C, 0x56, 0x5D, 0xE9}; }
    static constexpr bool kSmall = false;
};
struct Library64Types : Elf64Types {
    static std::string Path(bool stripped) { return Library64(stripped ? "library64_stripped.so" : "library64.so"); }
    static std::vector<unsigned char> Respawn() { return {0x55, 0x48, 0x89, 0xE5, 0x8B, 0x05}; }
    static constexpr bool kSmall = true;
};
template <typename E>
class VlsigLibraryTest : public ::testing::Test {};
using Libraries = ::testing::Types<GameLibraryTypes, Library64Types>;
TYPED_TEST_SUITE(VlsigLibraryTest, Libraries);

}  // namespace

TEST(VlsigTest, MaskWildcardsWhatABuildChangesAndKeepsTheRest) {
    const std::vector<uint64_t> relocations = {0x2001};  // patches 0x2001..0x2004 (0x2008 in x86-64 code)
    InstructionMasker masker(0x3000, &relocations, false);
    ASSERT_TRUE(masker.Ready());
    // A relative call and jumps: their displacements, short and near.
    EXPECT_EQ(MaskOf(masker, {0xE8, 0x10, 0x00, 0x00, 0x00}), "x????");
    EXPECT_EQ(MaskOf(masker, {0xEB, 0x05}), "x?");
    EXPECT_EQ(MaskOf(masker, {0x74, 0x15}), "x?");
    EXPECT_EQ(MaskOf(masker, {0x0F, 0x84, 0x00, 0x01, 0x00, 0x00}), "xx????");
    // A global's absolute address: as a displacement (the constant stays) and as moffs.
    EXPECT_EQ(MaskOf(masker, {0xC7, 0x05, 0x78, 0x56, 0x34, 0x12, 0x05, 0x00, 0x00, 0x00}), "xx????xxxx");
    EXPECT_EQ(MaskOf(masker, {0xA1, 0x78, 0x56, 0x34, 0x12}), "x????");
    // PIC: an offset from the GOT register, and the add that reaches the GOT from the
    // PC (0x1000 + 0x2000 = the GOT); the same add of a constant stays.
    EXPECT_EQ(MaskOf(masker, {0x8D, 0x83, 0xF0, 0xFF, 0xFF, 0xFF}), "xx????");
    EXPECT_EQ(MaskOf(masker, {0x81, 0xC3, 0x00, 0x20, 0x00, 0x00}), "xx????");
    EXPECT_EQ(MaskOf(masker, {0x81, 0xC3, 0x00, 0x20, 0x00, 0x00}, 0x1004), "xxxxxx");
    EXPECT_EQ(MaskOf(masker, {0x05, 0x00, 0x20, 0x00, 0x00}), "x????");
    // A small stack offset stays; an immediate the loader relocates goes, one it does not stays.
    EXPECT_EQ(MaskOf(masker, {0x8B, 0x45, 0x08}), "xxx");
    EXPECT_EQ(MaskOf(masker, {0xB8, 0x31, 0x52, 0x4C, 0x56}, 0x2000), "x????");
    EXPECT_EQ(MaskOf(masker, {0x90, 0xB8, 0x31, 0x52, 0x4C, 0x56}, 0x1FFF), "xx????");
    EXPECT_EQ(MaskOf(masker, {0xB8, 0x31, 0x52, 0x4C, 0x56}, 0x1FFB), "xxxxx");
    // Whole instructions only: a cut one and what follows a return are left out.
    EXPECT_EQ(MaskOf(masker, {0x55, 0xE8, 0x10, 0x00}), "x");
    EXPECT_EQ(MaskOf(masker, {0x5D, 0xC3, 0x90, 0x90}), "xx");

    // x86-64: the same bytes are a RIP-relative load, and go too; so does the displacement
    // of one under an operand-size prefix, the 8-byte moffs, and every byte of an 8-byte
    // word the loader patches. The 32-bit GOT rule does not apply.
    InstructionMasker masker64(0x3000, &relocations, true);
    ASSERT_TRUE(masker64.Ready());
    EXPECT_EQ(MaskOf(masker64, {0x8B, 0x05, 0x78, 0x56, 0x34, 0x12}), "xx????");
    EXPECT_EQ(MaskOf(masker64, {0x48, 0x8D, 0x05, 0xF0, 0xFF, 0xFF, 0xFF}), "xxx????");
    EXPECT_EQ(MaskOf(masker64, {0x66, 0x0F, 0x6F, 0x05, 0x10, 0x00, 0x00, 0x00}), "xxxx????");
    EXPECT_EQ(MaskOf(masker64, {0x48, 0xA1, 1, 2, 3, 4, 5, 6, 7, 8}), "xx????????");
    EXPECT_EQ(MaskOf(masker64, {0x48, 0xB8, 1, 2, 3, 4, 5, 6, 7, 8}, 0x1FFF), "xx????????");
    EXPECT_EQ(MaskOf(masker64, {0x05, 0x00, 0x20, 0x00, 0x00}), "xxxxx");
    EXPECT_EQ(MaskOf(masker64, {0xE8, 0x10, 0x00, 0x00, 0x00, 0x48, 0x8B, 0x45, 0x08, 0xC3}), "x????xxxxx");
}

TEST(VlsigTest, MadeSignaturesAreTheShortestThatMatchOnceAtTheFunction) {
    LibraryImage images[2];
    ASSERT_TRUE(images[0].Open(Library().c_str())) << images[0].Error();
    ASSERT_TRUE(images[1].Open(Library64().c_str())) << images[1].Error();
    InstructionMasker maskers[] = {InstructionMasker(images[0]), InstructionMasker(images[1])};
    // The assembly stubs: Respawn differs from the twins at its fifth byte, TwinA from
    // TwinB at its ninth, or in the x86-64 library (1), after a wildcarded RIP-relative
    // displacement. One byte less matches more than one place.
    const struct {
        int library;
        const char* name;
        const char* hex;
        const char* mask;
    } cases[] = {{0, "GameHiddenRespawn", "5589E5B831", "xxxxx"},
                 {0, "GameHiddenTwinA", "5589E5B832524C565D", "xxxxxxxxx"},
                 {0, "GameHiddenTwinB", "5589E5B832524C5690", "xxxxxxxxx"},
                 {1, "GameHiddenRespawn", "554889E58B", "xxxxx"},
                 {1, "GameHiddenTwinA", "554889E5660F6F05????????5D", "xxxxxxxx????x"},
                 {1, "GameHiddenTwinB", "554889E5660F6F05????????90", "xxxxxxxx????x"}};
    for (const auto& c : cases) {
        LibraryImage& image = images[c.library];
        uint64_t address = 0, size = 0;
        ASSERT_TRUE(image.FindInSymbolTable(c.name, &address, &size)) << c.name;
        MadeSignature made;
        ASSERT_TRUE(MakeSignature(image, maskers[c.library], address, size, &made)) << c.name << ": " << made.error;
        EXPECT_EQ(MaskedHex(made), c.hex) << c.name;
        EXPECT_EQ(made.mask, c.mask) << c.name;
        const auto* bytes = reinterpret_cast<const unsigned char*>(made.bytes.data());
        EXPECT_GT(image.Scanner().Count(bytes, made.mask.c_str(), made.bytes.size() - 1, nullptr), 1u) << c.name;
    }
    // A function with a twin up to relocations has none; an address outside the code neither.
    LibraryImage& image = images[0];
    InstructionMasker& masker = maskers[0];
    uint64_t address = 0, size = 0;
    ASSERT_TRUE(image.FindInSymbolTable("GameCommitSuicide", &address, &size));
    MadeSignature made;
    EXPECT_FALSE(MakeSignature(image, masker, address, size, &made));
    // (Its length is the compiler's: the sanitizer build's code is longer.)
    uint64_t end = 0;
    ASSERT_TRUE(image.FindInSymbolTable("GameHiddenSlay", &end, &size));
    EXPECT_EQ(made.error, "no unique signature in its first " + std::to_string(size) +
                              " bytes (2 places match them all)");
    ASSERT_TRUE(image.FindExport("g_TempEntities", &address));
    EXPECT_FALSE(MakeSignature(image, masker, address, 4, &made));
    EXPECT_EQ(made.error, "the function's address is not in the library's code");
}

TYPED_TEST(VlsigLibraryTest, LibraryFileGivesExportsCodeAndAddressesWithinItsBytes) {
    using Shdr = typename TypeParam::Shdr;
    using Phdr = typename TypeParam::Phdr;
    ElfSymbolTable full, stripped;
    ASSERT_TRUE(full.OpenLibrary(TypeParam::Path(false).c_str())) << full.Error();
    ASSERT_TRUE(stripped.OpenLibrary(TypeParam::Path(true).c_str())) << stripped.Error();
    EXPECT_TRUE(full.HasSymbolTable());
    EXPECT_FALSE(stripped.HasSymbolTable());
    EXPECT_EQ(stripped.FileClass(), TypeParam::kClass);
    uint64_t exported = 0, inTable = 0, strippedExport = 0;
    ASSERT_TRUE(stripped.FindExport("GameSwitchTeam", &strippedExport));
    ASSERT_TRUE(full.FindExport("GameSwitchTeam", &exported));
    ASSERT_TRUE(full.FindSized("GameSwitchTeam", &inTable, nullptr));
    EXPECT_EQ(exported, inTable);
    EXPECT_EQ(strippedExport, inTable);
    EXPECT_FALSE(full.FindExport("GameHiddenRespawn", &exported));  // local: in the full table only
    EXPECT_FALSE(full.FindExport("dlsym", &exported));              // an import is no export
    EXPECT_NE(full.GotAddress(), 0u);

    // The stub's bytes, through the address mapping.
    ASSERT_TRUE(full.FindSized("GameHiddenRespawn", &inTable, nullptr));
    const std::vector<unsigned char> stub = TypeParam::Respawn();
    uint32_t offset = 0;
    ASSERT_TRUE(full.AddressToOffset(inTable, stub.size(), &offset));
    EXPECT_EQ(memcmp(full.FileBytes() + offset, stub.data(), stub.size()), 0);
    uint64_t back = 0;
    ASSERT_TRUE(full.CodeOffsetToAddress(offset, &back));
    EXPECT_EQ(back, inTable);

    // A code segment's last byte maps, the byte after it does not (in code), nor bytes
    // whose end wraps past the top of the address space.
    ASSERT_GT(full.CodeSegmentCount(), 0);
    const ElfCodeSegment code = full.CodeSegment(0);
    const uint64_t last = code.address + code.size - 1;
    ASSERT_TRUE(full.AddressToOffset(last, 1, &offset));
    EXPECT_EQ(offset, code.fileOffset + code.size - 1);
    EXPECT_TRUE(full.CodeOffsetToAddress(code.fileOffset + code.size - 1, &back));
    EXPECT_FALSE(full.CodeOffsetToAddress(code.fileOffset + code.size, &back));
    EXPECT_FALSE(full.AddressToOffset(0xFFFFFFF0u, 0x20, &offset));
    EXPECT_FALSE(full.AddressToOffset(UINT64_MAX - 0xF, 0x20, &offset));

    // The places relocations patch, from the class's own kind of table: the first PLT
    // slot (after the GOT's three reserved words); in the x86-64 library, exactly its
    // GOT slot of GameData, that PLT slot, and GameTable's two pointers.
    LibraryImage image;
    ASSERT_TRUE(image.Open(TypeParam::Path(false).c_str())) << image.Error();
    const std::vector<uint64_t>& relocations = image.Relocations();
    const uint64_t word = TypeParam::kClass == ELFCLASS64 ? 8 : 4;
    EXPECT_TRUE(std::binary_search(relocations.begin(), relocations.end(), full.GotAddress() + 3 * word));
    if (TypeParam::kSmall) {
        uint64_t table = 0;
        ASSERT_TRUE(full.FindSized("GameTable", &table, nullptr));
        EXPECT_EQ(relocations.size(), 4u);
        EXPECT_TRUE(std::binary_search(relocations.begin(), relocations.end(), table));
        EXPECT_TRUE(std::binary_search(relocations.begin(), relocations.end(), table + 8));
    }

    // Damaged program headers and relocation tables fail with a reason and leave nothing
    // to read; a segment that ends at the last address of its class's space is taken.
    const std::vector<unsigned char> file = ReadFileBytes(TypeParam::Path(false));
    const typename TypeParam::Ehdr header = Get<typename TypeParam::Ehdr>(file, 0);
    auto damaged = [&](size_t at, auto value, const char* reason) {
        std::vector<unsigned char> copy = file;
        Put(copy, at, value);
        ElfSymbolTable table;
        EXPECT_EQ(table.OpenLibraryBytes(copy.data(), copy.size()), reason == nullptr) << reason;
        EXPECT_STREQ(table.Error(), reason ? reason : "");
        if (!reason) return;
        EXPECT_EQ(table.CodeSegmentCount(), 0);
        uint64_t value2 = 0;
        EXPECT_FALSE(table.FindExport("GameSwitchTeam", &value2));
    };
    damaged(offsetof(typename TypeParam::Ehdr, e_phoff), decltype(header.e_phoff)(file.size() - 31),
            "the program headers lie outside the library file");
    size_t phdr = header.e_phoff;
    while (Get<Phdr>(file, phdr).p_type != PT_LOAD || Get<Phdr>(file, phdr).p_vaddr == 0) phdr += sizeof(Phdr);
    const Phdr load = Get<Phdr>(file, phdr);
    using Size = decltype(load.p_memsz);
    damaged(phdr + offsetof(Phdr, p_filesz), Size(load.p_memsz + 1), "a segment claims more file bytes than it loads");
    damaged(phdr + offsetof(Phdr, p_offset), Size(file.size() - load.p_filesz + 1),
            "a segment lies outside the library file");
    damaged(phdr + offsetof(Phdr, p_memsz), Size(Size(0) - load.p_vaddr), "a segment ends past the address space");
    damaged(phdr + offsetof(Phdr, p_memsz), Size(Size(0) - 1 - load.p_vaddr), nullptr);
    const size_t relocationAt = SectionHeaderOffset<TypeParam>(file, TypeParam::kRelocationSection);
    ASSERT_NE(relocationAt, 0u);
    damaged(relocationAt + offsetof(Shdr, sh_entsize), Size(sizeof(typename TypeParam::Relocation) + 1),
            "a relocation table has a wrong entry size");
    damaged(relocationAt + offsetof(Shdr, sh_size), Size(file.size() - Get<Shdr>(file, relocationAt).sh_offset + 1),
            "a relocation table lies outside the library file");
}

TEST(VlsigTest, CheckReportsHowEachEntryResolvesAndWhatIsWrongWithIt) {
    char path[] = "/tmp/vlsig_test_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string text =
        "\"VorlaneSigs\"\n{\n \"default\"\n {\n  \"sigscan\"\n  {\n"
        "   \"Twin\" { \"enabled\" \"1\" \"sig\" \"5589E5B832524C56\" \"mask\" \"xxxxxxxx\" \"symbol\" \"GameHiddenTwinA\" }\n"
        "   \"Gone\" { \"enabled\" \"1\" \"sig\" \"5589E5B831\" \"mask\" \"xxxxx\" \"symbol\" \"NoSuchFunction\" }\n"
        "   \"Bad\" { \"enabled\" \"1\" \"sig\" \"5589E5ZZ\" \"mask\" \"xxxx\" \"symbol\" \"Missing\" }\n"
        "   \"Long\" { \"enabled\" \"1\" \"sig\" \"5589E5B831\" \"mask\" \"xxxxxx\" \"symbol\" \"\" }\n"
        "   \"twin\" { \"enabled\" \"1\" \"sig\" \"5589E5B832524C5690\" \"mask\" \"xxxxxxxxx\" \"symbol\" \"GameHiddenTwinA\" }\n"
        "   \"Off\" { \"enabled\" \"0\" \"symbol\" \"GameSwitchTeam\" }\n"
        "  }\n }\n}\n\"Later\"\n{\n \"default\" { \"sigscan\" { \"Unread\" { \"enabled\" \"1\" } } }\n}\n";
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    DataFile file;
    ASSERT_TRUE(ReadDataFile(path, "", &file)) << file.error;
    unlink(path);
    LibraryImage image;
    ASSERT_TRUE(image.Open(Library().c_str()));
    CheckEntries(image, &file);
    ASSERT_TRUE(file.located);
    ASSERT_EQ(file.entries.size(), 7u);
    const DataEntry& twin = file.entries[0];
    EXPECT_EQ(twin.line, 7);
    EXPECT_EQ(twin.route, SIGSCAN_ROUTE_SYMBOL_TABLE);
    EXPECT_EQ(twin.verdict, SIG_NOT_UNIQUE);  // both twins
    EXPECT_EQ(twin.sigMatches, 2u);
    EXPECT_TRUE(twin.Stale());
    EXPECT_EQ(file.text.substr(twin.sigSpan.begin, twin.sigSpan.end - twin.sigSpan.begin), "5589E5B832524C56");
    const DataEntry& gone = file.entries[1];
    EXPECT_EQ(gone.route, SIGSCAN_ROUTE_SIGNATURE);  // a renamed function, found by its signature
    EXPECT_EQ(gone.verdict, SIG_UNIQUE_NO_SYMBOL);
    EXPECT_STREQ(image.Elf().FunctionAt(gone.sigAddress), "GameHiddenRespawn");
    const DataEntry& bad = file.entries[2];
    EXPECT_FALSE(bad.sigHex);
    EXPECT_EQ(bad.verdict, SIG_UNUSABLE);
    EXPECT_TRUE(bad.Broken());
    EXPECT_EQ(file.entries[3].verdict, SIG_UNUSABLE);  // mask one character longer than the signature
    EXPECT_TRUE(file.entries[3].Broken());
    const DataEntry& elsewhere = file.entries[4];
    EXPECT_EQ(elsewhere.duplicateOf, 0);  // names compare ignoring case, as the plugin's lookup does
    EXPECT_EQ(elsewhere.verdict, SIG_ELSEWHERE);  // TwinB's bytes under TwinA's symbol
    EXPECT_FALSE(file.entries[5].Counts());
    EXPECT_TRUE(file.entries[5].read);
    const DataEntry& unread = file.entries[6];
    EXPECT_EQ(unread.block, 1);
    EXPECT_FALSE(unread.read);
    EXPECT_FALSE(unread.Broken());  // the plugin never asks for it
}
