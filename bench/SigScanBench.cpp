// Measures the signature search of the plugin's fallback over a large code segment:
// a few dozen masked signatures over 16 MB of code-like bytes. Each round times the whole
// search cold (the byte histogram taken in the round) and warm (taken before), against
// two yardsticks measured in the same round: one memchr pass over the segment (the floor
// of reading it once) and a plain byte-by-byte search for one signature. Exits non-zero
// only when the fast and the plain search disagree, never because of time.
//
// Usage: sigscan_bench [megabytes (default 16)] [signatures (default 32)] [rounds (default 15)]
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "sigscan/SignatureScanner.h"

namespace {

bench::XorShift s_random(0x9E3779B9u);

// A byte the generated code never holds, so the floor pass reads the whole segment.
const unsigned char kAbsent = 0xF4;

// Bytes skewed the way compiled x86 code is: a few opcodes and operand bytes are common.
std::vector<unsigned char> MakeCode(size_t size) {
    static const unsigned char kCommon[] = {0x00, 0x8B, 0x89, 0x24, 0x45, 0xFF, 0xE8, 0x83, 0x55, 0x5D, 0xC3, 0x04};
    std::vector<unsigned char> code(size);
    for (size_t i = 0; i < size; ++i) {
        const uint32_t r = s_random.Next();
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
        const size_t length = 10 + s_random.Next() % 15;
        const size_t at = s_random.Next() % (code.size() - length);
        Signature s;
        s.bytes.assign(code.begin() + at, code.begin() + at + length);
        for (size_t b = 0; b < length; ++b) s.mask += (b > 0 && s_random.Next() % 5 == 0) ? '?' : 'x';
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

size_t SearchAll(SignatureScanner& scanner, const std::vector<Signature>& signatures) {
    std::vector<SignatureQuery> queries;
    for (const Signature& s : signatures) queries.push_back({s.bytes.data(), s.mask.c_str(), s.bytes.size()});
    std::vector<SignatureMatches> results(queries.size());
    scanner.Scan(queries.data(), queries.size(), results.data());
    size_t sum = 0;
    for (const SignatureMatches& r : results) sum += r.count;
    return sum;
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

    printf("signature search: %d signatures over %zu MB, %d rounds\n", count, megabytes, rounds);
    bench::CheckPinned();
    std::vector<double> cold, warm, floorPass, naive;
    int failures = 0;
    SignatureScanner warmScanner(&range, 1);
    SearchAll(warmScanner, signatures);
    for (int round = 0; round < rounds; ++round) {
        double t = bench::ThreadCpuNs();
        SignatureScanner scanner(&range, 1);
        const size_t coldSum = SearchAll(scanner, signatures);
        cold.push_back(bench::ThreadCpuNs() - t);

        t = bench::ThreadCpuNs();
        bench::DoNotOptimize(memchr(code.data(), kAbsent, code.size()));
        floorPass.push_back(bench::ThreadCpuNs() - t);

        t = bench::ThreadCpuNs();
        const size_t warmSum = SearchAll(warmScanner, signatures);
        warm.push_back(bench::ThreadCpuNs() - t);

        const Signature& one = signatures[round % signatures.size()];
        t = bench::ThreadCpuNs();
        const size_t plain = NaiveCount(code, one);
        naive.push_back(bench::ThreadCpuNs() - t);

        // Both searches agree, or the figures mean nothing.
        if (scanner.Count(one.bytes.data(), one.mask.c_str(), one.bytes.size(), nullptr) != plain || coldSum != warmSum)
            ++failures;
    }
    bench::PrintTime("all signatures, cold", cold, count, "signature");
    bench::PrintTime("all signatures, warm", warm, count, "signature");
    bench::PrintTime("floor: one memchr pass", floorPass, 1, "pass");
    bench::PrintTime("plain search of one signature", naive, 1, "signature");
    std::vector<double> warmPerSignature;
    for (double ns : warm) warmPerSignature.push_back(ns / count);
    bench::PrintRatio("warm search per signature / plain search", bench::Ratios(warmPerSignature, naive), "none");
    bench::PrintRatio("cold search of all / one memchr pass", bench::Ratios(cold, floorPass), "<= 8.00x");
    bench::PrintRatio("warm search of all / one memchr pass", bench::Ratios(warm, floorPass), "<= 8.00x");
    bench::PrintRatioVerdict("P6", "cold_all/memchr", bench::Ratios(cold, floorPass), 8.0);
    bench::PrintRatioVerdict("P6", "warm_all/memchr", bench::Ratios(warm, floorPass), 8.0);
    if (failures) {
        fprintf(stderr, "the fast and the plain search disagree in %d rounds\n", failures);
        return 1;
    }
    return 0;
}
