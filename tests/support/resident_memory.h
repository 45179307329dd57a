// Test support (Linux): the process's resident memory, for leak checks that create and drop
// resources in a loop and compare the growth with a bound.
#pragma once

#include <cstdint>
#include <cstdio>
#include <unistd.h>

namespace corvex::test_support {

// Resident set size in bytes, from /proc/self/statm; -1 when it cannot be read.
inline int64_t ResidentBytes() {
    long pages = 0, resident = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return -1;
    const int got = std::fscanf(f, "%ld %ld", &pages, &resident);
    std::fclose(f);
    return got == 2 ? int64_t(resident) * sysconf(_SC_PAGESIZE) : -1;
}

// `bound` as it stands, or four times it under AddressSanitizer, whose quarantine keeps freed
// memory resident for a while.
constexpr int64_t GrowthBound(int64_t bound) {
#if defined(__SANITIZE_ADDRESS__)
    return 4 * bound;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return 4 * bound;
#else
    return bound;
#endif
#else
    return bound;
#endif
}

}  // namespace corvex::test_support
