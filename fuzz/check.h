#pragma once

#include <cstdio>

// A broken invariant names itself and stops the fuzzer at once; libFuzzer
// saves the input as a crash.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "broken invariant: %s (%s:%d)\n", #condition, __FILE__,           \
                         __LINE__);                                                                \
            __builtin_trap();                                                                      \
        }                                                                                          \
    } while (false)
