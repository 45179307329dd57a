// Posted calls wake the main thread as thread message 0x7001, and a WH_GETMESSAGE hook runs them
// whenever a message loop on the main thread removes that message.
#include <corvex/system/mainthread.h>

#include <atomic>

#include "system/mainthread_platform.h"
#include "system/message_pump_win32.h"

namespace corvex {
namespace {

std::atomic<DWORD> mainThreadId{0};
// Set while our own pump's PeekMessageW runs: the pump runs the queued calls once at its end, so
// a call that posts again runs at the next poll instead of keeping the drain going for ever.
bool inOwnPeek = false;

LRESULT CALLBACK OnGetMessage(int code, WPARAM removal, LPARAM lParam) {
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code >= 0 && removal == PM_REMOVE && msg->message == kPostedCallMessage && msg->hwnd == nullptr &&
        !inOwnPeek) {
        // Another loop (a message box's, a dialog's) removed it: run the calls there.
        if (PostedCallsPending()) RunPostedCalls();
    }
    return CallNextHookEx(nullptr, code, removal, lParam);
}

void PostWake() {
    const DWORD id = mainThreadId.load(std::memory_order_acquire);
    // Before the main thread has a queue the post fails; the pending count still tells the first
    // Poll to run the call.
    if (id != 0) PostThreadMessageW(id, kPostedCallMessage, 0, 0);
}

}  // namespace

void MainThreadQueueReady() {
    MSG msg;
    // A thread has a message queue once it asks for one; only then can others post to it.
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    SetWindowsHookExW(WH_GETMESSAGE, OnGetMessage, nullptr, GetCurrentThreadId());
    mainThreadId.store(GetCurrentThreadId(), std::memory_order_release);
}

void SignalPostedCall() { PostWake(); }
void WakeMainThread() { PostWake(); }
int MainThreadWakeFd() { return -1; }

// Wake-ups are messages; they are consumed by the pump, not here.
void ClearMainThreadWake() {}

void WaitMainThreadWake(int) { WaitMainThreadMessages(); }

void PumpMainThreadMessages() {
    MSG msg;
    for (;;) {
        inOwnPeek = true;
        const BOOL got = PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
        inOwnPeek = false;
        if (!got) break;
        if (msg.hwnd == nullptr) continue;  // thread messages: 0x7001 only says calls are queued
        // Window procedures may open modal loops; there the hook runs posted calls.
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    // The calls queued so far, in posting order; those they post wait for the next poll.
    if (PostedCallsPending()) RunPostedCalls();
}

void WaitMainThreadMessages() {
    if (PostedCallsPending()) return;
    // MWMO_INPUTAVAILABLE: messages already in the queue count, not only ones that arrive later.
    MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

}  // namespace corvex
