// Controls of the substitute runtime library "tier0_i486.so" that only the host program
// and the tests use: where console text goes, the developer level, the fatal-error
// handler, allocator limits and counters, and the processor record.
#pragma once

#include <stddef.h>

#include "tier0/platform.h"

extern "C" {
// Receives every piece of console text (Msg, shown DevMsg, Error) instead of standard
// output. A null hook restores standard output.
typedef void (*HostOutputHook)(const char* text, void* context);
VL_EXPORT void HostTier0_SetOutputHook(HostOutputHook hook, void* context);

// DevMsg(level, ...) is shown when level <= the developer level (1 by default).
VL_EXPORT void HostTier0_SetDeveloperLevel(int level);

// Called with the report before Error ends the process. A handler may leave by
// longjmp; if it returns, the process still ends.
typedef void (*HostErrorHandler)(const char* report);
VL_EXPORT void HostTier0_SetErrorHandler(HostErrorHandler handler);

// Requests larger than `bytes` are refused (null), as an exhausted allocator would;
// 0 lifts the limit.
VL_EXPORT void HostTier0_SetAllocLimit(size_t bytes);
// Blocks handed out by g_pMemAlloc and not yet freed.
VL_EXPORT int HostTier0_LiveAllocations();
// Starts counting g_pMemAlloc's requests (Alloc and Realloc calls) afresh and refuses the
// `n`-th of them from now (null, the block of a refused Realloc left as it was), counting
// from 1; the others are served. 0 refuses none.
VL_EXPORT void HostTier0_FailNthAllocation(int n);
// Requests made since the last HostTier0_FailNthAllocation (or since start).
VL_EXPORT int HostTier0_AllocationRequests();

// Pointer-check reports made so far (null or otherwise unusable pointers).
VL_EXPORT int HostTier0_InvalidPointerReports();

// Replaces the feature byte of the processor record (bit values as in tier0/cpu.h).
VL_EXPORT void HostTier0_SetCPUFeatures(unsigned char features);
}
