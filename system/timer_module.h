// The timer module's state: the table of running system timers and their threads.
// In-tree code only.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include <corvex/system/timer.h>

namespace corvex {

// The platform's source of ticks for one running timer (a thread on Linux, a multimedia timer
// on Windows). It posts FireIfActive(timer, id) to the main thread once a period.
struct TTimerThread {
    virtual ~TTimerThread() = default;
    virtual void Finish() = 0;  // stops the ticks; none is posted after it returns
};
// Starts the ticks of timer `id` every periodMs milliseconds from now; Null when the system refuses.
std::unique_ptr<TTimerThread> StartTimerThread(int32_t id, int32_t periodMs, const Ref<TTimer>& timer);
// The posted tick: fires the timer if `data` (its id) is still in the active table.
void FireIfActive(const Ref<TObject>& context, int64_t data);

struct TTimerModule {
    TTimerModule();
    ~TTimerModule();
    std::array<int32_t, MAX_SYSTEM_TIMERS> ids{};                         // active ids; removal moves the last in
    std::array<std::unique_ptr<TTimerThread>, MAX_SYSTEM_TIMERS> threads;  // same slots
    int32_t count = 0;
    int32_t lastId = 0;                                                   // ids are never reused
    void Reset();                                                         // for tests: stop every timer
};
TTimerModule& TimerModule();

}  // namespace corvex
