// Timer ticks from a thread per running timer, sleeping to absolute deadlines so periods do not
// drift.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <corvex/system/mainthread.h>
#include "system/timer_module.h"

namespace corvex {
namespace {

using TClock = std::chrono::steady_clock;  // CLOCK_MONOTONIC: waits on absolute deadlines

// Ticks more than this far behind (a stopped or starved process) are skipped, not delivered in
// one burst; short delays are made up so the average rate holds.
constexpr auto kMaxLag = std::chrono::seconds(1);

// The thread behind one running timer: it sleeps to each absolute deadline and posts the tick to
// the main thread. It touches nothing else.
struct TPosixTimerThread final : TTimerThread {
    std::mutex lock;
    std::condition_variable wake;
    bool stop = false;
    std::thread thread;

    void Run(int32_t id, int32_t periodMs, TClock::time_point start, std::weak_ptr<TTimer> timer);
    void Finish() override {
        {
            std::lock_guard<std::mutex> guard(lock);
            stop = true;
        }
        wake.notify_all();
        if (thread.joinable()) thread.join();
    }
};

void TPosixTimerThread::Run(int32_t id, int32_t periodMs, TClock::time_point start, std::weak_ptr<TTimer> timer) {
    const auto period = std::chrono::milliseconds(periodMs);
    auto deadline = start + period;
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        if (wake.wait_until(guard, deadline, [this] { return stop; })) return;
        guard.unlock();
        if (Ref<TTimer> t = timer.lock()) PostToMainThread(FireIfActive, std::move(t), id);
        deadline += period;
        const auto now = TClock::now();
        if (now - deadline > kMaxLag) deadline = now + period;
        guard.lock();
    }
}

}  // namespace

std::unique_ptr<TTimerThread> StartTimerThread(int32_t id, int32_t periodMs, const Ref<TTimer>& timer) {
    auto runner = std::make_unique<TPosixTimerThread>();
    try {
        // Deadlines count from now, not from whenever the thread gets going.
        runner->thread = std::thread(&TPosixTimerThread::Run, runner.get(), id, periodMs, TClock::now(),
                                     std::weak_ptr<TTimer>(timer));
    } catch (const std::exception&) {
        return nullptr;
    }
    return runner;
}

}  // namespace corvex
