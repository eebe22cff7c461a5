// Runs a piece of a test on a thread with a small stack, so that code which recursed
// once per level of a deeply nested input would overflow it and crash the test.
#pragma once

#include <stddef.h>

#include <functional>

void RunWithSmallStack(size_t stackBytes, const std::function<void()>& body);
