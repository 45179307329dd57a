// Periodic timers. A timer thread raises each tick on an absolute deadline (no drift) and hands
// it to the main thread, where it is applied inside the message pump; Wait() blocks there.
#pragma once

#include <cstdint>
#include <memory>

#include <corvex/runtime/object.h>
#include <corvex/system/event.h>

namespace corvex {

// A timer that ticks a fixed number of times a second and emits an event on every tick.
class TTimer : public TObject, public std::enable_shared_from_this<TTimer> {
public:
    int32_t _ticks = 0;       // ticks fired so far
    int32_t _wticks = 0;      // _ticks when Wait last returned
    Ref<TTimer> _cycle;       // itself while running; Null when stopped
    Ref<TEvent> _event;       // emitted on each tick; Null: a new "TimerTick" event per tick
    int32_t _handle = 0;      // system timer id; 0 = stopped

    static Ref<TTimer> Create(float hertz, Ref<TEvent> event = {});  // Null: 16 running or bad rate
    int32_t Ticks() const;    // _ticks
    void Stop();              // no restart; queued ticks are dropped
    void Fire();              // one tick (main thread, from the tick hand-off only)
    int32_t Wait();           // waits at least once, then until a tick; ticks since the previous Wait; 0 when stopped
};

// --- Free functions (Null timers: 0 / nothing) ---------------------------------------------------
Ref<TTimer> CreateTimer(float hertz, Ref<TEvent> event = {});
int32_t TimerTicks(const Ref<TTimer>& timer);
int32_t WaitTimer(const Ref<TTimer>& timer);
void StopTimer(const Ref<TTimer>& timer);

// --- System level -------------------------------------------------------------------------------
constexpr int32_t MAX_SYSTEM_TIMERS = 16;
int32_t TimerPeriodMillis(float hertz);                      // 1000 / hertz truncated; 0 if not >= 1 ms
int32_t StartSystemTimer(float hertz, const Ref<TTimer>& timer);  // id, 0 when the table is full or bad rate
void StopSystemTimer(int32_t id);                            // unknown id: nothing
void StopAllSystemTimers();                                  // at exit and in test resets

// --- Start-up -----------------------------------------------------------------------------------
void StartTimerModule();  // module "timer"; starts "hook", "event", "system" first

}  // namespace corvex
