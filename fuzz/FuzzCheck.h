#pragma once
// A property every input must have: a failure names the condition and its
// line before aborting, so that a finding reads without a debugger.
#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(condition)                                                                     \
    do {                                                                                            \
        if (!(condition)) {                                                                         \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                           \
        }                                                                                           \
    } while (false)
