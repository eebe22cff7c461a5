// Export and calling-convention macros shared by the runtime libraries, the plugin
// and the substitute host. Everything is built for Linux on 32-bit x86 or on x86-64.
#pragma once

#if !defined(__i386__) && !defined(__x86_64__)
#error "this code base targets 32-bit x86 or x86-64 (build with -m32 or -m64)"
#endif

// A figure of a binary layout on each architecture: the first in a 32-bit build, the
// second in a 64-bit one. Pinned layouts state both, so a reader sees the two side by
// side and a change that moves either fails to compile. The 64-bit figures follow the
// same rule as the 32-bit ones: declaration order, natural alignment, 8-byte pointers.
#if defined(__x86_64__)
#define VL_LAYOUT(x86, x86_64) (x86_64)
#else
#define VL_LAYOUT(x86, x86_64) (x86)
#endif

// Marks a symbol that leaves its shared library. Everything else is built hidden.
#define VL_EXPORT __attribute__((visibility("default")))

// printf-style argument checking for functions that take a format.
#define VL_FMT(fmtIndex, firstArg) __attribute__((format(printf, fmtIndex, firstArg)))
