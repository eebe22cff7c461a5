// What every benchmark here shares: the thread's CPU clock, quartiles, ratio rows and a
// check of the core pinning. A figure is always a ratio against a yardstick measured in
// the same run, round by round: the contenders of one round run back to back (in an order
// that rotates from round to round), and the ratio of each round is taken before the
// median, so that machine load drifting between rounds shifts both sides of a ratio alike.
#pragma once

#include <sched.h>
#include <stdint.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

namespace bench {

// CPU time of the calling thread, in nanoseconds: time the thread spent waiting for the
// core (other processes on a shared machine) does not count.
inline double ThreadCpuNs() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

struct Quartiles {
    double q1, median, q3;
};

// Quartiles by linear interpolation between the sorted values; a single value is all three.
inline Quartiles ComputeQuartiles(std::vector<double> values) {
    if (values.empty()) return {0, 0, 0};
    std::sort(values.begin(), values.end());
    auto at = [&values](double q) {
        double index = q * static_cast<double>(values.size() - 1);
        size_t below = static_cast<size_t>(index);
        if (below + 1 >= values.size()) return values.back();
        double frac = index - static_cast<double>(below);
        return values[below] * (1 - frac) + values[below + 1] * frac;
    };
    return {at(0.25), at(0.5), at(0.75)};
}

// Per-round ratios of `contender` to `yardstick` (equal lengths, matched by round).
inline std::vector<double> Ratios(const std::vector<double>& contender, const std::vector<double>& yardstick) {
    std::vector<double> ratios;
    for (size_t i = 0; i < contender.size() && i < yardstick.size(); ++i) {
        if (yardstick[i] > 0) ratios.push_back(contender[i] / yardstick[i]);
    }
    return ratios;
}

// One line: what, the median ratio with its interquartile range, and the goal.
inline void PrintRatio(const char* what, const std::vector<double>& ratios, const char* goal) {
    Quartiles q = ComputeQuartiles(ratios);
    printf("  %-44s %6.2fx  (IQR %.2f .. %.2f, n=%zu)   goal %s\n", what, q.median, q.q1, q.q3, ratios.size(), goal);
}

// One machine-readable line for scripts/bench.sh to collect into its summary:
// "VERDICT <goal> <figure name> <value> <= <limit> met|missed". Returns whether it is met.
inline bool PrintVerdict(const char* goal, const char* figure, double value, double limit) {
    const bool met = value <= limit;
    printf("VERDICT %s %s %.2f <= %.2f %s\n", goal, figure, value, limit, met ? "met" : "missed");
    return met;
}
// The verdict of a ratio row: its median against the limit.
inline bool PrintRatioVerdict(const char* goal, const char* figure, const std::vector<double>& ratios, double limit) {
    return PrintVerdict(goal, figure, ComputeQuartiles(ratios).median, limit);
}

// One line of absolute time, for orientation only (goals are ratios).
inline void PrintTime(const char* what, const std::vector<double>& ns, double perUnit, const char* unit) {
    Quartiles q = ComputeQuartiles(ns);
    printf("  %-44s %9.3f ms  (IQR %.3f .. %.3f)  %8.1f ns/%s\n", what, q.median / 1e6, q.q1 / 1e6, q.q3 / 1e6,
           q.median / perUnit, unit);
}

// Warns when the process may run on more than one core: figures are meant to be taken
// pinned (scripts/bench.sh runs every benchmark under taskset).
inline void CheckPinned() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0 && CPU_COUNT(&set) != 1) {
        printf("  note: not pinned to one core (%d allowed); run under taskset -c N\n", CPU_COUNT(&set));
    }
}

// A small deterministic generator (xorshift), so every run and machine measures the same
// inputs.
class XorShift {
public:
    explicit XorShift(uint32_t seed) : state_(seed ? seed : 1) {}
    uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }

private:
    uint32_t state_;
};

// Keeps the compiler from dropping a computed value or a memory effect.
template <typename T>
inline void DoNotOptimize(const T& value) {
    asm volatile("" : : "r,m"(value) : "memory");
}
// Makes the compiler produce `value` in a register, as a use of it would, without
// forcing anything else out of registers (no memory clobber): a read loop stays a read
// loop, and neither side of a comparison is vectorised or dropped.
inline void UseValue(int& value) { asm volatile("" : "+r"(value)); }
inline void ClobberMemory() { asm volatile("" : : : "memory"); }
// Makes the memory at `p` visible to the outside, so that writes to it must happen.
inline void Escape(const void* p) { asm volatile("" : : "g"(p) : "memory"); }

// Runs this program again, in a fresh process (empty caches, untouched heap, as a first
// load meets them), with `arguments` (quoted by the caller where needed), and reads the
// one number it prints: the time it measured. Negative when the child failed.
inline double TimeInFreshProcess(const std::string& arguments) {
    const std::string command = "/proc/" + std::to_string(static_cast<int>(getpid())) + "/exe " + arguments;
    FILE* child = popen(command.c_str(), "r");
    if (!child) return -1;
    double ns = -1;
    if (fscanf(child, "%lf", &ns) != 1) ns = -1;
    if (pclose(child) != 0) ns = -1;
    return ns;
}

}  // namespace bench
