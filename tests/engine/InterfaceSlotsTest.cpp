// The virtual-table slot of every function called across the engine boundary, stated
// here on its own and checked against the declarations. The engine and the plugin call
// each other by slot, and the stand-ins built from the same headers would agree with any
// order, so only this table notices a declaration moved, inserted or removed.
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include "engine/EngineInterfaces.h"
#include "engine/IRecipientFilter.h"
#include "engine/IServerPluginCallbacks.h"

namespace {

// On the Itanium C++ ABI for i386 a pointer to a virtual member function holds 1 + the
// byte offset of its slot in the virtual table (then an adjustment of the object
// pointer); a non-virtual one holds the function's address, which is even. -1 for that.
template <typename Member>
int SlotOf(Member member) {
    static_assert(sizeof(Member) == 2 * sizeof(uintptr_t), "a function word and an adjustment");
    uintptr_t words[2];
    memcpy(words, &member, sizeof(words));
    if ((words[0] & 1) == 0) return -1;
    return static_cast<int>((words[0] - 1) / sizeof(void*));
}

struct Slot {
    const char* function;
    int expected;
    int actual;
};
#define SLOT(Interface, Function, slot) \
    { #Interface "::" #Function, slot, SlotOf(&Interface::Function) }

}  // namespace

// A class with a virtual destructor has its two destructor slots (complete and deleting)
// before its first declared function.
TEST(InterfaceSlotsTest, EveryFunctionSitsInItsSlot) {
    const Slot slots[] = {
        SLOT(IServerPluginCallbacks, Load, 0),
        SLOT(IServerPluginCallbacks, Unload, 1),
        SLOT(IServerPluginCallbacks, Pause, 2),
        SLOT(IServerPluginCallbacks, UnPause, 3),
        SLOT(IServerPluginCallbacks, GetPluginDescription, 4),
        SLOT(IServerPluginCallbacks, LevelInit, 5),
        SLOT(IServerPluginCallbacks, ServerActivate, 6),
        SLOT(IServerPluginCallbacks, GameFrame, 7),
        SLOT(IServerPluginCallbacks, LevelShutdown, 8),
        SLOT(IServerPluginCallbacks, ClientActive, 9),
        SLOT(IServerPluginCallbacks, ClientDisconnect, 10),
        SLOT(IServerPluginCallbacks, ClientPutInServer, 11),
        SLOT(IServerPluginCallbacks, SetCommandClient, 12),
        SLOT(IServerPluginCallbacks, ClientSettingsChanged, 13),
        SLOT(IServerPluginCallbacks, ClientConnect, 14),
        SLOT(IServerPluginCallbacks, ClientCommand, 15),
        SLOT(IServerPluginCallbacks, NetworkIDValidated, 16),

        SLOT(IGameEventListener2, FireGameEvent, 2),

        SLOT(IServerUnknown, GetBaseEntity, 0),

        SLOT(IEngineServerApi, GetPlayerUserId, 0),
        SLOT(IEngineServerApi, PEntityOfEntIndex, 1),
        SLOT(IEngineServerApi, Cmd_Argc, 2),
        SLOT(IEngineServerApi, Cmd_Argv, 3),
        SLOT(IEngineServerApi, GetGameDir, 4),
        SLOT(IEngineServerApi, LogPrint, 5),

        SLOT(IPlayerInfoApi, GetName, 0),
        SLOT(IPlayerInfoApi, GetUserID, 1),
        SLOT(IPlayerInfoApi, GetNetworkIDString, 2),
        SLOT(IPlayerInfoApi, GetTeamIndex, 3),
        SLOT(IPlayerInfoApi, IsConnected, 4),
        SLOT(IPlayerInfoApi, IsPlayer, 5),
        SLOT(IPlayerInfoApi, IsFakeClient, 6),
        SLOT(IPlayerInfoApi, IsDead, 7),
        SLOT(IPlayerInfoApi, GetHealth, 8),
        SLOT(IPlayerInfoApi, GetLastUserCommand, 9),

        SLOT(IPlayerInfoManagerApi, GetPlayerInfo, 0),
        SLOT(IPlayerInfoManagerApi, GetGlobalVars, 1),

        SLOT(IBotControllerApi, GetLocalOrigin, 0),
        SLOT(IBotControllerApi, SetLocalAngles, 1),
        SLOT(IBotControllerApi, GetLocalAngles, 2),
        SLOT(IBotControllerApi, SetActiveWeapon, 3),
        SLOT(IBotControllerApi, PostClientMessagesSent, 4),
        SLOT(IBotControllerApi, IsEFlagSet, 5),
        SLOT(IBotControllerApi, RunPlayerMove, 6),

        SLOT(IBotManagerApi, GetBotController, 0),
        SLOT(IBotManagerApi, CreateBot, 1),

        SLOT(IPluginHelpersApi, ClientCommand, 0),

        SLOT(ITraceFilter, ShouldHitEntity, 0),
        SLOT(ITraceFilter, GetTraceType, 1),

        SLOT(IEngineTraceApi, TraceRay, 0),

        SLOT(IRandomStreamApi, RandomFloat, 0),
        SLOT(IRandomStreamApi, RandomInt, 1),

        SLOT(IServerGameDllApi, GetGameDescription, 0),

        SLOT(IRecipientFilter, IsReliable, 2),
        SLOT(IRecipientFilter, IsInitMessage, 3),
        SLOT(IRecipientFilter, GetRecipientCount, 4),
        SLOT(IRecipientFilter, GetRecipientIndex, 5),
    };
    for (const Slot& slot : slots) EXPECT_EQ(slot.actual, slot.expected) << slot.function;
}
