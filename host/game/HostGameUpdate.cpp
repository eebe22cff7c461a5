// Functions a game update adds, linked before the rest of the updated game library (the
// tests' "updated" build only) so that every known function moves to a new address.
#include <stdio.h>

#include "tier0/platform.h"

extern "C" {

VL_EXPORT int GameScoreboardRows(int players, int spectators) {
    int rows = players + (spectators > 0 ? spectators + 1 : 0);
    return rows > 64 ? 64 : rows;
}

VL_EXPORT void GameLogLine(const char* text) { printf("game log: %s\n", text ? text : "(null)"); }

VL_EXPORT unsigned GameChecksum(const unsigned char* bytes, unsigned length) {
    unsigned sum = 2166136261u;
    for (unsigned i = 0; i < length; ++i) sum = (sum ^ bytes[i]) * 16777619u;
    return sum;
}

}  // extern "C"
