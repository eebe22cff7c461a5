// Measures the signature search of the plugin's fallback over a large code segment:
// a few dozen masked signatures over 16 MB of code-like bytes. Prints, per round, the
// time of the whole search (cold: the byte histogram is taken in the round; warm: it is
// already taken), against two yardsticks measured in the same rounds: one memchr pass
// over the segment (the floor of reading it once) and a plain byte-by-byte search for
// one signature. Contenders alternate round by round, timed on the thread's CPU clock;
// medians with quartiles. scripts/bench.sh pins it to one core. Never fails on time.
//
// Usage: sigscan_bench [megabytes (default 16)] [signatures (default 32)] [rounds (default 15)]
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sigscan/SignatureMatch.h"

namespace {

uint32_t s_seed = 0x9E3779B9u;
uint32_t NextRandom() {
    s_seed ^= s_seed << 13;
    s_seed ^= s_seed >> 17;
    s_seed ^= s_seed << 5;
    return s_seed;
}

double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// A byte the generated code never holds, so the floor pass reads the whole segment.
const unsigned char kAbsent = 0xF4;

// Bytes skewed the way compiled x86 code is: a few opcodes and operand bytes are common.
std::vector<unsigned char> MakeCode(size_t size) {
    static const unsigned char kCommon[] = {0x00, 0x8B, 0x89, 0x24, 0x45, 0xFF, 0xE8, 0x83, 0x55, 0x5D, 0xC3, 0x04};
    std::vector<unsigned char> code(size);
    for (size_t i = 0; i < size; ++i) {
        const uint32_t r = NextRandom();
        code[i] = (r & 3) ? kCommon[(r >> 2) % sizeof(kCommon)] : static_cast<unsigned char>(r >> 8);
        if (code[i] == kAbsent) code[i] = 0x90;
    }
    return code;
}

struct Signature {
    std::vector<unsigned char> bytes;
    std::string mask;
};

// Signatures cut from the code itself (so each matches at least once), 10 to 24 bytes,
// about one byte in five a wildcard.
std::vector<Signature> MakeSignatures(const std::vector<unsigned char>& code, int count) {
    std::vector<Signature> signatures;
    for (int i = 0; i < count; ++i) {
        const size_t length = 10 + NextRandom() % 15;
        const size_t at = NextRandom() % (code.size() - length);
        Signature s;
        s.bytes.assign(code.begin() + at, code.begin() + at + length);
        for (size_t b = 0; b < length; ++b) s.mask += (b > 0 && NextRandom() % 5 == 0) ? '?' : 'x';
        signatures.push_back(s);
    }
    return signatures;
}

size_t NaiveCount(const std::vector<unsigned char>& code, const Signature& s) {
    size_t matches = 0;
    for (size_t start = 0; start + s.bytes.size() <= code.size(); ++start) {
        size_t i = 0;
        while (i < s.bytes.size() && (s.mask[i] == '?' || code[start + i] == s.bytes[i])) ++i;
        matches += i == s.bytes.size();
    }
    return matches;
}

struct Quartiles {
    double low, median, high;
};
Quartiles Summarise(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return {values[n / 4], values[n / 2], values[(3 * n) / 4]};
}

}  // namespace

int main(int argc, char** argv) {
    const size_t megabytes = argc > 1 ? strtoul(argv[1], nullptr, 10) : 16;
    const int count = argc > 2 ? atoi(argv[2]) : 32;
    const int rounds = argc > 3 ? atoi(argv[3]) : 15;
    if (megabytes == 0 || count <= 0 || rounds <= 0) {
        fprintf(stderr, "usage: sigscan_bench [megabytes] [signatures] [rounds]\n");
        return 2;
    }
    const std::vector<unsigned char> code = MakeCode(megabytes << 20);
    const std::vector<Signature> signatures = MakeSignatures(code, count);
    const CodeRange range = {code.data(), code.size()};

    std::vector<double> cold, warm, floorPass, naive;
    size_t total = 0;
    int failures = 0;
    SignatureScanner warmScanner(&range, 1);
    warmScanner.Count(signatures[0].bytes.data(), signatures[0].mask.c_str(), signatures[0].bytes.size(), nullptr);
    for (int round = 0; round < rounds; ++round) {
        double t = ThreadSeconds();
        SignatureScanner scanner(&range, 1);
        size_t sum = 0;
        for (const Signature& s : signatures)
            sum += scanner.Count(s.bytes.data(), s.mask.c_str(), s.bytes.size(), nullptr);
        cold.push_back(ThreadSeconds() - t);

        t = ThreadSeconds();
        const void* hit = memchr(code.data(), kAbsent, code.size());
        floorPass.push_back(ThreadSeconds() - t);
        total += hit != nullptr;

        t = ThreadSeconds();
        size_t warmSum = 0;
        for (const Signature& s : signatures)
            warmSum += warmScanner.Count(s.bytes.data(), s.mask.c_str(), s.bytes.size(), nullptr);
        warm.push_back(ThreadSeconds() - t);

        const Signature& one = signatures[round % signatures.size()];
        t = ThreadSeconds();
        const size_t plain = NaiveCount(code, one);
        naive.push_back(ThreadSeconds() - t);

        // Both searches agree, or the figures mean nothing.
        const size_t fast = scanner.Count(one.bytes.data(), one.mask.c_str(), one.bytes.size(), nullptr);
        if (fast != plain || sum != warmSum) ++failures;
        total += sum;
    }
    const Quartiles c = Summarise(cold), w = Summarise(warm), f = Summarise(floorPass), n = Summarise(naive);
    printf("signature search: %d signatures over %zu MB, %d rounds (matches counted: %zu)\n", count, megabytes, rounds,
           total);
    printf("  cold (histogram in the round): %8.2f ms  [%.2f .. %.2f]\n", c.median * 1e3, c.low * 1e3, c.high * 1e3);
    printf("  warm:                          %8.2f ms  [%.2f .. %.2f]\n", w.median * 1e3, w.low * 1e3, w.high * 1e3);
    printf("  floor, one memchr pass:        %8.2f ms  [%.2f .. %.2f]\n", f.median * 1e3, f.low * 1e3, f.high * 1e3);
    printf("  plain search, one signature:   %8.2f ms  [%.2f .. %.2f]\n", n.median * 1e3, n.low * 1e3, n.high * 1e3);
    std::vector<double> perSignature, againstFloor;
    for (int i = 0; i < rounds; ++i) {
        perSignature.push_back(warm[i] / count / naive[i]);
        againstFloor.push_back(cold[i] / floorPass[i]);
    }
    const Quartiles p = Summarise(perSignature), a = Summarise(againstFloor);
    printf("  ratio, warm search per signature / plain search: %.4f  [%.4f .. %.4f]\n", p.median, p.low, p.high);
    printf("  ratio, cold search of all / one memchr pass:     %.1f  [%.1f .. %.1f]\n", a.median, a.low, a.high);
    if (failures) {
        fprintf(stderr, "the fast and the plain search disagree in %d rounds\n", failures);
        return 1;
    }
    return 0;
}
