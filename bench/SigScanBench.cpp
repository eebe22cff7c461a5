// Measures the signature search of the plugin's fallback over a large code segment:
// a few dozen masked signatures over 16 MB of code-like bytes, found with one batch
// scan. Each round times the batch cold (the scanner made, and the code sampled, in the
// round) and warm (a scanner made before), against one memchr pass over the segment
// (the floor of reading it once), the three in an order that rotates from round to
// round. Exits non-zero only when the batch disagrees with a plain search of each
// signature, or a cold batch with a warm one, never because of time.
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

// The plain search: every start, byte by byte.
SignatureMatches PlainSearch(const std::vector<unsigned char>& code, const Signature& s) {
    SignatureMatches found;
    for (size_t start = 0; start + s.bytes.size() <= code.size(); ++start) {
        size_t i = 0;
        while (i < s.bytes.size() && (s.mask[i] == '?' || code[start + i] == s.bytes[i])) ++i;
        if (i == s.bytes.size() && found.count++ == 0) found.first = &code[start];
    }
    return found;
}

bool Same(const SignatureMatches& a, const SignatureMatches& b) {
    return a.count == b.count && a.first == b.first && a.refused == b.refused;
}

class Batch {
public:
    explicit Batch(const std::vector<Signature>& signatures) : results_(signatures.size()) {
        for (const Signature& s : signatures) queries_.push_back({s.bytes.data(), s.mask.c_str(), s.bytes.size()});
    }
    // Searches every signature with one scan; the results stay until the next search.
    const std::vector<SignatureMatches>& Search(SignatureScanner& scanner) {
        scanner.Scan(queries_.data(), queries_.size(), results_.data());
        return results_;
    }

private:
    std::vector<SignatureQuery> queries_;
    std::vector<SignatureMatches> results_;
};

const char* PathName(SignatureScanner::Path path) {
    switch (path) {
        case SignatureScanner::PATH_AVX2: return "AVX2";
        case SignatureScanner::PATH_SSSE3: return "SSSE3";
        default: return "scalar";
    }
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

    SignatureScanner warmScanner(&range, 1);
    printf("signature search: %d signatures over %zu MB in one batch (%s filter), %d rounds\n", count, megabytes,
           PathName(warmScanner.CurrentPath()), rounds);
    bench::CheckPinned();

    // The batch agrees with a plain search of each signature, or the figures mean nothing.
    int failures = 0;
    Batch warmBatch(signatures), coldBatch(signatures);
    const std::vector<SignatureMatches>& warmResults = warmBatch.Search(warmScanner);
    for (size_t i = 0; i < signatures.size(); ++i) failures += !Same(warmResults[i], PlainSearch(code, signatures[i]));
    const std::vector<SignatureMatches> expected = warmResults;

    std::vector<double> cold, warm, floorPass;
    for (int round = 0; round < rounds; ++round) {
        for (int step = 0; step < 3; ++step) {
            const double start = bench::ThreadCpuNs();
            switch ((round + step) % 3) {
                case 0: {
                    SignatureScanner scanner(&range, 1);
                    const std::vector<SignatureMatches>& results = coldBatch.Search(scanner);
                    cold.push_back(bench::ThreadCpuNs() - start);
                    for (size_t i = 0; i < results.size(); ++i) failures += !Same(results[i], expected[i]);
                    break;
                }
                case 1: {
                    const std::vector<SignatureMatches>& results = warmBatch.Search(warmScanner);
                    warm.push_back(bench::ThreadCpuNs() - start);
                    for (size_t i = 0; i < results.size(); ++i) failures += !Same(results[i], expected[i]);
                    break;
                }
                default:
                    bench::DoNotOptimize(memchr(code.data(), kAbsent, code.size()));
                    floorPass.push_back(bench::ThreadCpuNs() - start);
                    break;
            }
        }
    }
    bench::PrintTime("all signatures, cold", cold, count, "signature");
    bench::PrintTime("all signatures, warm", warm, count, "signature");
    bench::PrintTime("floor: one memchr pass", floorPass, 1, "pass");
    bench::PrintRatio("cold batch of all / one memchr pass", bench::Ratios(cold, floorPass), "<= 8.00x");
    bench::PrintRatio("warm batch of all / one memchr pass", bench::Ratios(warm, floorPass), "<= 8.00x");
    bench::PrintRatioVerdict("P6", "cold_all/memchr", bench::Ratios(cold, floorPass), 8.0);
    bench::PrintRatioVerdict("P6", "warm_all/memchr", bench::Ratios(warm, floorPass), 8.0);
    if (failures) {
        fprintf(stderr, "the batch and the plain search disagree (%d results)\n", failures);
        return 1;
    }
    return 0;
}
