// The processor feature record of the runtime library "tier0_i486.so".
#pragma once

#include <stdint.h>

#include "tier0/platform.h"

// Begins with its own size, then one byte of feature bits: 0x01 RDTSC, 0x02 CMOV,
// 0x04 FCMOV, 0x08 SSE, 0x10 SSE2, 0x20 3DNow, 0x40 MMX, 0x80 hyper-threading.
struct CPUInformation {
    int m_Size;
    bool m_bRDTSC : 1, m_bCMOV : 1, m_bFCMOV : 1, m_bSSE : 1, m_bSSE2 : 1, m_b3DNow : 1, m_bMMX : 1, m_bHT : 1;
    uint8_t m_nLogicalProcessors;
    uint8_t m_nPhysicalProcessors;
    int64_t m_Speed;  // clock in Hz, 0 when unknown
    char* m_szProcessorID;
};
static_assert(sizeof(int) == 4, "the feature byte follows a 32-bit word");

// Never null; the record lives as long as the runtime library.
extern "C" VL_EXPORT const CPUInformation* GetCPUInformation();
