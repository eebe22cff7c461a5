// The simulated engine's world as the bots see it: the plugin's traces (recorded, then
// swept through the world's boxes) and the host commands that build the world, place
// players, set a player's last command and list the bots.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "host/engine/HostEngine.h"
#include "tier0/dbg.h"

namespace {

// Stands for some entity the trace passes, so the filter can be asked about one.
struct AnyEntity {
    int unused;
} s_anyEntity;

float Number(const std::vector<std::string>& args, size_t i) {
    return i < args.size() ? static_cast<float>(strtod(args[i].c_str(), nullptr)) : 0.0f;
}

// All of args[first..first+count) present and numeric.
bool Numbers(const std::vector<std::string>& args, size_t first, size_t count) {
    if (args.size() < first + count) return false;
    for (size_t i = first; i < first + count; ++i) {
        char* end = nullptr;
        strtod(args[i].c_str(), &end);
        if (end == args[i].c_str() || *end != '\0') return false;
    }
    return true;
}

}  // namespace

void CHostEngine::PluginTrace(const Ray_t& ray, unsigned int mask, ITraceFilter* filter, trace_t* result) {
    traces_.count++;
    traces_.lastRay = ray;
    traces_.lastMask = mask;
    traces_.lastFilterGiven = filter != nullptr;
    // The engine calls a trace filter by its slots: 0 ShouldHitEntity(entity, mask),
    // 1 GetTraceType(), stated here rather than taken from the plugin's declaration.
    void* const* slots = filter ? *reinterpret_cast<void* const* const*>(filter) : nullptr;
    traces_.lastFilterHitsEntities = filter && reinterpret_cast<bool (*)(ITraceFilter*, void*, int)>(slots[0])(
                                                   filter, &s_anyEntity, static_cast<int>(mask));
    traces_.lastFilterType = filter ? reinterpret_cast<int (*)(ITraceFilter*)>(slots[1])(filter) : -1;
    TraceBox(ray, result);
}

void CHostEngine::ListBots() {
    Msg("slot name         team state position                  yaw\n");
    for (int slot = 1; slot < static_cast<int>(clients_.size()); ++slot) {
        HostPlayerState state;
        if (!clients_[slot].connected || !clients_[slot].fake || !game_->GetPlayerState(&edicts_[slot], &state)) {
            continue;
        }
        Msg("%4d %-12s %4d %-5s (%7.1f %7.1f %5.1f) %6.1f\n", slot, clients_[slot].name.c_str(), state.team,
            state.dead ? "dead" : "alive", state.origin.x, state.origin.y, state.origin.z, state.angles.y);
    }
}

bool CHostEngine::RunWorldCommand(const std::vector<std::string>& args) {
    const char* name = args[0].c_str();
    if (strcasecmp(name, "host_bots") == 0) {
        ListBots();
    } else if (strcasecmp(name, "host_worldbox") == 0) {
        if (!Numbers(args, 1, 6)) {
            Msg("Syntax: host_worldbox <minx> <miny> <minz> <maxx> <maxy> <maxz>\n");
        } else {
            AddWorldBox({Number(args, 1), Number(args, 2), Number(args, 3)},
                        {Number(args, 4), Number(args, 5), Number(args, 6)});
        }
    } else if (strcasecmp(name, "host_spawnpoint") == 0) {
        if (!Numbers(args, 1, 4)) {
            Msg("Syntax: host_spawnpoint <x> <y> <z> <yaw>\n");
        } else {
            game_->AddSpawnPoint({Number(args, 1), Number(args, 2), Number(args, 3)}, Number(args, 4));
        }
    } else if (strcasecmp(name, "host_place") == 0) {
        if (!Numbers(args, 1, 5) ||
            !game_->PlacePlayer(Edict(atoi(args[1].c_str())), {Number(args, 2), Number(args, 3), Number(args, 4)},
                                {0.0f, Number(args, 5), 0.0f})) {
            Msg("Syntax: host_place <slot> <x> <y> <z> <yaw>\n");
        }
    } else if (strcasecmp(name, "host_usercmd") == 0) {
        CBotCmd command = {};
        command.forwardMove = Number(args, 2);
        command.sideMove = Number(args, 3);
        command.viewAngles.y = Number(args, 4);
        command.buttons = static_cast<int>(Number(args, 5));
        if (!Numbers(args, 1, 5) || !game_->SetLastUserCommand(Edict(atoi(args[1].c_str())), command)) {
            Msg("Syntax: host_usercmd <slot> <forwardmove> <sidemove> <yaw> <buttons>\n");
        }
    } else {
        return false;
    }
    return true;
}
