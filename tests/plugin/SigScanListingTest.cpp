// A function-table record as the operator reads it: every field whole, unprintable bytes
// escaped, printable ones as they are.
#include "plugin/SigScanListing.h"

#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "sigscan/SigScanTable.h"
#include "support/ConsoleCapture.h"

namespace {

using Lines = std::vector<std::string>;

// A record as the loading step stores it: fields zero-filled after their text.
vrn_sigscan_struct Record(const std::string& name, const std::vector<unsigned char>& sig, const std::string& mask,
                          const std::string& symbol) {
    vrn_sigscan_struct record;
    memset(&record, 0, sizeof(record));
    memcpy(record.funcName, name.data(), name.size());
    memcpy(record.sigMask, mask.data(), mask.size());
    memcpy(record.symbolName, symbol.data(), symbol.size());
    record.funcIndex = 7;
    record.funcAddress = reinterpret_cast<void*>(0x1234abcd);
    record.sigBytes = new unsigned char[sig.size() + 1];
    if (!sig.empty()) memcpy(record.sigBytes, sig.data(), sig.size());
    record.sigBytes[sig.size()] = 0;
    return record;
}

Lines Listed(const vrn_sigscan_struct& record) {
    ConsoleCapture console;
    PrintSigScanRecord(record);
    delete[] record.sigBytes;
    return console.Lines();
}

TEST(SigScanListing, PrintableFieldsReadAsTheyAre) {
    EXPECT_EQ(Listed(Record("CCSPlayer::RoundRespawn", {0x55, 0x8B, 0x5C, 0x41}, "xx?x", "Game\\Respawn%s")),
              (Lines{"Name: CCSPlayer::RoundRespawn", "Index: 7", "Addr: 0x1234abcd", "Sig: U\\x8B\\x5CA", "Mask: xx?x",
                     "Symbol: Game\\Respawn%s"}));
}

TEST(SigScanListing, LongestFieldsAndSignaturesArePrintedWholeWithoutTornEscapes) {
    // Field lengths at and around the old 1 KB line: 1016 (what fitted), 1017, 1023, and
    // the longest a field holds, 1024; signatures whose escaped form is up to 4096 long.
    for (size_t length : {1016u, 1017u, 1023u, 1024u}) {
        const std::vector<unsigned char> sig(length, 0x01);
        std::string escaped;
        for (size_t i = 0; i < length; ++i) escaped += "\\x01";
        const Lines lines = Listed(
            Record(std::string(length, 'n'), sig, std::string(length, 'm'), std::string(length - 1, 's') + "\x7f"));
        ASSERT_EQ(lines.size(), 6u) << length;
        EXPECT_EQ(lines[0], "Name: " + std::string(length, 'n')) << length;
        EXPECT_EQ(lines[3], "Sig: " + escaped) << length;
        EXPECT_EQ(lines[4], "Mask: " + std::string(length, 'm')) << length;
        EXPECT_EQ(lines[5], "Symbol: " + std::string(length - 1, 's') + "\\x7F") << length;
    }
}

TEST(SigScanListing, LineFeedsAndControlBytesCannotForgeLines) {
    EXPECT_EQ(Listed(Record("x\nIndex: 1", {0x0A}, "\r\n", "sym\tbol\x1b[2J")),
              (Lines{"Name: x\\x0AIndex: 1", "Index: 7", "Addr: 0x1234abcd", "Sig: \\x0A", "Mask: \\x0D\\x0A",
                     "Symbol: sym\\x09bol\\x1B[2J"}));
    // A field filled to its last byte without a terminator is read no further than it.
    vrn_sigscan_struct record = Record("", {}, "", "");
    memset(record.funcName, 'z', sizeof(record.funcName));
    EXPECT_EQ(Listed(record)[0], "Name: " + std::string(1025, 'z'));
}

TEST(SigScanListing, ARecordAndItsTrailerGoOutInOneConsoleCallUpToTheLineBound) {
    // With a trailer of " \n" the block is 65 bytes plus the name: it reaches 1023 bytes,
    // the most one call carries, at a name of 958 characters.
    const std::string fixed = "\nIndex: 7\nAddr: 0x1234abcd\nSig: \\x01A\nMask: x?\nSymbol: s\n \n";
    for (size_t length : {0u, 957u, 958u, 959u}) {
        vrn_sigscan_struct record = Record(std::string(length, 'n'), {0x01, 'A'}, "x?", "s");
        ConsoleCapture console;
        PrintSigScanRecord(record, " \n");
        delete[] record.sigBytes;
        const std::string expected = "Name: " + std::string(length, 'n') + fixed;
        EXPECT_EQ(console.Text(), expected) << length;
        if (expected.size() <= 1023) {
            EXPECT_EQ(console.Pieces().size(), 1u) << length;
        } else {
            EXPECT_GT(console.Pieces().size(), 1u) << length;
            for (const std::string& piece : console.Pieces()) EXPECT_LE(piece.size(), 1023u) << length;
        }
    }
    // An escape that would end exactly at the bound, or one byte past it, is never torn.
    for (size_t length : {953u, 954u, 955u}) {
        vrn_sigscan_struct record = Record(std::string(length, 'n') + "\x02", {0x01, 'A'}, "x?", "s");
        ConsoleCapture console;
        PrintSigScanRecord(record, " \n");
        delete[] record.sigBytes;
        EXPECT_EQ(console.Text(), "Name: " + std::string(length, 'n') + "\\x02" + fixed) << length;
        EXPECT_EQ(console.Pieces().size() == 1, length <= 954) << length;
        for (const std::string& piece : console.Pieces()) EXPECT_LE(piece.size(), 1023u) << length;
    }
}

TEST(SigScanListing, NumbersAddressesAndAbsentSignaturesReadExactly) {
    const struct {
        int index;
        uintptr_t address;
        const char* index_text;
        const char* address_text;
    } cases[] = {
        {0, 0, "0", "0x00000000"},
        {-1, 0xffffffffu, "-1", "0xffffffff"},
        {2147483647, 0x0000000fu, "2147483647", "0x0000000f"},
        {-2147483647 - 1, 0xf0000000u, "-2147483648", "0xf0000000"},
        {10, 0x00a0b0c0u, "10", "0x00a0b0c0"},
    };
    for (const auto& c : cases) {
        vrn_sigscan_struct record = Record("n", {}, "", "");
        delete[] record.sigBytes;
        record.sigBytes = nullptr;
        record.funcIndex = c.index;
        record.funcAddress = reinterpret_cast<void*>(c.address);
        ConsoleCapture console;
        PrintSigScanRecord(record);
        EXPECT_EQ(console.Text(), std::string("Name: n\nIndex: ") + c.index_text + "\nAddr: " + c.address_text +
                                      "\nSig: \nMask: \nSymbol: \n");
        EXPECT_EQ(console.Pieces().size(), 1u);
    }
}

TEST(SigScanListing, EdgesOfPrintableAsciiReadTheSameInEveryField) {
    // The edges of printable ASCII, bytes above it, and '\' (kept in the name and mask,
    // escaped in the signature), in a record short enough for one console call.
    const std::string edges = "\x1f \x7e\x7f\x80\xff\\";
    vrn_sigscan_struct record = Record(edges, {0x1f, 0x20, 0x7e, 0x7f, 0x80, 0xff, '\\'}, edges, "e" + edges);
    ConsoleCapture console;
    PrintSigScanRecord(record);
    delete[] record.sigBytes;
    const std::string expected = "\\x1F ~\\x7F\\x80\\xFF\\";
    EXPECT_EQ(console.Text(), "Name: " + expected +
                                  "\nIndex: 7\nAddr: 0x1234abcd\nSig: \\x1F ~\\x7F\\x80\\xFF\\x5C\nMask: " + expected +
                                  "\nSymbol: e" + expected + "\n");
    EXPECT_EQ(console.Pieces().size(), 1u);
}

TEST(SigScanListing, TheRouteLineAndAnyTrailerArePrintedWhole) {
    CUtlVector<vrn_sigscan_struct> records;
    CUtlVector<SigScanRoute> routes;
    records.AddToTail(Record("n", {0x41}, "x", "s"));
    routes.AddToTail(SIGSCAN_ROUTE_SIGNATURE);
    InstallSigScanTable(records, routes);
    const std::string trailer = std::string(300, '-') + "\n";
    ConsoleCapture console;
    PrintSigScanTableRecord(0, trailer.c_str());
    EXPECT_EQ(console.Text(), "Name: n\nIndex: 7\nAddr: 0x1234abcd\nSig: A\nMask: x\nSymbol: s\nFound: signature\n" + trailer);
    ClearSigScanData();
}

}  // namespace
