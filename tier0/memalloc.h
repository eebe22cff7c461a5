// The runtime allocator every container of the system takes its memory from.
#pragma once

#include <stddef.h>

#include "tier0/platform.h"

class IMemAlloc {
public:
    // Returns null when the request cannot be met; never throws.
    virtual void* Alloc(size_t bytes) = 0;
    // As realloc: a null block allocates; on failure returns null and the old block stays.
    virtual void* Realloc(void* block, size_t bytes) = 0;
    // A null block is ignored.
    virtual void Free(void* block) = 0;

protected:
    ~IMemAlloc() = default;
};

extern "C" VL_EXPORT IMemAlloc* g_pMemAlloc;
