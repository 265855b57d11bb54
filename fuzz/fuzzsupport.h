// Small helpers shared by the fuzz targets.
#pragma once

#include <cstdio>
#include <cstdlib>

// A broken promise of the code under test: report it and crash, so that
// libFuzzer keeps the input and the replay test fails.
#define FUZZCHECK(cond)                                                              \
    do {                                                                             \
        if (!(cond)) {                                                               \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                            \
        }                                                                            \
    } while (0)
