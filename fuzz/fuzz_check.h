#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant ends the run with an abort, which libFuzzer and the replay driver both take
// for a finding and keep the input of. assert() would vanish in builds with NDEBUG.
[[noreturn]] inline void FuzzCheckFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

#define FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : FuzzCheckFailed(#condition, __FILE__, __LINE__))
