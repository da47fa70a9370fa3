// Shared by the fuzz targets: a property check that stops the run like a sanitizer finding does
// (libFuzzer saves the input as a crash artifact), and a quiet log.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                          \
    do {                                                                                          \
        if (!(cond)) {                                                                            \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #cond);     \
            std::abort();                                                                         \
        }                                                                                         \
    } while (0)
