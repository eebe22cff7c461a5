// The call layer: which slot or located function each call reaches, with which
// arguments, and when it refuses to call.
#include "sigscan/GameCalls.h"

#include <gtest/gtest.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "sigscan/SigScanTable.h"
#include "support/ArrayAllocations.h"

namespace {

std::vector<std::string> g_calls;

std::string Describe(const char* fmt, ...) {
    char text[256];
    va_list args;
    va_start(args, fmt);
    vsnprintf(text, sizeof(text), fmt, args);
    va_end(args);
    return text;
}

// A game object whose virtual table records the calls it receives.
struct FakeEntity {
    void** table;
    int id;
};

// The game's table: 359 slots, 0 to 358. The slot numbers below are the game's, written
// out here rather than taken from the call layer, so that a wrong slot there reaches
// OnAnySlot and the recorded call shows it.
void* g_table[359];

int Id(const void* self) { return static_cast<const FakeEntity*>(self)->id; }

void OnSetModel(CBaseEntity* self, const char* model) { g_calls.push_back(Describe("26 %d %s", Id(self), model)); }
void OnTeleport(CBaseEntity* self, const Vector* o, const QAngle* a, const Vector* v) {
    g_calls.push_back(Describe("99 %d %g %g %g", Id(self), o->x, a->y, v->z));
}
void OnIgnite(CBaseEntity* self, float life, bool npc, float size, bool designer) {
    g_calls.push_back(Describe("189 %d %g %d %g %d", Id(self), life, npc, size, designer));
}
int OnGiveAmmo(CBaseEntity* self, int count, int index, bool suppress) {
    g_calls.push_back(Describe("214 %d %d %d %d", Id(self), count, index, suppress));
    return 17;
}
void OnWeaponDrop(CBaseEntity* self, CBaseCombatWeapon* weapon, const Vector* target, const Vector* velocity) {
    g_calls.push_back(Describe("220 %d %d %p %p", Id(self), Id(weapon), (void*)target, (void*)velocity));
}
bool OnWeaponSwitch(CBaseEntity* self, CBaseCombatWeapon* weapon, int viewModel) {
    g_calls.push_back(Describe("221 %d %d %d", Id(self), Id(weapon), viewModel));
    return true;
}
CBaseCombatWeapon* OnWeaponGetSlot(CBaseEntity* self, int slot) {
    g_calls.push_back(Describe("225 %d %d", Id(self), slot));
    return reinterpret_cast<CBaseCombatWeapon*>(self);
}
bool OnRemovePlayerItem(CBaseEntity* self, CBaseCombatWeapon* weapon) {
    g_calls.push_back(Describe("227 %d %d", Id(self), Id(weapon)));
    return true;
}
void OnPickedUpSlot(CBaseCombatCharacter* self) { g_calls.push_back(Describe("262 %d", Id(self))); }
const char* OnGetName(CBaseCombatWeapon* self) {
    g_calls.push_back(Describe("283 %d", Id(self)));
    return "weapon_knife";
}
void OnRemoveAllItems(CBaseEntity* self, bool suit) { g_calls.push_back(Describe("284 %d %d", Id(self), suit)); }
void OnDelete(CBaseCombatWeapon* self) { g_calls.push_back(Describe("307 %d", Id(self))); }
CBaseEntity* OnGiveNamedItem(CBaseEntity* self, const char* name, int subType) {
    g_calls.push_back(Describe("330 %d %s %d", Id(self), name, subType));
    return self;
}
void OnCommitSuicide(CBaseEntity* self) { g_calls.push_back(Describe("358 %d", Id(self))); }
void OnAnySlot(void* self) { g_calls.push_back(Describe("other %d", Id(self))); }

// Located functions.
void Respawn(CBaseEntity* entity) { g_calls.push_back(Describe("respawn %d", Id(entity))); }
void SwitchTeam(CBaseEntity* entity, int team) { g_calls.push_back(Describe("team %d %d", Id(entity), team)); }
void Dissolve(CBaseEntity* entity, const char* material, float start, bool npc, int type, Vector origin, int mag) {
    g_calls.push_back(Describe("dissolve %d %s %g %d %d %g %g %g %d", Id(entity), material, start, npc, type, origin.x,
                               origin.y, origin.z, mag));
}

class HasEntity final : public IServerUnknown {
public:
    explicit HasEntity(FakeEntity* e) : entity(e) {}
    CBaseEntity* GetBaseEntity() override { return reinterpret_cast<CBaseEntity*>(entity); }
    FakeEntity* entity;
};

void AddEntry(const char* name, void* address) {
    vrn_sigscan_struct record = {};
    strncpy(record.funcName, name, 1024);
    record.funcIndex = VRN_SigScan_Data.Count() + 1;
    record.sigBytes = new unsigned char[1]{0};
    record.funcAddress = address;
    VRN_SigScan_Data.AddToTail(record);
}

class GameCallsTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (void*& slot : g_table) slot = reinterpret_cast<void*>(&OnAnySlot);
        const struct {
            int slot;
            void* function;
        } known[] = {
            {26, reinterpret_cast<void*>(&OnSetModel)},        {99, reinterpret_cast<void*>(&OnTeleport)},
            {189, reinterpret_cast<void*>(&OnIgnite)},         {214, reinterpret_cast<void*>(&OnGiveAmmo)},
            {220, reinterpret_cast<void*>(&OnWeaponDrop)},     {221, reinterpret_cast<void*>(&OnWeaponSwitch)},
            {225, reinterpret_cast<void*>(&OnWeaponGetSlot)},  {227, reinterpret_cast<void*>(&OnRemovePlayerItem)},
            {262, reinterpret_cast<void*>(&OnPickedUpSlot)},   {283, reinterpret_cast<void*>(&OnGetName)},
            {284, reinterpret_cast<void*>(&OnRemoveAllItems)}, {307, reinterpret_cast<void*>(&OnDelete)},
            {330, reinterpret_cast<void*>(&OnGiveNamedItem)},  {358, reinterpret_cast<void*>(&OnCommitSuicide)},
        };
        for (const auto& entry : known) g_table[entry.slot] = entry.function;
        g_calls.clear();
        edict.unknown = &owner;
    }
    void TearDown() override {
        ClearSigScanData();
        EXPECT_EQ(arrays_.Live(), 0) << "signatures (new[]) leaked";
    }
    ArrayLeakCheck arrays_;

    FakeEntity player{g_table, 3};
    FakeEntity weapon{g_table, 40};
    HasEntity owner{&player};
    edict_t edict = {};
    CBaseEntity* entity = reinterpret_cast<CBaseEntity*>(&player);
    CBaseCombatWeapon* gun = reinterpret_cast<CBaseCombatWeapon*>(&weapon);
};

TEST_F(GameCallsTest, WrappersCallTheirSlotWithTheirArguments) {
    const Vector origin = {1, 2, 3}, velocity = {7, 8, 9};
    const QAngle angles = {4, 5, 6};
    CBaseCombatCharacter* character = reinterpret_cast<CBaseCombatCharacter*>(&player);
    SetModel(entity, "models/a.mdl");
    Teleport(entity, &origin, &angles, &velocity);
    Ignite(entity, 2.5f, true, 0.5f, false);
    EXPECT_EQ(GiveAmmo(entity, 30, 0), 0) << "ammo index 0 calls nothing";
    EXPECT_EQ(GiveAmmo(entity, 30, 2), 17);
    Weapon_Drop(entity, gun);
    EXPECT_TRUE(Weapon_Switch(entity, gun));
    EXPECT_EQ(Weapon_GetSlot(entity, 1), reinterpret_cast<CBaseCombatWeapon*>(entity));
    EXPECT_TRUE(RemovePlayerItem(entity, gun));
    OnPickedUp(character);
    EXPECT_STREQ(GetName(gun), "weapon_knife");
    RemoveAllItems(entity, true);
    Delete(gun);
    EXPECT_EQ(GiveNamedItem(entity, "weapon_awp", 2), entity);
    CommitSuicide(entity);
    const std::vector<std::string> expected = {
        "26 3 models/a.mdl", "99 3 1 5 9", "189 3 2.5 1 0.5 0",  "214 3 30 2 0", "220 3 40 (nil) (nil)",
        "221 3 40 0",        "225 3 1",    "227 3 40",           "262 3",        "283 40",
        "284 3 1",           "307 40",     "330 3 weapon_awp 2", "358 3"};
    EXPECT_EQ(g_calls, expected);
}

TEST_F(GameCallsTest, TableCallsFindTheirEntryIgnoringCaseAndPassTheEntity) {
    AddEntry("ccsplayer::roundrespawn", reinterpret_cast<void*>(&Respawn));
    AddEntry("CCSPlayer::SwitchTeam", reinterpret_cast<void*>(&SwitchTeam));
    AddEntry("CBaseAnimating::Dissolve", reinterpret_cast<void*>(&Dissolve));
    EXPECT_TRUE(UTIL_RespawnPlayer(&edict, false));
    EXPECT_TRUE(UTIL_RespawnPlayer(&edict, true));
    EXPECT_TRUE(UTIL_SwitchTeam(&edict, 3));
    EXPECT_TRUE(UTIL_Dissolve(&edict, "sprites/blueglow", 1.5f, false, 2, Vector{10, 20, 30}, 4));
    const std::vector<std::string> expected = {"respawn 3", "respawn 3", "team 3 3",
                                               "dissolve 3 sprites/blueglow 1.5 0 2 10 20 30 4"};
    EXPECT_EQ(g_calls, expected);
    EXPECT_EQ(GetFuncIndex("CCSPLAYER::SWITCHTEAM"), 1);
}

TEST_F(GameCallsTest, TableCallsRefuseWithoutEntryEdictOrEntity) {
    EXPECT_FALSE(UTIL_RespawnPlayer(&edict, true)) << "empty table";
    EXPECT_FALSE(UTIL_Remove(&edict));
    EXPECT_FALSE(UTIL_KillPlayer(&edict));
    EXPECT_EQ(VRN_GetTempEnts(), nullptr);
    EXPECT_EQ(GetFuncIndex("UTIL_Remove"), -1);

    AddEntry("UTIL_Remove", reinterpret_cast<void*>(&Respawn));
    EXPECT_FALSE(UTIL_Remove(nullptr)) << "a null edict is refused, not dereferenced";
    edict_t empty = {};
    EXPECT_FALSE(UTIL_Remove(&empty)) << "no owner object";
    HasEntity nobody(nullptr);
    empty.unknown = &nobody;
    EXPECT_FALSE(UTIL_Remove(&empty)) << "no entity";
    EXPECT_TRUE(g_calls.empty());
    EXPECT_TRUE(UTIL_Remove(&edict));
    EXPECT_EQ(g_calls, std::vector<std::string>{"respawn 3"});
}

}  // namespace
