// One fake of the engine's server side for unit tests, the filter's fuzz target and its
// benchmark: player slots with edicts, player information and bot controllers, the bot
// and player-information managers, the server globals, console arguments, the game
// directory and the server log. The object installs itself into the engine interface
// globals for its lifetime. Tests shape it through its public fields or override a
// method; what each player is asked is recorded on request.
#pragma once

#include <stdio.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/EngineInterfaces.h"

// The engine's state flag of a free edict, stated here rather than taken from the
// plugin's declarations.
constexpr int kEdictFree = 0x2;

// One player: the owner of its edict's entity, its player information and its bot
// controller. Not copyable: its edict points back at it.
class FakePlayer : public IServerUnknown, public IPlayerInfoApi, public IBotControllerApi {
public:
    explicit FakePlayer(int index) : index(index), userId(index + 1) { edict.unknown = this; }
    // Virtual: tests may derive their own player and hand it to the engine's list.
    virtual ~FakePlayer() = default;
    FakePlayer(const FakePlayer&) = delete;
    FakePlayer& operator=(const FakePlayer&) = delete;

    CBaseEntity* GetBaseEntity() override { return hasEntity ? reinterpret_cast<CBaseEntity*>(&entity) : nullptr; }

    const char* GetName() override { return nullName ? nullptr : name.c_str(); }
    int GetUserID() override { return userId; }
    const char* GetNetworkIDString() override { return nullNetworkId ? nullptr : networkId.c_str(); }
    int GetTeamIndex() override {
        Asked('T');
        return team;
    }
    bool IsConnected() override {
        Asked('C');
        return connected;
    }
    bool IsPlayer() override {
        Asked('P');
        return player;
    }
    bool IsFakeClient() override {
        Asked('F');
        return fake;
    }
    bool IsDead() override {
        Asked('D');
        return dead;
    }
    int GetHealth() override { return health; }
    CBotCmd GetLastUserCommand() override { return lastUserCommand; }

    Vector GetLocalOrigin() override { return origin; }
    void SetLocalAngles(const QAngle& a) override {
        Event("setangles");
        angles = a;
        anglesSet.push_back(a);
    }
    QAngle GetLocalAngles() override {
        Event("getangles");
        return angles;
    }
    void SetActiveWeapon(const char* weaponName) override {
        Event(std::string("weapon ") + weaponName);
        weapon = weaponName;
    }
    void PostClientMessagesSent() override { Event("notify"); }
    bool IsEFlagSet(int mask) override {
        flagMasks.push_back(mask);
        return (eflags & mask) != 0;
    }
    void RunPlayerMove(CBotCmd* command) override {
        Event("run");
        commands.push_back(*command);
    }

    // How this player's events read in `events`: "bot<index> <event>".
    std::string Tag(const std::string& event) const { return "bot" + std::to_string(index) + " " + event; }

    const int index;  // the slot
    edict_t edict = {};
    int entity = 0;  // stands for the game entity; only its address is handed out
    bool hasEntity = true;

    std::string name;
    std::string networkId = "BOT";
    bool nullName = false;       // GetName answers null
    bool nullNetworkId = false;  // GetNetworkIDString answers null
    int userId;
    int team = 3;
    bool connected = true;
    bool player = true;
    bool fake = true;
    bool dead = false;
    int health = 100;
    CBotCmd lastUserCommand = {};
    // With `recordQueries`, one letter per question: P player, C connected, F fake
    // client, D dead, T team.
    bool recordQueries = false;
    std::string queries;

    Vector origin = {0, 0, 0};
    QAngle angles = {0, 0, 0};
    int eflags = 0;
    std::string weapon;
    std::vector<int> flagMasks;
    std::vector<QAngle> anglesSet;
    std::vector<CBotCmd> commands;
    std::vector<std::string>* events = nullptr;  // where the controller's calls are told, if anywhere

private:
    void Asked(char question) {
        if (recordQueries) queries += question;
    }
    void Event(const std::string& event) {
        if (events) events->push_back(Tag(event));
    }
};

class FakeEngine : public IEngineServerApi, public IPlayerInfoManagerApi, public IBotManagerApi {
public:
    explicit FakeEngine(int maxClients = 0) {
        globals.maxClients = maxClients;
        engine = this;
        playerinfomanager = this;
        botmanager = this;
        gpGlobals = &globals;
    }
    virtual ~FakeEngine() {
        engine = nullptr;
        playerinfomanager = nullptr;
        botmanager = nullptr;
        gpGlobals = nullptr;
    }
    FakeEngine(const FakeEngine&) = delete;
    FakeEngine& operator=(const FakeEngine&) = delete;

    int GetPlayerUserId(edict_t* edict) override {
        auto it = playerInfo.find(edict);
        return it == playerInfo.end() ? -1 : it->second->GetUserID();
    }
    edict_t* PEntityOfEntIndex(int index) override {
        auto it = edicts.find(index);
        return it == edicts.end() ? nullptr : it->second;
    }
    int Cmd_Argc() override { return static_cast<int>(args.size()); }
    const char* Cmd_Argv(int index) override {
        return index >= 0 && index < Cmd_Argc() ? args[static_cast<size_t>(index)].c_str() : "";
    }
    void GetGameDir(char* out, int maxLength) override {
        if (out && maxLength > 0) snprintf(out, static_cast<size_t>(maxLength), "%s", gameDir.c_str());
    }
    void LogPrint(const char* text) override { log.push_back(text); }

    IPlayerInfoApi* GetPlayerInfo(edict_t* edict) override {
        auto it = playerInfo.find(edict);
        return it == playerInfo.end() ? nullptr : it->second;
    }
    ServerGlobals* GetGlobalVars() override { return &globals; }

    IBotControllerApi* GetBotController(edict_t* edict) override {
        auto it = controllers.find(edict);
        return it == controllers.end() ? nullptr : it->second;
    }
    // A new player in the next slot after the players made so far, named `name`.
    edict_t* CreateBot(const char* name) override {
        requestedNames.push_back(name);
        if (refuseNextBot) {
            refuseNextBot = false;
            return nullptr;
        }
        FakePlayer* bot = AddPlayer(static_cast<int>(players.size()) + 1);
        bot->name = name;
        if (botsWithoutController) controllers.erase(&bot->edict);
        if (botsWithoutPlayerInfo) playerInfo.erase(&bot->edict);
        return &bot->edict;
    }

    // A player in `slot`, its edict in use and known to every lookup: a bot on team 3
    // with user id slot + 1 unless the fields say otherwise.
    FakePlayer* AddPlayer(int slot) {
        players.push_back(std::make_unique<FakePlayer>(slot));
        FakePlayer* player = players.back().get();
        player->events = events;
        edicts[slot] = &player->edict;
        playerInfo[&player->edict] = player;
        controllers[&player->edict] = player;
        return player;
    }
    // A connected, alive player with these texts; human unless `fake`, network id
    // "BOT" for a bot and "STEAM_0:0:<userId>" for a human unless given.
    FakePlayer* AddPlayer(int slot, const char* name, int userId, int team, bool fake = false, bool dead = false,
                          const char* networkId = nullptr) {
        FakePlayer* player = AddPlayer(slot);
        player->name = name;
        player->userId = userId;
        player->team = team;
        player->fake = fake;
        player->dead = dead;
        player->health = dead ? 0 : 100;
        player->networkId = networkId ? networkId : fake ? "BOT" : "STEAM_0:0:" + std::to_string(userId);
        return player;
    }
    // The player made last for `slot`, or null.
    FakePlayer* Player(int slot) {
        for (auto it = players.rbegin(); it != players.rend(); ++it) {
            if ((*it)->index == slot) return it->get();
        }
        return nullptr;
    }

    ServerGlobals globals = {};
    std::vector<std::unique_ptr<FakePlayer>> players;  // in the order made
    std::unordered_map<int, edict_t*> edicts;          // by slot
    std::unordered_map<edict_t*, IPlayerInfoApi*> playerInfo;
    std::unordered_map<edict_t*, IBotControllerApi*> controllers;
    std::vector<std::string>* events = nullptr;  // handed to each player made from now on

    std::vector<std::string> args;  // the console command being run, its name first
    std::string gameDir;
    std::vector<std::string> log;  // the server log, one entry per LogPrint

    std::vector<std::string> requestedNames;  // every CreateBot, refused or not
    bool refuseNextBot = false;
    bool botsWithoutController = false;
    bool botsWithoutPlayerInfo = false;
};
