// A small fake of the engine's player slots for the recipient filter's tests, fuzz
// target and benchmark: edicts, player information and the server globals, installed
// into the engine interface globals for the object's lifetime. Each player records the
// queries made of it, one letter each, so tests can check the order of a group's tests.
#pragma once

#include <string>
#include <vector>

#include "engine/EngineInterfaces.h"

// The engine's state flag of a free edict, stated here rather than taken from the
// plugin's declarations.
constexpr int kEdictFree = 0x2;

class FakePlayer final : public IPlayerInfoApi {
public:
    std::string name;
    std::string networkId;
    bool nullName = false;       // GetName answers null
    bool nullNetworkId = false;  // GetNetworkIDString answers null
    int userId = 0;
    int team = 0;
    bool connected = true;
    bool player = true;
    bool fake = false;
    bool dead = false;
    std::string queries;  // P player, C connected, F fake client, D dead, T team
    bool record = true;   // off for the benchmark, which measures the filter, not this

    const char* GetName() override { return nullName ? nullptr : name.c_str(); }
    int GetUserID() override { return userId; }
    const char* GetNetworkIDString() override { return nullNetworkId ? nullptr : networkId.c_str(); }
    int GetTeamIndex() override {
        Note('T');
        return team;
    }
    bool IsConnected() override {
        Note('C');
        return connected;
    }
    bool IsPlayer() override {
        Note('P');
        return player;
    }
    bool IsFakeClient() override {
        Note('F');
        return fake;
    }
    bool IsDead() override {
        Note('D');
        return dead;
    }
    int GetHealth() override { return dead ? 0 : 100; }
    CBotCmd GetLastUserCommand() override { return CBotCmd{}; }

private:
    void Note(char query) {
        if (record) queries += query;
    }
};

// Slots 0 to `slots` (plus a few entities beyond) with free edicts; Add* fills a slot.
class FakeServer final : public IEngineServerApi, public IPlayerInfoManagerApi {
public:
    explicit FakeServer(int maxClients)
        : edicts_(maxClients + 9), players_(maxClients + 9), missing_(maxClients + 9), hasInfo_(maxClients + 9) {
        for (edict_t& edict : edicts_) edict = edict_t{kEdictFree, 0, nullptr, nullptr};
        globals_.maxClients = maxClients;
        engine = this;
        playerinfomanager = this;
        gpGlobals = &globals_;
    }
    ~FakeServer() {
        engine = nullptr;
        playerinfomanager = nullptr;
        gpGlobals = nullptr;
    }
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    // A connected, alive player (human unless `fake`) in `slot`, in use.
    FakePlayer& Add(int slot, const char* name, int userId, int team, bool fake = false, bool dead = false,
                    const char* networkId = nullptr) {
        edicts_[slot].stateFlags = 0;
        FakePlayer& p = players_[slot];
        p = FakePlayer();
        p.name = name;
        p.userId = userId;
        p.team = team;
        p.fake = fake;
        p.dead = dead;
        p.networkId = networkId ? networkId : (fake ? "BOT" : "STEAM_0:0:" + std::to_string(userId));
        hasInfo_[slot] = true;
        return p;
    }
    // A slot the engine has no edict for at all.
    void RemoveEdict(int slot) { missing_[slot] = true; }
    // A used edict without player information.
    void AddBareEdict(int slot) { edicts_[slot].stateFlags = 0; }
    // Frees a slot's edict but leaves its player information in place.
    void FreeEdict(int slot) { edicts_[slot].stateFlags |= kEdictFree; }

    FakePlayer& Player(int slot) { return players_[slot]; }
    ServerGlobals& Globals() { return globals_; }

    int GetPlayerUserId(edict_t* edict) override {
        const int index = static_cast<int>(edict - edicts_.data());
        return index >= 0 && index < static_cast<int>(edicts_.size()) ? players_[index].userId : -1;
    }
    edict_t* PEntityOfEntIndex(int index) override {
        if (index < 0 || index >= static_cast<int>(edicts_.size()) || missing_[index]) return nullptr;
        return &edicts_[index];
    }
    int Cmd_Argc() override { return 0; }
    const char* Cmd_Argv(int) override { return ""; }
    void GetGameDir(char* out, int maxLength) override {
        if (out && maxLength > 0) out[0] = '\0';
    }
    void LogPrint(const char*) override {}

    IPlayerInfoApi* GetPlayerInfo(edict_t* edict) override {
        const size_t index = static_cast<size_t>(edict - edicts_.data());
        return index < hasInfo_.size() && hasInfo_[index] ? &players_[index] : nullptr;
    }
    ServerGlobals* GetGlobalVars() override { return &globals_; }

private:
    std::vector<edict_t> edicts_;
    std::vector<FakePlayer> players_;
    std::vector<bool> missing_;
    std::vector<bool> hasInfo_;
    ServerGlobals globals_ = {};
};
