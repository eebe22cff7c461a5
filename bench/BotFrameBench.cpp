// Measures one simulated frame of 64 plugin bots (the plugin's GameFrame(true), which
// runs Bot_RunAll) in the simulated engine, in two worlds: clear paths (one probe per
// bot, a turn every 2 s) and boxed in (every probe blocked: 24 probes per bot). The
// yardstick is a replay, made by this program without the plugin, of the engine calls
// a think makes (player lookups, controller calls, the probes' traces and the turns'
// random draws, the command run); the plugin's share is the frame minus the replay. Samples of both are taken
// interleaved, on one pinned core, with the thread's CPU clock; the figures are
// medians with quartiles. Exits non-zero only when the set-up fails, never on time.
//
// Usage: bot_frame_bench [frames per sample (default 50)] [samples (default 31)]
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/engine/HostEngine.h"
#include "host/tier0/HostTier0.h"

namespace {

const int kBots = 64;

double ThreadSeconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void Quiet(const char*, void*) {}

struct Quartiles {
    double q1, median, q3;
};

Quartiles Summarise(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    auto at = [&](double f) {
        const double pos = f * static_cast<double>(values.size() - 1);
        const size_t low = static_cast<size_t>(pos);
        const size_t high = std::min(low + 1, values.size() - 1);
        return values[low] + (values[high] - values[low]) * (pos - static_cast<double>(low));
    };
    return {at(0.25), at(0.5), at(0.75)};
}

class WorldOnlyFilter final : public ITraceFilter {
public:
    bool ShouldHitEntity(IHandleEntity*, int) override { return false; }
    int GetTraceType() const override { return 0; }
};

struct Start {
    Vector origin;
    float yaw;
};

class Bench {
public:
    bool SetUp(const std::string& binDir) {
        HostOptions options;
        options.gameDir = binDir + "/../demo";
        options.maxClients = kBots;
        if (!host_.Start(options) || !host_.LoadPlugin(binDir + "/vorlane_utils.so")) return false;
        players_ = static_cast<IPlayerInfoManagerApi*>(host_.Lookup("PlayerInfoManager002", true, false, nullptr));
        bots_ = static_cast<IBotManagerApi*>(host_.Lookup("BotManager001", true, false, nullptr));
        trace_ = static_cast<IEngineTraceApi*>(host_.Lookup("EngineTraceServer003", false, false, nullptr));
        random_ = static_cast<IRandomStreamApi*>(host_.Lookup("VEngineRandom001", false, false, nullptr));
        for (int i = 0; i < kBots; ++i) host_.ExecuteLine("plugin_bot_add");
        for (int slot = 1; slot <= kBots; ++slot) {
            if (!bots_->GetBotController(host_.Edict(slot))) return false;
        }
        // The first frame: every bot is dead on team 0 and joins.
        const double before = ThreadSeconds();
        host_.Plugin()->GameFrame(true);
        coldJoinFrame_ = ThreadSeconds() - before;
        return players_ && bots_ && trace_ && random_;
    }

    // Clear paths: a room far larger than a sample's walk, bots spread over a grid.
    void ClearWorld() {
        host_.ExecuteLine("host_worldbox -4100 -4100 -64 -4000 4100 256; host_worldbox 4000 -4100 -64 4100 4100 256");
        host_.ExecuteLine("host_worldbox -4100 -4100 -64 4100 -4000 256; host_worldbox -4100 4000 -64 4100 4100 256");
        starts_.clear();
        for (int i = 0; i < kBots; ++i) {
            starts_.push_back({{static_cast<float>((i % 8) * 400 - 1400), static_cast<float>((i / 8) * 400 - 1400), 0},
                               static_cast<float>((i * 45) % 360 - 180)});
        }
        probes_ = 1;
        turns_ = 0;
    }

    // Boxed in: every bot in a cell whose walls stand 1 unit from its box, so every
    // probe (10 units ahead, at least 7 along one axis) stays blocked however it moves.
    void BoxedWorld() {
        host_.ExecuteLine("host_worldbox -80 -80 -64 -17 80 256; host_worldbox 17 -80 -64 80 80 256");
        host_.ExecuteLine("host_worldbox -80 -80 -64 80 -17 256; host_worldbox -80 17 -64 80 80 256");
        starts_.assign(kBots, Start{{0, 0, 0}, 0});
        for (int i = 0; i < kBots; ++i) starts_[i].yaw = static_cast<float>((i * 15) % 360 - 180);
        probes_ = 24;
        turns_ = 24;
    }

    void Reset() {
        for (int slot = 1; slot <= kBots; ++slot) {
            const Start& s = starts_[slot - 1];
            host_.Game()->PlacePlayer(host_.Edict(slot), s.origin, {0, s.yaw, 0});
        }
    }

    // Seconds per frame of `frames` plugin frames.
    double PluginFrames(int frames) {
        Reset();
        const int traces = host_.Traces().count;
        double total = 0;
        for (int f = 0; f < frames; ++f) {
            const double before = ThreadSeconds();
            host_.Plugin()->GameFrame(true);
            total += ThreadSeconds() - before;
        }
        tracesPerFrame_ = static_cast<double>(host_.Traces().count - traces) / frames;
        return total / frames;
    }

    // Seconds per frame of the same engine calls made without the plugin.
    double ReplayFrames(int frames) {
        Reset();
        WorldOnlyFilter filter;
        double total = 0;
        for (int f = 0; f < frames; ++f) {
            const double before = ThreadSeconds();
            for (int slot = 1; slot <= kBots; ++slot) ReplayThink(host_.Edict(slot), &filter);
            total += ThreadSeconds() - before;
        }
        return total / frames;
    }

    double ColdJoinFrame() const { return coldJoinFrame_; }
    double TracesPerFrame() const { return tracesPerFrame_; }

private:
    void ReplayThink(edict_t* edict, ITraceFilter* filter) {
        if ((edict->stateFlags & 2) || !edict->unknown || !edict->unknown->GetBaseEntity()) return;
        IPlayerInfoApi* info = players_->GetPlayerInfo(edict);
        IBotControllerApi* controller = bots_->GetBotController(edict);
        if (!info->IsConnected() || info->IsDead()) return;
        controller->IsEFlagSet(256);
        info->GetHealth();
        controller->IsEFlagSet(256);
        info->GetHealth();
        QAngle angles = controller->GetLocalAngles();
        for (int p = 0; p < probes_; ++p) {
            const Vector origin = controller->GetLocalOrigin();
            Ray_t ray = {{origin.x, origin.y, origin.z + 36},
                         {origin.x + 10, origin.y, origin.z + 36},
                         {-16, -16, 0},
                         {16, 16, 72}};
            trace_t result;
            trace_->TraceRay(ray, 0x0201400Bu, filter, &result);
            if (p < turns_) random_->RandomInt(0, 1);
        }
        controller->SetLocalAngles(angles);
        controller->PostClientMessagesSent();
        CBotCmd cmd = {};
        cmd.viewAngles = controller->GetLocalAngles();
        cmd.forwardMove = 600;
        controller->RunPlayerMove(&cmd);
    }

    CHostEngine& host_ = CHostEngine::Instance();
    IPlayerInfoManagerApi* players_ = nullptr;
    IBotManagerApi* bots_ = nullptr;
    IEngineTraceApi* trace_ = nullptr;
    IRandomStreamApi* random_ = nullptr;
    std::vector<Start> starts_;
    int probes_ = 1;  // probes per bot and frame
    int turns_ = 0;   // turns per bot and frame (each draws a direction)
    double coldJoinFrame_ = 0;
    double tracesPerFrame_ = 0;
};

void Report(const char* name, const std::vector<double>& frame, const std::vector<double>& replay,
            double tracesPerFrame) {
    std::vector<double> plugin;
    for (size_t i = 0; i < frame.size(); ++i) plugin.push_back(frame[i] - replay[i]);
    const Quartiles f = Summarise(frame), r = Summarise(replay), p = Summarise(plugin);
    printf(
        "%-6s frame %8.1f us [%8.1f, %8.1f]  host calls %8.1f us [%8.1f, %8.1f]  plugin %7.1f us [%7.1f, %7.1f]"
        "  (%.1f traces/frame, frame/host %.2f)\n",
        name, f.median * 1e6, f.q1 * 1e6, f.q3 * 1e6, r.median * 1e6, r.q1 * 1e6, r.q3 * 1e6, p.median * 1e6,
        p.q1 * 1e6, p.q3 * 1e6, tracesPerFrame, f.median / r.median);
    // For scripts/bench.sh's summary: this benchmark states no goal.
    printf("VERDICT P3 bot_%s_frame/host %.2f none -\n", name, f.median / r.median);
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(1, atoi(argv[1])) : 50;
    const int samples = argc > 2 ? std::max(1, atoi(argv[2])) : 31;

    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    const int cpu = sched_getcpu();
    CPU_SET(cpu >= 0 ? cpu : 0, &cpus);
    const bool pinned = sched_setaffinity(0, sizeof(cpus), &cpus) == 0;

    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    std::string binDir = n > 0 ? std::string(self, n) : std::string(argv[0]);
    binDir = binDir.substr(0, binDir.rfind('/'));

    HostTier0_SetOutputHook(Quiet, nullptr);
    Bench bench;
    const bool ready = bench.SetUp(binDir);
    HostTier0_SetOutputHook(nullptr, nullptr);
    if (!ready) {
        fprintf(stderr, "bot_frame_bench: cannot set up the simulated engine with %d bots\n", kBots);
        return 1;
    }
    printf("bots: %d per frame, %d frames per sample, %d samples, median [quartiles] per frame, thread CPU time%s\n",
           kBots, frames, samples, pinned ? ", pinned to one core" : "");
    printf("cold  first frame (every bot joins): %.1f us\n", bench.ColdJoinFrame() * 1e6);

    for (int world = 0; world < 2; ++world) {
        world == 0 ? bench.ClearWorld() : bench.BoxedWorld();
        std::vector<double> frame, replay;
        double traces = 0;
        bench.PluginFrames(frames);  // warm up
        bench.ReplayFrames(frames);
        for (int s = 0; s < samples; ++s) {
            // Alternate which contender goes first, so neither always follows the other.
            if (s % 2 == 0) {
                frame.push_back(bench.PluginFrames(frames));
                traces += bench.TracesPerFrame();
                replay.push_back(bench.ReplayFrames(frames));
            } else {
                replay.push_back(bench.ReplayFrames(frames));
                frame.push_back(bench.PluginFrames(frames));
                traces += bench.TracesPerFrame();
            }
        }
        Report(world == 0 ? "clear" : "boxed", frame, replay, traces / samples);
        // The next world replaces this one's boxes.
        HostTier0_SetOutputHook(Quiet, nullptr);
        CHostEngine::Instance().Shutdown();
        const bool again = world == 0 ? bench.SetUp(binDir) : true;
        HostTier0_SetOutputHook(nullptr, nullptr);
        if (!again) return 1;
    }
    return 0;
}
