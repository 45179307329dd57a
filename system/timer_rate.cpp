// Measures the tick rate of a periodic timer: timer_rate [hertz] [seconds] (30 and 10 by default).
// Prints the ticks counted, the time taken and the ticks per second.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <corvex/system/system.h>
#include <corvex/system/timer.h>

int main(int argc, char** argv) {
    const float hertz = argc > 1 ? std::strtof(argv[1], nullptr) : 30.0f;
    const double seconds = argc > 2 ? std::strtod(argv[2], nullptr) : 10.0;
    corvex::StartSystemModule();
    auto timer = corvex::CreateTimer(hertz);
    if (!timer) {
        std::fprintf(stderr, "cannot start a %g Hz timer\n", hertz);
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    int64_t ticks = 0;
    int32_t largest = 0;  // the most ticks one Wait returned
    while (std::chrono::steady_clock::now() < end) {
        const int32_t n = timer->Wait();
        ticks += n;
        if (n > largest) largest = n;
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    timer->Stop();
    std::printf("%g Hz timer (period %d ms): %lld ticks in %.3f s = %.3f ticks/s, at most %d per wait\n", hertz,
                corvex::TimerPeriodMillis(hertz), static_cast<long long>(ticks), elapsed, ticks / elapsed, largest);
    return 0;
}
