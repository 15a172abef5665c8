// What every fuzz target shares: a property that fails stops the run with the reason, so the
// fuzzer keeps the input and the replay test names what broke.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                                          \
    do {                                                                                     \
        if (!(condition)) {                                                                  \
            std::fprintf(stderr, "property failed: %s (%s) at %s:%d\n", what, #condition,   \
                         __FILE__, __LINE__);                                                \
            std::abort();                                                                    \
        }                                                                                    \
    } while (0)
