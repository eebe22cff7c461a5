// Building the function table at load from "addons/vorlane/sigscan_info.dat", the
// report of what was found, and calling the located game functions through the
// plugin's exported call layer, as the substitute game library records them.
#include <string.h>

#include <filesystem>
#include <string>
#include <vector>

#include "sigscan/GameFunctions.h"
#include "support/HostFixture.h"
#include "tier0/platform.h"

namespace {

const char* const kDataFile = "addons/vorlane/sigscan_info.dat";

// One entry of a data file.
std::string Entry(const std::string& name, const std::string& symbol, const std::string& enabled = "1",
                  const std::string& sig = "5589E5", const std::string& mask = "xxx") {
    std::string text = "\"" + name + "\"\n{\n";
    if (!enabled.empty()) text += "\"enabled\" \"" + enabled + "\"\n";
    return text + "\"sig\" \"" + sig + "\"\n\"mask\" \"" + mask + "\"\n\"symbol\" \"" + symbol + "\"\n}\n";
}

std::string Section(const std::string& name, const std::string& entries) {
    return "\"" + name + "\"\n{\n\"sigscan\"\n{\n" + entries + "}\n}\n";
}

std::string DataFile(const std::string& sections) { return "\"sigs\"\n{\n" + sections + "}\n"; }

// The record lines of the report and of vl_sigscan for one entry.
Lines Record(const std::string& name, int index, const std::string& sig, const std::string& mask,
             const std::string& symbol) {
    return {"Name: " + name,    "Index: " + std::to_string(index), "Addr: ", "Sig: " + sig, "Mask: " + mask,
            "Symbol: " + symbol};
}

class SigScanTableTest : public HostTest {
protected:
    void StartWithDataFile(const std::string& text, HostOptions options = HostOptions()) {
        options.gameDir = MakeGameDir({{kDataFile, text}});
        StartWithPlugin(options);
    }
    // The report's record lines (between its "Checking SigScan Information" block and
    // its end), with each address cut to "Addr: " for comparison.
    Lines ReportRecords() {
        Lines lines = console.Lines(), records;
        bool inside = false;
        for (const std::string& line : lines) {
            if (line == "Checking SigScan Information") inside = true;
            if (line == "Finished Checking SigScan Information") break;
            if (!inside || line.empty() || line == "Checking SigScan Information" || line == " ") continue;
            records.push_back(line.rfind("Addr: ", 0) == 0 ? std::string("Addr: ") : line);
        }
        return records;
    }
};

TEST_F(SigScanTableTest, BothSectionsAreNumberedTogetherSkippingDisabledAndUnresolved) {
    const std::string text =
        DataFile(Section("default", Entry("UTIL_Remove", "GameRemoveEntity") + Entry("Off", "GameRoundRespawn", "0") +
                                        Entry("NoEnabledKey", "GameRoundRespawn", "") +
                                        Entry("Broken", "NoSuchSymbol") + Entry("CommitSuicide", "GameCommitSuicide")) +
                 Section("Vorlane Demo",
                         Entry("te", "g_TempEntities", "1", "", "") + Entry("commitsuicide", "GameRoundRespawn")) +
                 Section("Other Game", Entry("Elsewhere", "GameSwitchTeam")));
    StartWithDataFile(text);
    const Lines expected = [] {
        Lines all;
        for (const Lines& record : {Record("UTIL_Remove", 1, "U\\x89\\xE5", "xxx", "GameRemoveEntity"),
                                    Record("CommitSuicide", 2, "U\\x89\\xE5", "xxx", "GameCommitSuicide"),
                                    Record("te", 3, "", "", "g_TempEntities"),
                                    Record("commitsuicide", 4, "U\\x89\\xE5", "xxx", "GameRoundRespawn")}) {
            all.insert(all.end(), record.begin(), record.end());
        }
        return all;
    }();
    EXPECT_EQ(ReportRecords(), expected) << console.Text();
    // The unresolved entry is named by its entry name, once; disabled ones say nothing.
    EXPECT_NE(console.Text().find("SigScan ERROR: dlsym() failed for function \"Broken\""), std::string::npos);
    EXPECT_EQ(console.Text().find("Off"), std::string::npos);
    EXPECT_EQ(console.Text().find("NoEnabledKey"), std::string::npos);

    // The same name in both sections: lookups find the "default" one.
    host.Game()->ClearCalls();
    host.AddClient("Alice", "ID_1", false);
    host.Game()->ClearCalls();
    auto kill = PluginSymbol<bool (*)(edict_t*)>("_Z15UTIL_KillPlayerP7edict_t");
    ASSERT_NE(kill, nullptr);
    EXPECT_TRUE(kill(host.Edict(1)));
    ASSERT_EQ(host.Game()->Calls().size(), 1u);
    EXPECT_EQ(host.Game()->Calls()[0].function, "GameCommitSuicide");

    // The exported table as other server code reads it, by layout: the vector's memory
    // pointer and count, then records of a fixed stride and field offsets.
    const auto* table = PluginSymbol<const unsigned char*>("VRN_SigScan_Data");
    ASSERT_NE(table, nullptr);
    int count = 0;
    const unsigned char* records = nullptr;
    memcpy(&records, table, sizeof(records));
    memcpy(&count, table + VL_LAYOUT(12, 16), sizeof(count));
    ASSERT_EQ(count, 4);
    const unsigned char* last = records + 3 * VL_LAYOUT(3092, 3104);
    int index = 0;
    const unsigned char* sigBytes = nullptr;
    void* address = nullptr;
    memcpy(&index, last + 1028, sizeof(index));
    memcpy(&sigBytes, last + 1032, sizeof(sigBytes));
    memcpy(&address, last + VL_LAYOUT(3088, 3096), sizeof(address));
    EXPECT_STREQ(reinterpret_cast<const char*>(last), "commitsuicide");
    EXPECT_EQ(index, 4);
    ASSERT_NE(sigBytes, nullptr);
    EXPECT_EQ(memcmp(sigBytes, "\x55\x89\xE5", 3), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(last + VL_LAYOUT(1036, 1040)), "xxx");
    EXPECT_STREQ(reinterpret_cast<const char*>(last + VL_LAYOUT(2061, 2065)), "GameRoundRespawn");
    EXPECT_EQ(address, LoadedSymbol(GameDir() + "/bin/server" VL_MODULE_SUFFIX, "GameRoundRespawn"));

    void* te = *PluginSymbol<void**>("te");
    EXPECT_EQ(te, LoadedSymbol(GameDir() + "/bin/server" VL_MODULE_SUFFIX, "g_TempEntities")) << "te holds the resolved address";
}

TEST_F(SigScanTableTest, MissingDataFileIsOneMessageAndAnEmptyTable) {
    HostOptions options;
    options.gameDir = MakeGameDir();
    StartWithPlugin(options);
    const std::string text = console.Text();
    EXPECT_NE(text.find("Fail loading SigScan file\naddons/vorlane/sigscan_info.dat\n"), std::string::npos);
    EXPECT_EQ(text.find("SigScan ERROR"), std::string::npos) << "no scanner is made without a file";
    EXPECT_TRUE(ReportRecords().empty());
    EXPECT_EQ(*PluginSymbol<void**>("te"), nullptr);
    EXPECT_NE(text.find("Plugin Loaded"), std::string::npos) << "a missing file does not fail the load";
}

TEST_F(SigScanTableTest, MissingGameLibraryPrintsTwoLinesThenNothingPerEntry) {
    HostOptions options;
    options.gameDir = MakeGameDir({{kDataFile, DataFile(Section("default", Entry("UTIL_Remove", "GameRemoveEntity") +
                                                                               Entry("CommitSuicide", "X")))}});
    std::filesystem::remove(options.gameDir + "/bin/server" VL_MODULE_SUFFIX);
    options.gameLibrary = GameDir() + "/bin/server" VL_MODULE_SUFFIX;  // the engine has it from elsewhere
    StartWithPlugin(options);
    Lines errors;
    for (const std::string& line : console.Lines()) {
        if (line.rfind("SigScan ERROR", 0) == 0) errors.push_back(line);
    }
    ASSERT_EQ(errors.size(), 2u) << console.Text();
    EXPECT_EQ(errors[0].rfind("SigScan ERROR: dlopen() failed with error: \"", 0), 0u);
    EXPECT_EQ(errors[1], "SigScan ERROR: There was a error getting base address");
    EXPECT_TRUE(ReportRecords().empty());
}

TEST_F(SigScanTableTest, NumberLikeSignaturesAreListedAsTheirBytes) {
    StartWithDataFile(DataFile(Section("default", Entry("A", "GameRemoveEntity", "1", "5589E5") +
                                                      Entry("B", "GameSwitchTeam", "1", "5557565364711359"))));
    const Lines records = ReportRecords();
    ASSERT_EQ(records.size(), 12u) << console.Text();
    EXPECT_EQ(records[3], "Sig: U\\x89\\xE5");
    EXPECT_EQ(records[9], "Sig: UWVSdq\\x13Y");
}

TEST_F(SigScanTableTest, LongUnprintableAndFormatLikeTextsArePrintedWholeAndLiterally) {
    // The longest texts a data file can hold (1023 characters), a signature of 511
    // unprintable bytes, a name whose line feed would forge a line, and format directives.
    const std::string longName(1023, 'n'), longMask(1023, 'x');
    std::string controlSig;
    for (int i = 0; i < 511; ++i) controlSig += "01";
    StartWithDataFile(DataFile(Section("default", Entry(longName, "GameRemoveEntity", "1", controlSig, longMask) +
                                                      Entry("x\nMask: forged", "GameSwitchTeam", "1", "5C41", "m\tk") +
                                                      Entry("%s%n%d", "GameRoundRespawn", "1", "", "%x"))));
    std::string escapedSig;
    for (int i = 0; i < 511; ++i) escapedSig += "\\x01";
    const Lines records = ReportRecords();
    ASSERT_EQ(records.size(), 18u) << console.Text();
    EXPECT_EQ(records[0], "Name: " + longName);
    EXPECT_EQ(records[3], "Sig: " + escapedSig) << "no escape is torn";
    EXPECT_EQ(records[4], "Mask: " + longMask);
    EXPECT_EQ(records[6], "Name: x\\x0AMask: forged");
    EXPECT_EQ(records[9], "Sig: \\x5CA") << "the signature's backslash is escaped";
    EXPECT_EQ(records[10], "Mask: m\\x09k");
    EXPECT_EQ(records[12], "Name: %s%n%d");
    EXPECT_EQ(records[16], "Mask: %x");

    Lines listing = Run("vl_sigscan");
    ASSERT_EQ(listing.size(), 2u + 3 * 7) << console.Text();
    for (size_t i = 0; i < records.size(); ++i) {
        const std::string& line = listing[2 + i / 6 * 7 + i % 6];
        EXPECT_EQ(line.rfind("Addr: ", 0) == 0 ? std::string("Addr: ") : line, records[i]) << "line " << i;
    }
}

TEST_F(SigScanTableTest, EmptyGameDescriptionMakesTheRootTheGamesSection) {
    HostOptions options;
    options.gameDescription = "";
    const std::string text = "\"sigs\"\n{\n\"sigscan\"\n{\n" + Entry("UTIL_Remove", "GameRemoveEntity") + "}\n" +
                             Section("default", Entry("CommitSuicide", "GameCommitSuicide")) + "}\n";
    options.gameDir = MakeGameDir({{kDataFile, text}});
    StartEngine(options);
    host.Game()->SetGameDescription("");
    ASSERT_TRUE(host.LoadPlugin(PluginPath()));
    const Lines records = ReportRecords();
    ASSERT_EQ(records.size(), 12u) << console.Text();
    EXPECT_EQ(records[0], "Name: CommitSuicide");
    EXPECT_EQ(records[6], "Name: UTIL_Remove");
}

TEST_F(SigScanTableTest, ConsoleCommandsCallTheLocatedFunctions) {
    HostOptions options;
    options.gameDir = GameDir();  // the demo's data file
    StartWithPlugin(options);
    host.AddClient("Alice", "ID_1", false);
    host.AddClient("Bob", "ID_2", false);
    host.Game()->ClearCalls();
    EXPECT_EQ(Run("vl_spawn 3"), (Lines{"player 2 respawned"}));
    EXPECT_EQ(Run("vl_changeteam 2 3"), (Lines{"player 1 moved to team 3"}));
    const auto& calls = host.Game()->Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].function, "GameRoundRespawn");
    EXPECT_EQ(calls[0].entity, 2);
    EXPECT_EQ(calls[1].function, "GameSwitchTeam");
    EXPECT_EQ(calls[1].entity, 1);
    EXPECT_EQ(calls[1].args, "3");

    const Lines listing = Run("vl_sigscan");
    ASSERT_GE(listing.size(), 9u);
    EXPECT_EQ(listing[0], "SigScanning List:");
    EXPECT_EQ(listing[2], "Name: CCSPlayer::RoundRespawn");
    EXPECT_EQ(listing[3], "Index: 1");
    EXPECT_EQ(listing[4].rfind("Addr: 0x", 0), 0u);
    EXPECT_EQ(listing[8], "-----------------------------");
}

TEST_F(SigScanTableTest, CallLayerReachesTheGamesFunctionsAndSlots) {
    HostOptions options;
    options.gameDir = GameDir();
    StartWithPlugin(options);
    host.AddClient("Alice", "ID_1", false);
    host.Game()->ClearCalls();
    edict_t* edict = host.Edict(1);
    CBaseEntity* entity = edict->unknown->GetBaseEntity();

    auto dissolve = PluginSymbol<bool (*)(edict_t*, const char*, float, bool, int, Vector, int)>(
        "_Z13UTIL_DissolveP7edict_tPKcfbi6Vectori");
    auto remove = PluginSymbol<bool (*)(edict_t*)>("_Z11UTIL_RemoveP7edict_t");
    auto giveAmmo = PluginSymbol<int (*)(CBaseEntity*, int, int)>("_Z8GiveAmmoP11CBaseEntityii");
    auto teleport = PluginSymbol<void (*)(CBaseEntity*, const Vector*, const QAngle*, const Vector*)>(
        "_Z8TeleportP11CBaseEntityPK6VectorPK6QAngleS3_");
    auto getSlot = PluginSymbol<CBaseCombatWeapon* (*)(CBaseEntity*, int)>("_Z14Weapon_GetSlotP11CBaseEntityi");
    auto getName = PluginSymbol<const char* (*)(CBaseCombatWeapon*)>("_Z7GetNameP17CBaseCombatWeapon");
    auto drop =
        PluginSymbol<void (*)(CBaseEntity*, CBaseCombatWeapon*)>("_Z11Weapon_DropP11CBaseEntityP17CBaseCombatWeapon");
    auto ignite = PluginSymbol<void (*)(CBaseEntity*, float, bool, float, bool)>("_Z6IgniteP11CBaseEntityfbfb");
    auto give = PluginSymbol<CBaseEntity* (*)(CBaseEntity*, const char*, int)>("_Z13GiveNamedItemP11CBaseEntityPKci");
    auto weaponSwitch =
        PluginSymbol<bool (*)(CBaseEntity*, CBaseCombatWeapon*)>("_Z13Weapon_SwitchP11CBaseEntityP17CBaseCombatWeapon");
    auto removeItem = PluginSymbol<bool (*)(CBaseEntity*, CBaseCombatWeapon*)>(
        "_Z16RemovePlayerItemP11CBaseEntityP17CBaseCombatWeapon");
    auto removeAll = PluginSymbol<void (*)(CBaseEntity*, bool)>("_Z14RemoveAllItemsP11CBaseEntityb");
    auto pickedUp = PluginSymbol<void (*)(CBaseCombatCharacter*)>("_Z10OnPickedUpP20CBaseCombatCharacter");
    ASSERT_TRUE(dissolve && remove && giveAmmo && teleport && getSlot && getName && drop && ignite && give &&
                weaponSwitch && removeItem && removeAll && pickedUp);

    EXPECT_TRUE(dissolve(edict, "sprites/glow", 1.5f, true, 2, Vector{1, 2.5f, -3}, 7));
    EXPECT_TRUE(remove(edict));
    EXPECT_FALSE(remove(nullptr));
    EXPECT_EQ(giveAmmo(entity, 30, 0), 0);
    EXPECT_EQ(giveAmmo(entity, 30, 2), 30);
    const Vector origin = {10, 20, 30}, velocity = {0, 0, 1};
    const QAngle angles = {0, 90, 0};
    teleport(entity, &origin, &angles, &velocity);
    CBaseCombatWeapon* pistol = getSlot(entity, 1);
    ASSERT_NE(pistol, nullptr);
    EXPECT_STREQ(getName(pistol), "weapon_pistol");
    drop(entity, pistol);
    ignite(entity, 5.0f, false, 2.5f, true);
    give(entity, "weapon_knife", 3);
    weaponSwitch(entity, pistol);
    removeItem(entity, pistol);
    removeAll(entity, true);
    pickedUp(reinterpret_cast<CBaseCombatCharacter*>(entity));

    Lines recorded;
    for (const GameCall& call : host.Game()->Calls()) {
        recorded.push_back(call.function + " " + std::to_string(call.entity) + " " + call.args);
    }
    EXPECT_EQ(recorded,
              (Lines{"GameDissolve 1 \"sprites/glow\", 1.5, true, 2, (1 2.5 -3), 7", "GameRemoveEntity 1 ",
                     "slot 214 GiveAmmo 1 30, 2, false", "slot 99 Teleport 1 (10 20 30), (0 90 0), (0 0 1)",
                     "slot 225 Weapon_GetSlot 1 1", "slot 283 GetName 1 ",
                     "slot 220 Weapon_Drop 1 \"weapon_pistol\", null, null", "slot 189 Ignite 1 5, false, 2.5, true",
                     "slot 330 GiveNamedItem 1 \"weapon_knife\", 3", "slot 221 Weapon_Switch 1 \"weapon_pistol\", 0",
                     "slot 227 RemovePlayerItem 1 \"weapon_pistol\"", "slot 284 RemoveAllItems 1 true",
                     "slot 262 OnPickedUp 1 "}));
}

TEST_F(SigScanTableTest, SecondLoadRebuildsTheTable) {
    HostOptions options;
    options.gameDir = GameDir();
    StartWithPlugin(options);
    const Lines first = ReportRecords();
    ASSERT_FALSE(first.empty());
    console.Clear();
    ASSERT_TRUE(host.Plugin()->Load(
        [](const char* name, int* code) { return CHostEngine::Instance().Lookup(name, false, true, code); },
        [](const char* name, int* code) { return CHostEngine::Instance().Lookup(name, true, true, code); }));
    EXPECT_EQ(ReportRecords(), first) << "the same records, numbered from 1 again";
}

}  // namespace
