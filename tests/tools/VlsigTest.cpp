#include <elf.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/vlsig/DataFile.h"
#include "tools/vlsig/SignatureMaker.h"

namespace {

std::string Library(const char* name = "server" VL_MODULE_SUFFIX) { return std::string(VL_GAME_DIR) + "/bin/" + name; }

std::string MaskOf(InstructionMasker& masker, std::vector<unsigned char> code, uint32_t address = 0x1000) {
    std::string mask;
    masker.Mask(code.data(), code.size(), address, &mask);
    return mask;
}

std::vector<unsigned char> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(VlsigTest, MaskWildcardsWhatABuildChangesAndKeepsTheRest) {
    const std::vector<uint32_t> relocations = {0x2001};  // patches 0x2001..0x2004
    InstructionMasker masker(0x3000, &relocations);
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
}

TEST(VlsigTest, MadeSignaturesAreTheShortestThatMatchOnceAtTheFunction) {
    LibraryImage image;
    ASSERT_TRUE(image.Open(Library().c_str())) << image.Error();
    InstructionMasker masker(image.Elf().GotAddress(), &image.Relocations());
    // The assembly stubs: Respawn differs from the twins at its fifth byte, TwinA from
    // TwinB at its ninth; one byte less matches more than one place.
    const struct {
        const char* name;
        const char* hex;
        const char* mask;
    } cases[] = {{"GameHiddenRespawn", "5589E5B831", "xxxxx"}, {"GameHiddenTwinA", "5589E5B832524C565D", "xxxxxxxxx"},
                 {"GameHiddenTwinB", "5589E5B832524C5690", "xxxxxxxxx"}};
    for (const auto& c : cases) {
        uint32_t address = 0, size = 0;
        ASSERT_TRUE(image.FindInSymbolTable(c.name, &address, &size)) << c.name;
        MadeSignature made;
        ASSERT_TRUE(MakeSignature(image, masker, address, size, &made)) << c.name << ": " << made.error;
        EXPECT_EQ(made.Hex(), c.hex) << c.name;
        EXPECT_EQ(made.mask, c.mask) << c.name;
        const auto* bytes = reinterpret_cast<const unsigned char*>(made.bytes.data());
        EXPECT_GT(image.Scanner().Count(bytes, made.mask.c_str(), made.bytes.size() - 1, nullptr), 1u) << c.name;
    }
    // A function with a twin up to relocations has none; an address outside the code neither.
    uint32_t address = 0, size = 0;
    ASSERT_TRUE(image.FindInSymbolTable("GameCommitSuicide", &address, &size));
    MadeSignature made;
    EXPECT_FALSE(MakeSignature(image, masker, address, size, &made));
    // (Its length is the compiler's: the sanitizer build's code is longer.)
    uint32_t end = 0;
    ASSERT_TRUE(image.FindInSymbolTable("GameHiddenSlay", &end, &size));
    EXPECT_EQ(made.error, "no unique signature in its first " + std::to_string(size) +
                              " bytes (2 places match them all)");
    ASSERT_TRUE(image.FindExport("g_TempEntities", &address));
    EXPECT_FALSE(MakeSignature(image, masker, address, 4, &made));
    EXPECT_EQ(made.error, "the function's address is not in the library's code");
}

TEST(VlsigTest, LibraryFileGivesExportsCodeAndAddressesWithinItsBytes) {
    ElfSymbolTable full, stripped;
    ASSERT_TRUE(full.OpenLibrary(Library().c_str())) << full.Error();
    ASSERT_TRUE(stripped.OpenLibrary(Library(VL_STRIPPED_GAME_LIBRARY).c_str())) << stripped.Error();
    EXPECT_TRUE(full.HasSymbolTable());
    EXPECT_FALSE(stripped.HasSymbolTable());
    uint32_t exported = 0, inTable = 0, strippedExport = 0;
    ASSERT_TRUE(stripped.FindExport("GameSwitchTeam", &strippedExport));
    ASSERT_TRUE(full.FindExport("GameSwitchTeam", &exported));
    ASSERT_TRUE(full.Find("GameSwitchTeam", &inTable));
    EXPECT_EQ(exported, inTable);
    EXPECT_EQ(strippedExport, inTable);
    EXPECT_FALSE(full.FindExport("GameHiddenRespawn", &exported));  // local: in the full table only
    EXPECT_FALSE(full.FindExport("dlsym", &exported));              // an import is no export
    EXPECT_NE(full.GotAddress(), 0u);

    // The stub's bytes, through the address mapping.
    ASSERT_TRUE(full.Find("GameHiddenRespawn", &inTable));
    uint32_t offset = 0;
    ASSERT_TRUE(full.AddressToOffset(inTable, 10, &offset));
    const unsigned char stub[] = {0x55, 0x89, 0xE5, 0xB8, 0x31, 0x52, 0x4C, 0x56, 0x5D, 0xE9};
    EXPECT_EQ(memcmp(full.FileBytes() + offset, stub, sizeof(stub)), 0);
    uint32_t back = 0;
    ASSERT_TRUE(full.CodeOffsetToAddress(offset, &back));
    EXPECT_EQ(back, inTable);

    // A code segment's last byte maps, the byte after it does not (in code).
    ASSERT_GT(full.CodeSegmentCount(), 0);
    const ElfCodeSegment code = full.CodeSegment(0);
    const uint32_t last = code.address + code.size - 1;
    ASSERT_TRUE(full.AddressToOffset(last, 1, &offset));
    EXPECT_EQ(offset, code.fileOffset + code.size - 1);
    EXPECT_TRUE(full.CodeOffsetToAddress(code.fileOffset + code.size - 1, &back));
    EXPECT_FALSE(full.CodeOffsetToAddress(code.fileOffset + code.size, &back));
    EXPECT_FALSE(full.AddressToOffset(0xFFFFFFF0u, 0x20, &offset));

    // Damaged program headers fail with a reason and leave nothing to read.
    const std::vector<unsigned char> file = ReadFile(Library());
    const Elf32_Ehdr header = *reinterpret_cast<const Elf32_Ehdr*>(file.data());
    auto damaged = [&](size_t at, uint32_t value, const char* reason) {
        std::vector<unsigned char> copy = file;
        memcpy(copy.data() + at, &value, sizeof(value));
        ElfSymbolTable table;
        EXPECT_FALSE(table.OpenLibraryBytes(copy.data(), copy.size())) << reason;
        EXPECT_STREQ(table.Error(), reason);
        EXPECT_EQ(table.CodeSegmentCount(), 0);
        uint32_t value2 = 0;
        EXPECT_FALSE(table.FindExport("GameSwitchTeam", &value2));
    };
    damaged(offsetof(Elf32_Ehdr, e_phoff), uint32_t(file.size() - 31), "the program headers lie outside the library file");
    int load = 0;
    while (reinterpret_cast<const Elf32_Phdr*>(file.data() + header.e_phoff)[load].p_type != PT_LOAD) ++load;
    const size_t phdr = header.e_phoff + load * sizeof(Elf32_Phdr);
    const Elf32_Phdr first = *reinterpret_cast<const Elf32_Phdr*>(file.data() + phdr);
    damaged(phdr + offsetof(Elf32_Phdr, p_filesz), first.p_memsz + 1, "a segment claims more file bytes than it loads");
    damaged(phdr + offsetof(Elf32_Phdr, p_offset), uint32_t(file.size() - first.p_filesz + 1),
            "a segment lies outside the library file");
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
