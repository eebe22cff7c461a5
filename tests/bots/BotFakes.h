// The fakes the bots use beside the shared fake engine and its players: the helpers,
// the trace and the random stream. Every call that matters is appended to one event
// log, so tests can check what happened and in which order. Draws from the random
// sources come from scripted queues; an unscripted draw fails the test, so a source
// used where it should not be is caught.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "bots/BotThink.h"
#include "support/FakeEngine.h"

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
        int any = 0;
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

// Installs the fakes in the engine interface globals (the engine installs itself), the
// players' events going to g_events; resets the steering variables, and empties the
// registry and the fakes' record afterwards.
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
