// The per-query cost of polled input with the X11 driver and nothing pending, beside what a
// kernel round for the X connection would cost per query. Run under a display, e.g.
//     scripts/with-xvfb.sh build-x11/system/x11/system_x11_poll_benchmark
#include <benchmark/benchmark.h>
// benchmark before the X headers: their macros (None, Bool) break it otherwise.
#include <X11/Xlib.h>
#include <poll.h>

#include <cstdio>

#include <corvex/system/input.h>
#include <corvex/system/system.h>
#include "system/x11/display.h"
#include "system/x11/input.h"
#include "system/x11/x11_driver.h"

using namespace corvex;

namespace {

Display* Setup() {
    static Display* display = [] {
        x11::StartX11SystemModule();
        if (!x11::X11DisplayAvailable()) {
            std::fprintf(stderr, "needs a display\n");
            std::exit(1);
        }
        Display* d = x11::X11Display();
        const Window window = XCreateSimpleWindow(d, DefaultRootWindow(d), 32, 32, 200, 150, 0, 0, 0);
        x11::RegisterX11Window(window, nullptr);
        XMapWindow(d, window);
        XSync(d, False);
        StartPolledInput(nullptr);
        PollSystemEvents();
        return d;
    }();
    return display;
}

void BM_X11IsKeyDownNothingPending(benchmark::State& state) {
    Setup();
    for (auto _ : state) benchmark::DoNotOptimize(IsKeyDown(27));
}
BENCHMARK(BM_X11IsKeyDownNothingPending);

void BM_X11MousePosXNothingPending(benchmark::State& state) {
    Setup();
    for (auto _ : state) benchmark::DoNotOptimize(MousePosX());
}
BENCHMARK(BM_X11MousePosXNothingPending);

// For comparison: asking Xlib (flush and a read attempt) on every query.
void BM_XPendingPerQuery(benchmark::State& state) {
    Display* d = Setup();
    for (auto _ : state) benchmark::DoNotOptimize(XPending(d));
}
BENCHMARK(BM_XPendingPerQuery);

// For comparison: a zero-timeout poll() of the connection on every query.
void BM_PollSyscallPerQuery(benchmark::State& state) {
    Display* d = Setup();
    pollfd fd = {ConnectionNumber(d), POLLIN, 0};
    for (auto _ : state) benchmark::DoNotOptimize(poll(&fd, 1, 0));
}
BENCHMARK(BM_PollSyscallPerQuery);

}  // namespace

BENCHMARK_MAIN();
