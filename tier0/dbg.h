// Console output, the fatal error report and the assertion/pointer-check reports of
// the runtime library "tier0_i486.so". Console text is printf-style; callers that print
// text from files or players pass it as an argument to "%s", never as the format.
#pragma once

#include "tier0/platform.h"

extern "C" {
// Plain console text.
VL_EXPORT void Msg(const char* fmt, ...) VL_FMT(1, 2);
// Fatal report: prints the text and ends the process (unless a host has installed a
// handler, which only the substitute host's tests do). Does not return to the caller
// in a real server.
VL_EXPORT void Error(const char* fmt, ...) VL_FMT(1, 2);

// Assertion reports. Results are informational only; nothing relies on them.
VL_EXPORT int _SpewInfo(int type, const char* file, int line);
VL_EXPORT int _SpewMessage(const char* fmt, ...) VL_FMT(1, 2);
VL_EXPORT void _ExitOnFatalAssert(const char* file, int line);
VL_EXPORT bool ShouldUseNewAssertDialog();
VL_EXPORT bool DoNewAssertDialog(const char* file, int line, const char* expression);

// Pointer checks: report a pointer that cannot be valid. They never change a result.
VL_EXPORT void _AssertValidReadPtr(const void* ptr, int count);
VL_EXPORT void _AssertValidWritePtr(void* ptr, int count);
VL_EXPORT void AssertValidStringPtr(const char* ptr, int maxchar);
}

// Developer console text. The leveled form prints only when the developer level is at
// least `level`; the plain form behaves as level 1.
VL_EXPORT void DevMsg(int level, const char* fmt, ...) VL_FMT(2, 3);
VL_EXPORT void DevMsg(const char* fmt, ...) VL_FMT(1, 2);
