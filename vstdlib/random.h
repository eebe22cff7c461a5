// The runtime library's own uniform random stream ("vstdlib_i486.so").
#pragma once

#include "tier0/platform.h"

// A float in [low, high]. The stream is seedable through the host, so runs repeat.
extern "C" VL_EXPORT float RandomFloat(float low, float high);
