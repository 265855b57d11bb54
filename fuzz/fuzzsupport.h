// Small helpers shared by the fuzz targets.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

// Sends the standard output to /dev/null while it lives: the map loader
// prints its progress there, which would only slow a fuzzer down.
struct QUIETSTDOUT {
    int saved;
    QUIETSTDOUT()
    {
        std::fflush(stdout);
        saved = dup(1);
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        close(devnull);
    }
    ~QUIETSTDOUT()
    {
        std::fflush(stdout);
        dup2(saved, 1);
        close(saved);
    }
};

// A broken promise of the code under test: report it and crash, so that
// libFuzzer keeps the input and the replay test fails.
#define FUZZCHECK(cond)                                                              \
    do {                                                                             \
        if (!(cond)) {                                                               \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                            \
        }                                                                            \
    } while (0)
