// The name index behind GetFuncIndex and GetFuncAddr: the same answers as a linear,
// case-insensitive scan from the first record, across clears and rebuilds.
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <string>
#include <vector>

#include "sigscan/SigScanIndex.h"
#include "sigscan/SigScanTable.h"

namespace {

void* AddressOf(int position) { return reinterpret_cast<void*>(static_cast<uintptr_t>(0x1000 + position)); }

void Append(const std::string& name) {
    vrn_sigscan_struct record;
    memset(&record, 0, sizeof(record));
    memcpy(record.funcName, name.data(), std::min(name.size(), sizeof(record.funcName) - 1));
    record.funcIndex = VRN_SigScan_Data.Count() + 1;
    record.sigBytes = nullptr;
    record.funcAddress = AddressOf(VRN_SigScan_Data.Count());
    VRN_SigScan_Data.AddToTail(record);
}

void Fill(const std::vector<std::string>& names) {
    ClearSigScanData();
    for (const std::string& name : names) Append(name);
    RebuildSigScanIndex();
}

// What the lookups must answer: the first equal record in table order.
int LinearScan(const char* name) {
    for (int i = 0; i < VRN_SigScan_Data.Count(); ++i) {
        if (strcasecmp(VRN_SigScan_Data[i].funcName, name) == 0) return i;
    }
    return -1;
}

// The name with every ASCII letter in the other case.
std::string OtherCase(std::string name) {
    for (char& c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) c = static_cast<char>(c ^ 0x20);
    }
    return name;
}

class SigScanIndex : public ::testing::Test {
protected:
    void TearDown() override { ClearSigScanData(); }
};

TEST_F(SigScanIndex, EmptyTableAndNullNameFindNothing) {
    ClearSigScanData();
    EXPECT_EQ(GetFuncIndex("te"), -1);
    EXPECT_EQ(GetFuncIndex(""), -1);
    EXPECT_EQ(GetFuncIndex(nullptr), -1);
    EXPECT_EQ(GetFuncAddr("te"), nullptr);
    Fill({"te"});
    EXPECT_EQ(GetFuncIndex(nullptr), -1);
    EXPECT_EQ(GetFuncAddr(nullptr), nullptr);
}

TEST_F(SigScanIndex, EveryNameIsFoundByItsOtherCaseSpelling) {
    // 300 names, then the same 300 in the other case, which are never the first match.
    // With 1024 slots a name and its other-case spelling land in different slots unless
    // the hash folds case (with 16 or 32 slots their hashes' low bits agree anyway).
    // Every letter starts some name in each case.
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i) {
        names.push_back(std::string(1, static_cast<char>('A' + i % 26)) + static_cast<char>('a' + i * 7 % 26) + "_Fn" +
                        std::to_string(i));
    }
    for (int i = 0; i < 300; ++i) names.push_back(OtherCase(names[i]));
    names.push_back(std::string(1023, 'q') + "Z");  // the longest name a record holds, last
    Fill(names);
    for (int i = 0; i < 600; ++i) {
        ASSERT_EQ(GetFuncIndex(OtherCase(names[i]).c_str()), i % 300) << names[i];
        ASSERT_EQ(GetFuncAddr(names[i].c_str()), AddressOf(i % 300)) << names[i];
    }
    const struct {
        const char* name;
        int position;
    } cases[] = {
        {"aA_fN0", 0}, {"AA_FN0", 0}, {"nN_FN299", 299}, {"Aa_Fn", -1}, {"Aa_Fn00", -1}, {"Aa_Fn 0", -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetFuncIndex(c.name), c.position) << c.name;
        EXPECT_EQ(GetFuncAddr(c.name), c.position < 0 ? nullptr : AddressOf(c.position)) << c.name;
    }
    EXPECT_EQ(GetFuncIndex((std::string(1023, 'Q') + "z").c_str()), 600);
    EXPECT_EQ(GetFuncIndex(std::string(1023, 'q').c_str()), -1);
    EXPECT_EQ(GetFuncIndex((std::string(1023, 'q') + "zz").c_str()), -1);
}

TEST_F(SigScanIndex, TheFirstOfEqualNamesWinsWhateverTheirCase) {
    Fill({"beta", "Alpha", "ALPHA", "gamma", "alpha", "BETA"});
    EXPECT_EQ(GetFuncIndex("alpha"), 1);
    EXPECT_EQ(GetFuncIndex("ALPHA"), 1);
    EXPECT_EQ(GetFuncAddr("aLpHa"), AddressOf(1));
    EXPECT_EQ(GetFuncIndex("Beta"), 0);
    EXPECT_EQ(GetFuncIndex("GAMMA"), 3);
    // Names beyond ASCII compare as strcasecmp compares them: here, byte for byte.
    Fill({"caf\xC3\xA9", "CAF\xC3\xA9"});
    EXPECT_EQ(GetFuncIndex("Caf\xC3\xA9"), 0);
    EXPECT_EQ(GetFuncIndex("caf\xC3\x89"), LinearScan("caf\xC3\x89"));
}

TEST_F(SigScanIndex, AgreesWithTheLinearScanOnACrowdedTable) {
    // Many names that differ in one character and in case, duplicates included, so that
    // probe runs cross each other and wrap around the end of the slots.
    std::vector<std::string> names;
    for (int i = 0; i < 2000; ++i) {
        char name[32];
        snprintf(name, sizeof(name), (i % 3) ? "entry_%d" : "ENTRY_%d", i % 1500);
        names.push_back(name);
    }
    Fill(names);
    for (int i = 0; i < 1600; ++i) {
        char query[32];
        snprintf(query, sizeof(query), (i % 2) ? "Entry_%d" : "entry_%d", i);
        ASSERT_EQ(GetFuncIndex(query), LinearScan(query)) << query;
    }
}

TEST_F(SigScanIndex, FollowsTheTableThroughClearsAndRebuilds) {
    Fill({"UTIL_Remove", "te"});
    EXPECT_EQ(GetFuncIndex("te"), 1);
    ClearSigScanData();
    EXPECT_EQ(GetFuncIndex("te"), -1);
    EXPECT_EQ(GetFuncIndex("UTIL_Remove"), -1);
    // Rebuilt with other records: the old positions are gone.
    Fill({"te", "CommitSuicide"});
    EXPECT_EQ(GetFuncIndex("te"), 0);
    EXPECT_EQ(GetFuncIndex("UTIL_Remove"), -1);
    EXPECT_EQ(GetFuncIndex("commitsuicide"), 1);
    // A record appended without a rebuild is still found: the lookup notices the change.
    Append("UTIL_Remove");
    EXPECT_EQ(GetFuncIndex("util_remove"), 2);
    EXPECT_EQ(GetFuncAddr("UTIL_REMOVE"), AddressOf(2));
}

}  // namespace
