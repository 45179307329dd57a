// Timer ticks from the multimedia timer: a periodic timeSetEvent per running timer, whose
// callback (on Windows' timer thread) only posts the tick to the main thread.
#include <windows.h>
#include <mmsystem.h>

#include <corvex/system/mainthread.h>
#include "system/timer_module.h"

namespace corvex {
namespace {

struct TMultimediaTimer final : TTimerThread {
    int32_t id = 0;
    std::weak_ptr<TTimer> timer;
    UINT event = 0;

    void Finish() override {
        // TIME_KILL_SYNCHRONOUS: once timeKillEvent returns no callback is running or will run.
        if (event != 0) timeKillEvent(event);
        event = 0;
    }
    ~TMultimediaTimer() override { Finish(); }
};

void CALLBACK OnTick(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
    auto* self = reinterpret_cast<TMultimediaTimer*>(user);
    if (Ref<TTimer> t = self->timer.lock()) PostToMainThread(FireIfActive, std::move(t), self->id);
}

}  // namespace

std::unique_ptr<TTimerThread> StartTimerThread(int32_t id, int32_t periodMs, const Ref<TTimer>& timer) {
    auto runner = std::make_unique<TMultimediaTimer>();
    runner->id = id;
    runner->timer = timer;
    runner->event = timeSetEvent(static_cast<UINT>(periodMs), 0, OnTick, reinterpret_cast<DWORD_PTR>(runner.get()),
                                 TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
    if (runner->event == 0) return nullptr;
    return runner;
}

}  // namespace corvex
