// Measures MRecipientFilter::AddByFilter on a server of 64 players: a 10-token
// expression (user ids, names and network ids) and the group expression "#A!B", each on
// a filter reused from call to call (warm: the list's memory is kept) and on a fresh
// filter per call (cold: constructed, filled and destroyed, as a caller building one
// message's recipients does). The yardstick is AddAllPlayers, one plain scan of the same
// 64 slots through the same engine interfaces. Contenders run interleaved, round by
// round, on one pinned core; each round times a batch of calls with the thread's CPU
// clock. Prints per-call medians with quartiles and the median ratio to the yardstick;
// exits non-zero only when an expression selects other slots than expected.
//
// Usage: filter_bench [rounds (default 41)] [calls per batch (default 2000)]
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <string>
#include <vector>

#include "filter/MRecipientFilter.h"
#include "tests/support/FakeEngine.h"

namespace {

const int kPlayers = 64;

// Slot i: user id i + 1; odd slots are humans with "STEAM_0:1:<i>", even slots bots
// ("BOT"); teams alternate 2, 3 in pairs; every fifth slot is dead. Slots 4 and 9 are
// named Slider and Alice, the rest "Player<i>".
void Populate(FakeEngine& server) {
    for (int slot = 1; slot <= kPlayers; ++slot) {
        const bool bot = slot % 2 == 0;
        std::string name = slot == 4 ? "Slider" : slot == 9 ? "Alice" : "Player" + std::to_string(slot);
        std::string id = bot ? "BOT" : "STEAM_0:1:" + std::to_string(slot);
        server.AddPlayer(slot, name.c_str(), slot + 1, slot / 2 % 2 ? 3 : 2, bot, slot % 5 == 0, id.c_str());
    }
}

char g_tokens[] = "5 Slider steam_0:1:41 Player30 17 Alice Nobody STEAM_0:1:63 40 Player64";
char g_group[] = "#A!B";

std::vector<int> Contents(const MRecipientFilter& filter) {
    std::vector<int> slots;
    for (int i = 0; i < filter.GetRecipientCount(); ++i) slots.push_back(filter.GetRecipientIndex(i));
    return slots;
}

bool Check() {
    MRecipientFilter filter;
    filter.AddByFilter(g_tokens, false);
    const std::vector<int> tokens = Contents(filter);
    filter.AddByFilter(g_group, false);
    const std::vector<int> group = Contents(filter);
    std::vector<int> humans;
    for (int slot = 1; slot <= kPlayers; slot += 2) humans.push_back(slot);
    const bool ok = tokens == std::vector<int>({4, 41, 30, 16, 9, 63, 39, 64}) && group == humans;
    if (!ok) fprintf(stderr, "filter_bench: the expressions selected unexpected slots\n");
    return ok;
}

double ThreadNs() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

struct Contender {
    const char* name;
    void (*run)(MRecipientFilter& reused, int calls);
    std::vector<double> perCall;  // ns per call, one entry per round
    std::vector<double> ratio;    // per round, against the yardstick's batch of that round
};

void Yardstick(MRecipientFilter& filter, int calls) {
    for (int i = 0; i < calls; ++i) filter.AddAllPlayers();
}
void WarmTokens(MRecipientFilter& filter, int calls) {
    for (int i = 0; i < calls; ++i) filter.AddByFilter(g_tokens, false);
}
void WarmGroup(MRecipientFilter& filter, int calls) {
    for (int i = 0; i < calls; ++i) filter.AddByFilter(g_group, false);
}
void ColdTokens(MRecipientFilter&, int calls) {
    for (int i = 0; i < calls; ++i) {
        MRecipientFilter filter;
        filter.AddByFilter(g_tokens, false);
    }
}
void ColdGroup(MRecipientFilter&, int calls) {
    for (int i = 0; i < calls; ++i) {
        MRecipientFilter filter;
        filter.AddByFilter(g_group, false);
    }
}

double Quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    const double position = q * static_cast<double>(values.size() - 1);
    const size_t below = static_cast<size_t>(position);
    const size_t above = std::min(below + 1, values.size() - 1);
    return values[below] + (values[above] - values[below]) * (position - static_cast<double>(below));
}

// Pins the thread to the last processor it may run on; returns it, or -1.
int PinToOneCore() {
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof(allowed), &allowed) != 0) return -1;
    for (int cpu = CPU_SETSIZE - 1; cpu >= 0; --cpu) {
        if (!CPU_ISSET(cpu, &allowed)) continue;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        return sched_setaffinity(0, sizeof(one), &one) == 0 ? cpu : -1;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? atoi(argv[1]) : 41;
    const int calls = argc > 2 ? atoi(argv[2]) : 2000;
    if (rounds < 1 || calls < 1) {
        fprintf(stderr, "usage: %s [rounds >= 1] [calls per batch >= 1]\n", argv[0]);
        return 2;
    }
    FakeEngine server(kPlayers);
    Populate(server);
    if (!Check()) return 1;
    const int cpu = PinToOneCore();

    Contender contenders[] = {
        {"yardstick: AddAllPlayers", Yardstick, {}, {}}, {"10 tokens, reused filter", WarmTokens, {}, {}},
        {"\"#A!B\", reused filter", WarmGroup, {}, {}},  {"10 tokens, fresh filter", ColdTokens, {}, {}},
        {"\"#A!B\", fresh filter", ColdGroup, {}, {}},
    };
    MRecipientFilter reused;
    for (Contender& c : contenders) c.run(reused, calls);  // warm-up round, not counted
    for (int round = 0; round < rounds; ++round) {
        // Rotate the starting contender so none always runs first in a round.
        const int count = static_cast<int>(sizeof(contenders) / sizeof(contenders[0]));
        double ns[sizeof(contenders) / sizeof(contenders[0])];
        for (int k = 0; k < count; ++k) {
            const int i = (round + k) % count;
            const double start = ThreadNs();
            contenders[i].run(reused, calls);
            ns[i] = (ThreadNs() - start) / calls;
        }
        for (int i = 0; i < count; ++i) {
            contenders[i].perCall.push_back(ns[i]);
            contenders[i].ratio.push_back(ns[i] / ns[0]);
        }
    }

    printf("AddByFilter on %d players: %d rounds of %d calls, interleaved, thread CPU time, ", kPlayers, rounds, calls);
    if (cpu >= 0) {
        printf("pinned to CPU %d\n", cpu);
    } else {
        printf("not pinned\n");
    }
    printf("  %-28s %10s %10s %10s   %s\n", "ns per call", "median", "q1", "q3", "x yardstick (median, q1-q3)");
    for (const Contender& c : contenders) {
        printf("  %-28s %10.1f %10.1f %10.1f   %.2f (%.2f-%.2f)\n", c.name, Quantile(c.perCall, 0.5),
               Quantile(c.perCall, 0.25), Quantile(c.perCall, 0.75), Quantile(c.ratio, 0.5), Quantile(c.ratio, 0.25),
               Quantile(c.ratio, 0.75));
    }
    // For scripts/bench.sh's summary: this benchmark states no goal.
    for (size_t i = 1; i < sizeof(contenders) / sizeof(contenders[0]); ++i) {
        std::string figure = std::string("filter_") + contenders[i].name;
        for (char& ch : figure)
            if (!((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '#' || ch == '!')) ch = '_';
        printf("VERDICT P3 %s/yardstick %.2f none -\n", figure.c_str(), Quantile(contenders[i].ratio, 0.5));
    }
    return 0;
}
