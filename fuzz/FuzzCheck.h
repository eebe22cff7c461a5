// The fuzz targets' check: a failed condition is reported with its line and ends the
// run with abort(), which libFuzzer records as a crash with the input that caused it.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#define FUZZ_CHECK(cond)                                                       \
    do {                                                                       \
        if (!(cond)) {                                                         \
            fprintf(stderr, "check failed at line %d: %s\n", __LINE__, #cond); \
            abort();                                                           \
        }                                                                      \
    } while (0)
