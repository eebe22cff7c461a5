// Export and calling-convention macros shared by the runtime libraries, the plugin
// and the substitute host. Everything is built for 32-bit x86 Linux.
#pragma once

#if !defined(__i386__)
#error "this code base targets 32-bit x86 only (build with -m32)"
#endif

// Marks a symbol that leaves its shared library. Everything else is built hidden.
#define VL_EXPORT __attribute__((visibility("default")))

// printf-style argument checking for functions that take a format.
#define VL_FMT(fmtIndex, firstArg) __attribute__((format(printf, fmtIndex, firstArg)))
