// Fakes of the engine objects the bots use: players (entity owner, player information
// and bot controller in one), the bot and player-info managers, the engine, the
// helpers, the trace and the random stream. Every call that matters is appended to
// one event log, so tests can check what happened and in which order. Draws from the
// random sources come from scripted queues; an unscripted draw fails the test, so a
// source used where it should not be is caught.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bots/BotThink.h"

// The runtime's RandomFloat is replaced in the bot tests by this scripted queue.
extern std::deque<float> g_runtimeFloats;

struct BotEvents {
    std::vector<std::string> log;
    void Add(const std::string& event) { log.push_back(event); }
    int Count(const std::string& event) const {
        int n = 0;
        for (const std::string& e : log) n += e == event;
        return n;
    }
};

extern BotEvents g_events;

struct FakeEntity {
    int unused;
};

class FakePlayer final : public IServerUnknown, public IPlayerInfoApi, public IBotControllerApi {
public:
    explicit FakePlayer(int index) : index(index) { edict.unknown = this; }

    CBaseEntity* GetBaseEntity() override { return hasEntity ? reinterpret_cast<CBaseEntity*>(&entity) : nullptr; }

    const char* GetName() override { return "fake"; }
    int GetUserID() override { return index + 1; }
    const char* GetNetworkIDString() override { return "BOT"; }
    int GetTeamIndex() override { return team; }
    bool IsConnected() override { return connected; }
    bool IsPlayer() override { return true; }
    bool IsFakeClient() override { return true; }
    bool IsDead() override { return dead; }
    int GetHealth() override { return health; }
    CBotCmd GetLastUserCommand() override { return lastUserCommand; }

    Vector GetLocalOrigin() override { return origin; }
    void SetLocalAngles(const QAngle& a) override {
        g_events.Add(Tag("setangles"));
        angles = a;
        anglesSet.push_back(a);
    }
    QAngle GetLocalAngles() override {
        g_events.Add(Tag("getangles"));
        return angles;
    }
    void SetActiveWeapon(const char* weaponName) override {
        g_events.Add(Tag("weapon ") + weaponName);
        weapon = weaponName;
    }
    void PostClientMessagesSent() override { g_events.Add(Tag("notify")); }
    bool IsEFlagSet(int mask) override {
        flagMasks.push_back(mask);
        return (eflags & mask) != 0;
    }
    void RunPlayerMove(CBotCmd* command) override {
        g_events.Add(Tag("run"));
        commands.push_back(*command);
    }

    std::string Tag(const std::string& event) const { return "bot" + std::to_string(index) + " " + event; }

    int index;
    edict_t edict = {};
    FakeEntity entity = {};
    bool hasEntity = true;
    bool connected = true;
    bool dead = false;
    int team = 3;
    int health = 100;
    int eflags = 0;
    Vector origin = {0, 0, 0};
    QAngle angles = {0, 0, 0};
    CBotCmd lastUserCommand = {};
    std::string weapon;
    std::vector<int> flagMasks;
    std::vector<QAngle> anglesSet;
    std::vector<CBotCmd> commands;
};

class FakeEngine final : public IEngineServerApi, public IPlayerInfoManagerApi, public IBotManagerApi {
public:
    // IEngineServerApi
    int GetPlayerUserId(edict_t*) override { return -1; }
    edict_t* PEntityOfEntIndex(int index) override {
        auto it = edicts.find(index);
        return it == edicts.end() ? nullptr : it->second;
    }
    int Cmd_Argc() override { return 1; }
    const char* Cmd_Argv(int index) override { return index == 0 ? "plugin_bot_add" : ""; }
    void GetGameDir(char* out, int maxLength) override {
        if (maxLength > 0) out[0] = '\0';
    }
    void LogPrint(const char*) override {}

    // IPlayerInfoManagerApi
    IPlayerInfoApi* GetPlayerInfo(edict_t* edict) override {
        auto it = playerInfo.find(edict);
        return it == playerInfo.end() ? nullptr : it->second;
    }
    ServerGlobals* GetGlobalVars() override { return &globals; }

    // IBotManagerApi
    IBotControllerApi* GetBotController(edict_t* edict) override {
        auto it = controllers.find(edict);
        return it == controllers.end() ? nullptr : it->second;
    }
    edict_t* CreateBot(const char* name) override {
        requestedNames.push_back(name);
        if (refuseNext) {
            refuseNext = false;
            return nullptr;
        }
        FakePlayer* player = AddPlayer(static_cast<int>(players.size()) + 1);
        if (withoutController) controllers.erase(&player->edict);
        if (withoutPlayerInfo) playerInfo.erase(&player->edict);
        return &player->edict;
    }

    // A player in slot `index`, known to every lookup.
    FakePlayer* AddPlayer(int index) {
        players.push_back(std::make_unique<FakePlayer>(index));
        FakePlayer* player = players.back().get();
        edicts[index] = &player->edict;
        playerInfo[&player->edict] = player;
        controllers[&player->edict] = player;
        return player;
    }

    ServerGlobals globals = {};
    std::vector<std::unique_ptr<FakePlayer>> players;
    std::map<int, edict_t*> edicts;
    std::map<edict_t*, IPlayerInfoApi*> playerInfo;
    std::map<edict_t*, IBotControllerApi*> controllers;
    std::vector<std::string> requestedNames;
    bool refuseNext = false;
    bool withoutController = false;
    bool withoutPlayerInfo = false;
};

class FakeHelpers final : public IPluginHelpersApi {
public:
    void ClientCommand(edict_t* edict, const char* command) override {
        const FakePlayer* player = static_cast<FakePlayer*>(static_cast<IServerUnknown*>(edict->unknown));
        g_events.Add(player->Tag("cmd ") + command);
    }
};

class FakeTrace final : public IEngineTraceApi {
public:
    void TraceRay(const Ray_t& ray, unsigned int mask, ITraceFilter* filter, trace_t* result) override {
        rays.push_back(ray);
        masks.push_back(mask);
        FakeEntity any = {};
        filterHits.push_back(filter->ShouldHitEntity(reinterpret_cast<IHandleEntity*>(&any), static_cast<int>(mask)));
        filterTypes.push_back(filter->GetTraceType());
        *result = trace_t{};
        result->fraction = fraction(static_cast<int>(rays.size()) - 1);
    }

    // The fraction of the n-th trace (0 first); nothing in the way by default.
    std::function<float(int)> fraction = [](int) { return 1.0f; };
    std::vector<Ray_t> rays;
    std::vector<unsigned int> masks;
    std::vector<bool> filterHits;
    std::vector<int> filterTypes;
};

class FakeRandom final : public IRandomStreamApi {
public:
    float RandomFloat(float low, float high) override {
        calls.push_back("float " + Bounds(low, high));
        if (floats.empty()) {
            ADD_FAILURE() << "unscripted randomStr float draw " << low << ".." << high;
            return low;
        }
        float value = floats.front();
        floats.pop_front();
        return value;
    }
    int RandomInt(int low, int high) override {
        calls.push_back("int " + Bounds(static_cast<float>(low), static_cast<float>(high)));
        if (ints.empty()) {
            ADD_FAILURE() << "unscripted randomStr int draw " << low << ".." << high;
            return low;
        }
        int value = ints.front();
        ints.pop_front();
        return value;
    }
    static std::string Bounds(float low, float high) {
        char text[64];
        snprintf(text, sizeof(text), "%g %g", low, high);
        return text;
    }

    std::deque<float> floats;
    std::deque<int> ints;
    std::vector<std::string> calls;
};

// Installs the fakes in the engine interface globals, resets the steering variables,
// and empties the registry and the fakes' record afterwards.
class BotTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A registry-free bot record for the player in `index` (a new player).
    CPluginBot MakeBot(int index, FakePlayer** player);

    FakeEngine fake;
    FakeHelpers fakeHelpers;
    FakeTrace fakeTrace;
    FakeRandom fakeRandom;
};
