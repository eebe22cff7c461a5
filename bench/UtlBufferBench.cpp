// Buffer speed for small binary writes and reads (P4), each against its yardstick in the
// same run, round by round in rotating order, on the thread's CPU clock:
//   Put / Get of 16-byte and 4096-byte pieces   against memcpy of the same pieces into /
//                                               out of a plain array;
//   PutInt / GetInt                             against std::vector<int> push_back / a
//                                               read through an index.
// Containers are sized before the timed loops (a reused buffer and vector), so the
// figures are the cost per operation, not of growth. Prints median ratios with quartiles.
//
// Usage: utlbuffer_bench [bytes per round (4 MiB)] [rounds (31)]
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "bench/BenchSupport.h"
#include "tier1/UtlBuffer.h"

namespace {

using bench::DoNotOptimize;
using bench::ThreadCpuNs;

// Each function runs one timed loop and returns its time; they are kept out of line so
// that one contender's code cannot be merged with another's.
template <int kPiece>
__attribute__((noinline)) double PutPieces(CUtlBuffer& buf, const unsigned char* src, int count) {
    buf.SeekPut(CUtlBuffer::SEEK_FROM_HEAD, 0);
    double start = ThreadCpuNs();
    for (int i = 0; i < count; ++i) {
        buf.Put(src + (i & 7) * kPiece, kPiece);
        bench::ClobberMemory();
    }
    double ns = ThreadCpuNs() - start;
    DoNotOptimize(buf.TellPut());
    return ns;
}

template <int kPiece>
__attribute__((noinline)) double MemcpyPiecesIn(unsigned char* dest, const unsigned char* src, int count) {
    double start = ThreadCpuNs();
    unsigned char* at = dest;
    for (int i = 0; i < count; ++i) {
        memcpy(at, src + (i & 7) * kPiece, kPiece);
        bench::Escape(at);
        at += kPiece;
    }
    double ns = ThreadCpuNs() - start;
    DoNotOptimize(at);
    return ns;
}

template <int kPiece>
__attribute__((noinline)) double GetPieces(CUtlBuffer& buf, int count) {
    buf.SeekGet(CUtlBuffer::SEEK_FROM_HEAD, 0);
    alignas(16) static unsigned char sink[kPiece];
    double start = ThreadCpuNs();
    for (int i = 0; i < count; ++i) {
        buf.Get(sink, kPiece);
        bench::Escape(sink);
    }
    double ns = ThreadCpuNs() - start;
    DoNotOptimize(buf.TellGet());
    return ns;
}

template <int kPiece>
__attribute__((noinline)) double MemcpyPiecesOut(const unsigned char* src, int count) {
    alignas(16) static unsigned char sink[kPiece];
    double start = ThreadCpuNs();
    const unsigned char* at = src;
    for (int i = 0; i < count; ++i) {
        memcpy(sink, at, kPiece);
        at += kPiece;
        bench::Escape(sink);
    }
    double ns = ThreadCpuNs() - start;
    DoNotOptimize(at);
    return ns;
}

__attribute__((noinline)) double PutInts(CUtlBuffer& buf, int count) {
    buf.SeekPut(CUtlBuffer::SEEK_FROM_HEAD, 0);
    double start = ThreadCpuNs();
    for (int i = 0; i < count; ++i) buf.PutInt(i);
    double ns = ThreadCpuNs() - start;
    DoNotOptimize(buf.TellPut());
    return ns;
}

__attribute__((noinline)) double VectorAppends(std::vector<int>& v, int count) {
    v.clear();
    double start = ThreadCpuNs();
    for (int i = 0; i < count; ++i) v.push_back(i);
    double ns = ThreadCpuNs() - start;
    DoNotOptimize(v.size());
    return ns;
}

__attribute__((noinline)) double GetInts(CUtlBuffer& buf, int count) {
    buf.SeekGet(CUtlBuffer::SEEK_FROM_HEAD, 0);
    double start = ThreadCpuNs();
    for (int i = 0; i < count; ++i) {
        int value = buf.GetInt();
        bench::UseValue(value);
    }
    double ns = ThreadCpuNs() - start;
    return ns;
}

__attribute__((noinline)) double VectorReads(const std::vector<int>& v, int count) {
    double start = ThreadCpuNs();
    size_t at = 0;
    for (int i = 0; i < count; ++i) {
        int value = v[at++];
        bench::UseValue(value);
    }
    double ns = ThreadCpuNs() - start;
    return ns;
}

struct Pair {
    const char* what;
    const char* goal;
    std::vector<double> contender, yardstick;
};

}  // namespace

int main(int argc, char** argv) {
    int bytes = argc > 1 ? atoi(argv[1]) : 4 << 20;
    int rounds = argc > 2 ? atoi(argv[2]) : 31;
    if (bytes < 4096 || rounds < 1) {
        fprintf(stderr, "usage: %s [bytes per round >= 4096] [rounds >= 1]\n", argv[0]);
        return 2;
    }
    bytes &= ~4095;
    printf("buffer small writes and reads (P4): %d bytes per round\n", bytes);
    bench::CheckPinned();

    // Eight source pieces of each size, different bytes, so no copy is of a constant.
    std::vector<unsigned char> source(8 * 4096);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<unsigned char>(i * 131 + 7);
    std::vector<unsigned char> plain(static_cast<size_t>(bytes) + 1);

    // One owned buffer for the pieces and one for the ints, each holding a round's bytes
    // and its terminator before timing starts, and filled once so reads find data.
    CUtlBuffer pieces(0, bytes + 1, 0);
    CUtlBuffer ints(0, bytes + 1, 0);
    std::vector<int> vector;
    vector.reserve(static_cast<size_t>(bytes / 4));
    const int count16 = bytes / 16, count4k = bytes / 4096, countInt = bytes / 4;
    PutPieces<16>(pieces, source.data(), count16);
    PutInts(ints, countInt);
    VectorAppends(vector, countInt);
    memcpy(plain.data(), pieces.Base(), static_cast<size_t>(bytes));

    Pair pairs[] = {
        {"P4: Put 16 bytes / memcpy 16 bytes", ">= 0.50x speed (<= 2.00x time)", {}, {}},
        {"P4: Get 16 bytes / memcpy 16 bytes", ">= 0.50x speed (<= 2.00x time)", {}, {}},
        {"Put 4096 bytes / memcpy 4096 bytes", "(reference: ~1.00x)", {}, {}},
        {"Get 4096 bytes / memcpy 4096 bytes", "(reference: ~1.00x)", {}, {}},
        {"P4: PutInt / std::vector<int>::push_back", "<= 1.00x time", {}, {}},
        {"P4: GetInt / std::vector<int> read", "<= 1.00x time", {}, {}},
    };
    const int kPairs = sizeof(pairs) / sizeof(pairs[0]);
    for (int round = -1; round < rounds; ++round) {  // round -1 warms up, uncounted
        for (int p = 0; p < kPairs; ++p) {
            double contender = 0, yardstick = 0;
            // Alternate which side of a pair runs first.
            for (int side = 0; side < 2; ++side) {
                bool runContender = (side == 0) == ((round & 1) == 0);
                double ns = 0;
                switch (p) {
                    case 0:
                        ns = runContender ? PutPieces<16>(pieces, source.data(), count16)
                                          : MemcpyPiecesIn<16>(plain.data(), source.data(), count16);
                        break;
                    case 1:
                        ns = runContender ? GetPieces<16>(pieces, count16) : MemcpyPiecesOut<16>(plain.data(), count16);
                        break;
                    case 2:
                        ns = runContender ? PutPieces<4096>(pieces, source.data(), count4k)
                                          : MemcpyPiecesIn<4096>(plain.data(), source.data(), count4k);
                        break;
                    case 3:
                        ns = runContender ? GetPieces<4096>(pieces, count4k)
                                          : MemcpyPiecesOut<4096>(plain.data(), count4k);
                        break;
                    case 4: ns = runContender ? PutInts(ints, countInt) : VectorAppends(vector, countInt); break;
                    default: ns = runContender ? GetInts(ints, countInt) : VectorReads(vector, countInt); break;
                }
                (runContender ? contender : yardstick) = ns;
            }
            if (round >= 0) {
                pairs[p].contender.push_back(contender);
                pairs[p].yardstick.push_back(yardstick);
            }
        }
    }
    printf(" time ratios, %d rounds:\n", rounds);
    for (const Pair& pair : pairs)
        bench::PrintRatio(pair.what, bench::Ratios(pair.contender, pair.yardstick), pair.goal);
    bench::PrintRatioVerdict("P4", "put16/memcpy16", bench::Ratios(pairs[0].contender, pairs[0].yardstick), 2.0);
    bench::PrintRatioVerdict("P4", "get16/memcpy16", bench::Ratios(pairs[1].contender, pairs[1].yardstick), 2.0);
    bench::PrintRatioVerdict("P4", "putint/vector_push", bench::Ratios(pairs[4].contender, pairs[4].yardstick), 1.0);
    bench::PrintRatioVerdict("P4", "getint/vector_read", bench::Ratios(pairs[5].contender, pairs[5].yardstick), 1.0);

    // The buffers must have kept every byte and bit: a benchmark that measured a failing
    // write would be worthless.
    bool intact = pieces.IsValid() && ints.IsValid() && pieces.TellMaxPut() == bytes && ints.TellMaxPut() == bytes;
    printf("  buffers intact: %s\n", intact ? "yes" : "NO");
    return intact ? 0 : 1;
}
