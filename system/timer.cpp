#include <corvex/system/timer.h>

#include <cmath>

#include <corvex/runtime/module.h>
#include <corvex/system/mainthread.h>
#include <corvex/system/system.h>
#include "system/timer_module.h"

namespace corvex {

void FireIfActive(const Ref<TObject>& context, int64_t data) {
    TTimerModule& m = TimerModule();
    for (int32_t i = 0; i < m.count; ++i) {
        if (m.ids[i] != data) continue;
        if (auto* timer = dynamic_cast<TTimer*>(context.get())) timer->Fire();
        return;
    }
    // Not in the table: the timer was stopped after this tick was queued; the tick is dropped.
}

// --- Module -------------------------------------------------------------------------------------

TTimerModule::TTimerModule() = default;
TTimerModule::~TTimerModule() = default;

void TTimerModule::Reset() { StopAllSystemTimers(); }

TTimerModule& TimerModule() {
    // Never destroyed: exit handlers stop the timers, and their threads may still post until then.
    static TTimerModule* module = new TTimerModule;
    return *module;
}

void StartTimerModule() {
    StartSystemDriverModule();
    if (BeginModuleStart("timer")) TimerModule();
}

int32_t TimerPeriodMillis(float hertz) {
    const double ms = 1000.0 / static_cast<double>(hertz);
    if (!(ms >= 1.0) || ms > 2147483647.0) return 0;  // NaN, negative, infinite or below 1 ms
    return static_cast<int32_t>(ms);                   // truncated: 30 Hz gives 33 ms
}

int32_t StartSystemTimer(float hertz, const Ref<TTimer>& timer) {
    TTimerModule& m = TimerModule();
    if (m.count >= MAX_SYSTEM_TIMERS || !timer) return 0;
    const int32_t periodMs = TimerPeriodMillis(hertz);
    if (periodMs == 0) return 0;
    // A fresh id every time, never 0 and never one that is running, so a late tick cannot be
    // mistaken for another timer's.
    int32_t id = m.lastId;
    for (bool used = true; used;) {
        id = id == INT32_MAX ? 1 : id + 1;
        used = false;
        for (int32_t i = 0; i < m.count; ++i) used = used || m.ids[i] == id;
    }
    std::unique_ptr<TTimerThread> runner = StartTimerThread(id, periodMs, timer);
    if (!runner) return 0;
    m.lastId = id;
    m.ids[m.count] = id;
    m.threads[m.count] = std::move(runner);
    ++m.count;
    return id;
}

void StopSystemTimer(int32_t id) {
    TTimerModule& m = TimerModule();
    for (int32_t i = 0; i < m.count; ++i) {
        if (m.ids[i] != id) continue;
        std::unique_ptr<TTimerThread> runner = std::move(m.threads[i]);
        --m.count;
        m.ids[i] = m.ids[m.count];
        m.threads[i] = std::move(m.threads[m.count]);
        m.ids[m.count] = 0;
        runner->Finish();
        return;
    }
}

void StopAllSystemTimers() {
    TTimerModule& m = TimerModule();
    while (m.count > 0) StopSystemTimer(m.ids[0]);
}

// --- TTimer -------------------------------------------------------------------------------------

Ref<TTimer> TTimer::Create(float hertz, Ref<TEvent> event) {
    auto timer = std::make_shared<TTimer>();
    const int32_t id = StartSystemTimer(hertz, timer);
    if (id == 0) return nullptr;
    timer->_cycle = timer;
    timer->_event = std::move(event);
    timer->_handle = id;
    return timer;
}

int32_t TTimer::Ticks() const { return _ticks; }

void TTimer::Stop() {
    if (_handle == 0) return;
    StopSystemTimer(_handle);
    _handle = 0;
    _event.reset();
    Ref<TTimer> self = std::move(_cycle);  // may be the last reference: let it go last
}

void TTimer::Fire() {
    if (_handle == 0) return;
    ++_ticks;
    if (_event) {
        Ref<TEvent> event = _event;  // a hook may stop the timer while the event runs
        event->Emit();
    } else {
        TEvent::Create(EVENT_TIMERTICK, weak_from_this().lock(), _ticks, 0, 0, 0, nullptr)->Emit();
    }
}

int32_t TTimer::Wait() {
    if (_handle == 0) return 0;
    Ref<TTimer> self = weak_from_this().lock();  // hooks run while waiting may drop the last owner
    // Wait at least once: ticks already applied by a slow frame's own polling do not end this
    // wait, so the frame loop keeps to the timer's period instead of running on at once.
    for (bool first = true; first || _ticks == _wticks; first = false) {
        // Inside the pump no tick can be applied (the wait returns at once), and once stopped
        // none will come: return what is there rather than hang.
        if (IsPumpingSystemEvents() || _handle == 0) {
            if (_ticks == _wticks) return 0;
            break;
        }
        WaitSystemEvents();
    }
    const int32_t n = _ticks - _wticks;
    _wticks += n;
    return n;
}

Ref<TTimer> CreateTimer(float hertz, Ref<TEvent> event) { return TTimer::Create(hertz, std::move(event)); }
int32_t TimerTicks(const Ref<TTimer>& timer) { return timer ? timer->Ticks() : 0; }
int32_t WaitTimer(const Ref<TTimer>& timer) { return timer ? timer->Wait() : 0; }
void StopTimer(const Ref<TTimer>& timer) {
    if (timer) timer->Stop();
}

}  // namespace corvex
