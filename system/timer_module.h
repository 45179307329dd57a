// The timer module's state: the table of running system timers and their threads.
// In-tree code only.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include <corvex/system/timer.h>

namespace corvex {

struct TTimerThread;  // the thread behind one running timer (timer.cpp)
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
