// Opening the game server library, resolving symbols (the object with its error lines,
// the resolver with its failures as values), and decoding signature texts.
#include "sigscan/SigScan.h"
#include "sigscan/SigScanResolver.h"
#include "sigscan/SignatureText.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/EngineInterfaces.h"
#include "support/ConsoleCapture.h"
#include "support/FakeEngine.h"

namespace {

std::vector<unsigned char> Decode(const char* text) {
    std::unique_ptr<unsigned char[]> bytes(StrToHexStr(text));
    std::vector<unsigned char> out;
    for (const unsigned char* p = bytes.get(); *p; ++p) out.push_back(*p);
    return out;
}

TEST(SignatureText, DecodesDigitPairsInEitherCase) {
    EXPECT_EQ(H2toI('a', 'F'), 0xAF);
    EXPECT_EQ(H2toI('0', '9'), 9);
    EXPECT_EQ(H2toI('F', 'f'), 255);
    EXPECT_EQ(Decode("558BEC"), (std::vector<unsigned char>{0x55, 0x8B, 0xEC}));
    EXPECT_EQ(Decode("5589e5"), (std::vector<unsigned char>{0x55, 0x89, 0xE5}));
    EXPECT_TRUE(Decode("").empty());
    EXPECT_TRUE(Decode(nullptr).empty());
    // A 00 byte ends the string as its readers see it.
    EXPECT_EQ(Decode("550057"), (std::vector<unsigned char>{0x55}));
}

TEST(SignatureText, OddDigitIsDroppedAndNonDigitsTruncateToAByte) {
    EXPECT_EQ(Decode("558"), (std::vector<unsigned char>{0x55}));
    EXPECT_EQ(Decode("5"), std::vector<unsigned char>{});
    // 'z' counts as 'Z' - 55 = 35: 35 * 16 + 35 = 595, which is 0x53 as a byte.
    EXPECT_EQ(H2toI('z', 'z'), 595);
    EXPECT_EQ(Decode("zz"), (std::vector<unsigned char>{0x53}));
    // 16 decimal digits decode as 8 bytes, unchanged by any number interpretation.
    EXPECT_EQ(Decode("5557565364711359"), (std::vector<unsigned char>{0x55, 0x57, 0x56, 0x53, 0x64, 0x71, 0x13, 0x59}));
    // What the check for plain digit pairs accepts: both cases and the empty text, never
    // an odd length, a separator or another character.
    for (const char* text : {"", "558bEC", "aF09"}) EXPECT_TRUE(IsHexSignatureText(text)) << text;
    for (const char* text : {"5589E", "55 89", "\\x55", "zz", "55\n"}) EXPECT_FALSE(IsHexSignatureText(text)) << text;
    EXPECT_FALSE(IsHexSignatureText(nullptr));
}

class SigScanTest : public ::testing::Test {
protected:
    void UseGameDir(const std::string& dir) {
        fakeEngine.gameDir = dir;
        engine = &fakeEngine;
    }
    void TearDown() override {
        engine = nullptr;
        g_BaseAddr = nullptr;
    }
    FakeEngine fakeEngine;
    ConsoleCapture console;
};

TEST_F(SigScanTest, ResolvesSymbolsOfTheGameLibraryAndNamesTheEntryWhenMissing) {
    UseGameDir(VL_GAME_DIR);
    SigScan scanner;
    ASSERT_FALSE(scanner.failed) << console.Text();
    ASSERT_NE(g_BaseAddr, nullptr);
    char symbol[] = "GameRoundRespawn";
    void* address = scanner.FindFunctionAddresss("CCSPlayer::RoundRespawn", nullptr, nullptr, 0, symbol);
    EXPECT_EQ(address, dlsym(g_BaseAddr, "GameRoundRespawn"));
    EXPECT_NE(address, nullptr);
    EXPECT_EQ(console.Text(), "");

    char missing[] = "NoSuchSymbol";
    EXPECT_EQ(scanner.FindFunctionAddresss("Entry::Name", nullptr, nullptr, 0, missing), nullptr);
    const std::string line = console.Text();
    EXPECT_EQ(line.rfind("SigScan ERROR: dlsym() failed for function \"Entry::Name\" with error: \"", 0), 0u) << line;
    EXPECT_NE(line.find("\", plugin will not function properly.\n"), std::string::npos) << line;
    EXPECT_EQ(console.Lines().size(), 1u);

    // The entry name and the loader's text (which repeats the symbol) are escaped.
    console.Clear();
    EXPECT_EQ(scanner.FindSymbolAddress("Bad\nEntry", "No\nSymbol"), nullptr);
    ASSERT_EQ(console.Lines().size(), 1u) << console.Text();
    EXPECT_EQ(console.Text().rfind("SigScan ERROR: dlsym() failed for function \"Bad\\x0AEntry\" with error: \"", 0),
              0u);
    EXPECT_NE(console.Text().find("No\\x0ASymbol"), std::string::npos) << console.Text();

    scanner.Dispose();
    EXPECT_EQ(g_BaseAddr, nullptr);
}

TEST_F(SigScanTest, MissingLibraryPrintsTwoLinesThenStaysSilent) {
    UseGameDir("/nonexistent/game");
    SigScan scanner;
    EXPECT_TRUE(scanner.failed);
    const std::vector<std::string> lines = console.Lines();
    ASSERT_EQ(lines.size(), 2u) << console.Text();
    EXPECT_EQ(lines[0].rfind("SigScan ERROR: dlopen() failed with error: \"/nonexistent/game/bin/server" VL_MODULE_SUFFIX, 0),
              0u)
        << lines[0];
    EXPECT_NE(lines[0].find("\", This means signature scanning all failed"), std::string::npos);
    EXPECT_EQ(lines[1], "SigScan ERROR: There was a error getting base address");

    // The loader repeats the path: a line feed in the game directory is shown escaped.
    console.Clear();
    UseGameDir("/nonexistent/ga\nme");
    SigScan forged;
    ASSERT_EQ(console.Lines().size(), 2u) << console.Text();
    EXPECT_EQ(console.Lines()[0].rfind("SigScan ERROR: dlopen() failed with error: \"/nonexistent/ga\\x0Ame/bin/", 0),
              0u)
        << console.Lines()[0];
    forged.Dispose();

    console.Clear();
    char symbol[] = "GameRoundRespawn";
    EXPECT_EQ(scanner.FindFunctionAddresss("CCSPlayer::RoundRespawn", nullptr, nullptr, 0, symbol), nullptr);
    EXPECT_EQ(scanner.FindSymbolAddress("x", "GameRoundRespawn"), nullptr);
    scanner.Dispose();
    EXPECT_EQ(g_BaseAddr, nullptr);
    EXPECT_EQ(console.Text(), "");
}

TEST_F(SigScanTest, OverlongGameDirectoryIsRefusedNotTruncated) {
    // "/bin/server_i486.so" adds 19 characters: a 492-character directory makes a path of
    // 511, the longest that fits the 512-byte buffer; one more is refused.
    const size_t fits = 511 - strlen("/bin/server" VL_MODULE_SUFFIX);
    const struct {
        size_t length;
        const char* firstLine;
    } cases[] = {
        {fits, "SigScan ERROR: dlopen() failed with error: \""},
        {fits + 1, "SigScan ERROR: the game directory is too long"},
        {511, "SigScan ERROR: the game directory is too long"},
        {600, "SigScan ERROR: the game directory is too long"},  // cut to 511 by the engine
    };
    for (const auto& c : cases) {
        console.Clear();
        UseGameDir("/" + std::string(c.length - 1, 'd'));
        SigScan scanner;
        EXPECT_TRUE(scanner.failed) << c.length;
        EXPECT_EQ(g_BaseAddr, nullptr);
        const std::vector<std::string> lines = console.Lines();
        ASSERT_EQ(lines.size(), 2u) << console.Text();
        EXPECT_EQ(lines[0].rfind(c.firstLine, 0), 0u) << c.length << ": " << lines[0];
        EXPECT_EQ(lines[1], "SigScan ERROR: There was a error getting base address");
    }
}

// Records what a resolver reports, one string per failure: the reason's number, then
// the entry, symbol and counts it carries.
class RecordedReport final : public ISigScanReport {
public:
    void OnFailure(const SigScanFailure& f) override {
        seen.push_back(std::to_string(f.reason) + " " + (f.entry ? f.entry : "-") + " " + (f.symbol ? f.symbol : "-") +
                       " " + std::to_string(f.count) + "/" + std::to_string(f.limit) + (f.detail ? " +" : ""));
    }
    std::vector<std::string> seen;
};

TEST_F(SigScanTest, ResolverReportsEachFailedRouteAsAValueAndPrintsNothing) {
    UseGameDir(VL_GAME_DIR);
    RecordedReport report;
    const unsigned char sig[] = {0x55, 0x89, 0xE5};
    SigScanRoute route = SIGSCAN_ROUTE_NONE;
    {
        SigScanResolver resolver(true, &report);
        ASSERT_TRUE(resolver.LibraryOpened());
        EXPECT_EQ(resolver.Resolve("R", "GameRoundRespawn", sig, 3, "xxx", 3, &route),
                  dlsym(g_BaseAddr, "GameRoundRespawn"));
        EXPECT_EQ(route, SIGSCAN_ROUTE_EXPORT);
        // Not exported, but in the file's symbol table.
        EXPECT_NE(resolver.Resolve("C", "GameHiddenSlay", nullptr, 0, "", 0, &route), nullptr);
        EXPECT_EQ(route, SIGSCAN_ROUTE_SYMBOL_TABLE);
        EXPECT_TRUE(report.seen.empty());
        // Every route fails: the symbol table's reason, the signature's, then the export's.
        EXPECT_EQ(resolver.Resolve("M", "NoSuchSymbol", sig, 3, "xxxx", 4, &route), nullptr);
        EXPECT_EQ(resolver.Resolve("E", "", sig, 3, "???", 3, &route), nullptr);
        EXPECT_EQ(resolver.Resolve("N", "", nullptr, 0, "", 0, &route), nullptr);
    }
    EXPECT_EQ(g_BaseAddr, nullptr);
    EXPECT_EQ(report.seen, (std::vector<std::string>{
                               std::to_string(SIGSCAN_SYMBOL_NOT_IN_TABLE) + " M NoSuchSymbol 0/0",
                               std::to_string(SIGSCAN_MASK_LONGER_THAN_SIGNATURE) + " M - 4/3",
                               std::to_string(SIGSCAN_EXPORT_MISSING) + " M - 0/0 +",
                               std::to_string(SIGSCAN_MASK_FIXES_NO_BYTE) + " E - 0/0",
                               std::to_string(SIGSCAN_EXPORT_MISSING) + " E - 0/0 +",
                               std::to_string(SIGSCAN_EXPORT_MISSING) + " N - 0/0 +",
                           }));

    // Without the fallbacks only the export is looked up; an unopenable library reports
    // why, then that nothing resolves, and stays silent afterwards.
    report.seen.clear();
    {
        SigScanResolver resolver(false, &report);
        EXPECT_EQ(resolver.Resolve("C", "GameHiddenSlay", nullptr, 0, "", 0, &route), nullptr);
    }
    UseGameDir("/nonexistent/game");
    {
        SigScanResolver resolver(true, &report);
        EXPECT_FALSE(resolver.LibraryOpened());
        EXPECT_EQ(resolver.Resolve("R", "GameRoundRespawn", sig, 3, "xxx", 3, &route), nullptr);
    }
    EXPECT_EQ(report.seen, (std::vector<std::string>{
                               std::to_string(SIGSCAN_EXPORT_MISSING) + " C - 0/0 +",
                               std::to_string(SIGSCAN_LIBRARY_NOT_OPENED) + " - - 0/0 +",
                               std::to_string(SIGSCAN_NO_BASE_ADDRESS) + " - - 0/0",
                           }));
    EXPECT_EQ(console.Text(), "");
}

// A batch must give each entry what resolving it alone gives, and report the same
// failures in the same order, though it scans for all the signatures at once.
TEST_F(SigScanTest, ResolvingAllAtOnceFindsAndReportsWhatResolvingEachAloneDoes) {
    UseGameDir(VL_GAME_DIR);
    const unsigned char respawn[] = {0x55, 0x89, 0xE5, 0xB8, 0x31, 0x52, 0x4C, 0x56, 0x5D, 0xE9};  // once
    const unsigned char twins[] = {0x55, 0x89, 0xE5, 0xB8, 0x32, 0x52, 0x4C, 0x56};                // twice
    auto entry = [](const char* name, const char* symbol, const unsigned char* sig, size_t length, const char* mask,
                    bool hex = true) {
        SigScanEntry e;
        e.name = name, e.symbol = symbol, e.signature = sig, e.signatureLength = length;
        e.mask = mask, e.maskLength = mask ? strlen(mask) : 0, e.signatureIsHex = hex;
        return e;
    };
    std::vector<SigScanEntry> entries = {
        entry("Twins", "NoSuchSymbol", twins, 8, "xxxxxxxx"),
        entry("Exported", "GameRoundRespawn", twins, 8, "xxxxxxxx"),
        entry("Hidden", "GameHiddenSlay", nullptr, 0, ""),
        entry("BySignature", "", respawn, 10, "xxxxxxxxxx"),
        entry("Wild", "", respawn, 10, "??????????"),
        entry("Long", "NoSuchSymbol", respawn, 3, "xxxx"),
        entry("NotHex", "", respawn, 10, "xxxxxxxxxx", false),
        entry("Masked", "NoSuchSymbol", twins, 8, "xxxx?xxx"),  // the twins and the respawn stub
        entry("Nothing", "", nullptr, 0, ""),
    };
    RecordedReport alone, together;
    std::vector<void*> addresses;
    std::vector<SigScanRoute> routes;
    {
        SigScanResolver resolver(true, &alone);
        for (const SigScanEntry& e : entries) {
            SigScanRoute route = SIGSCAN_ROUTE_NONE;
            addresses.push_back(resolver.Resolve(e.name, e.symbol, e.signature, e.signatureLength, e.mask, e.maskLength,
                                                 &route, e.signatureIsHex));
            routes.push_back(route);
        }
    }
    {
        SigScanResolver resolver(true, &together);
        resolver.ResolveAll(entries.data(), entries.size());
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].address, addresses[i]) << entries[i].name;
        EXPECT_EQ(entries[i].route, routes[i]) << entries[i].name;
    }
    EXPECT_EQ(together.seen, alone.seen);
    // Every route is taken, and the other six entries fail: three reports each for Twins,
    // Long and Masked, two for Wild and NotHex, one for Nothing.
    EXPECT_EQ(entries[1].route, SIGSCAN_ROUTE_EXPORT);
    EXPECT_EQ(entries[2].route, SIGSCAN_ROUTE_SYMBOL_TABLE);
    EXPECT_EQ(entries[3].route, SIGSCAN_ROUTE_SIGNATURE);
    EXPECT_EQ(together.seen.size(), 14u);
}

}  // namespace
