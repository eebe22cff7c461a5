// The exported entity wrappers that no plugin command uses yet: each must call its own
// virtual slot of the game's entity with the arguments in the game's order.
#include <string>
#include <vector>

#include "sigscan/GameFunctions.h"
#include "support/HostFixture.h"

namespace {

class EntityWrappersTest : public HostTest {};

TEST_F(EntityWrappersTest, EachWrapperCallsItsSlotWithItsArguments) {
    StartWithPlugin();
    host.AddClient("Alice", "ID_1", false);
    CBaseEntity* entity = host.Edict(1)->unknown->GetBaseEntity();
    auto getSlot = PluginSymbol<CBaseCombatWeapon* (*)(CBaseEntity*, int)>("_Z14Weapon_GetSlotP11CBaseEntityi");
    auto ignite = PluginSymbol<void (*)(CBaseEntity*, float, bool, float, bool)>("_Z6IgniteP11CBaseEntityfbfb");
    auto give = PluginSymbol<CBaseEntity* (*)(CBaseEntity*, const char*, int)>("_Z13GiveNamedItemP11CBaseEntityPKci");
    auto weaponSwitch =
        PluginSymbol<bool (*)(CBaseEntity*, CBaseCombatWeapon*)>("_Z13Weapon_SwitchP11CBaseEntityP17CBaseCombatWeapon");
    auto removeItem = PluginSymbol<bool (*)(CBaseEntity*, CBaseCombatWeapon*)>(
        "_Z16RemovePlayerItemP11CBaseEntityP17CBaseCombatWeapon");
    auto removeAll = PluginSymbol<void (*)(CBaseEntity*, bool)>("_Z14RemoveAllItemsP11CBaseEntityb");
    auto pickedUp = PluginSymbol<void (*)(CBaseCombatCharacter*)>("_Z10OnPickedUpP20CBaseCombatCharacter");
    ASSERT_TRUE(getSlot && ignite && give && weaponSwitch && removeItem && removeAll && pickedUp);

    CBaseCombatWeapon* pistol = getSlot(entity, 1);
    ASSERT_NE(pistol, nullptr);
    host.Game()->ClearCalls();
    ignite(entity, 5.0f, false, 2.5f, true);
    give(entity, "weapon_knife", 3);
    weaponSwitch(entity, pistol);
    removeItem(entity, pistol);
    removeAll(entity, true);
    pickedUp(reinterpret_cast<CBaseCombatCharacter*>(entity));

    std::vector<std::string> recorded;
    for (const GameCall& call : host.Game()->Calls()) {
        recorded.push_back(call.function + " " + std::to_string(call.entity) + " " + call.args);
    }
    EXPECT_EQ(recorded,
              (std::vector<std::string>{
                  "slot 189 Ignite 1 5, false, 2.5, true", "slot 330 GiveNamedItem 1 \"weapon_knife\", 3",
                  "slot 221 Weapon_Switch 1 \"weapon_pistol\", 0", "slot 227 RemovePlayerItem 1 \"weapon_pistol\"",
                  "slot 284 RemoveAllItems 1 true", "slot 262 OnPickedUp 1 "}));
}

}  // namespace
