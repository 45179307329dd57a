#include <corvex/system/input.h>

#include <corvex/runtime/module.h>
#include <corvex/system/event.h>
#include <corvex/system/hook.h>
#include <corvex/system/system.h>
#include "system/input_module.h"

namespace corvex {
namespace {

bool ValidKey(int32_t key) { return key >= 0 && key < 256; }
bool ValidButton(int32_t button) { return button >= 0 && button < 4; }

void ClearKeyState(TPolledInputModule& m) {
    m.charPut = m.charGet = 0;
    m.keyStates.fill(0);
    m.keyHits.fill(0);
}

void ClearMouseState(TPolledInputModule& m) {
    m.mouseStates.fill(0);
    m.mouseHits.fill(0);
    m.mouseLocation[2] = 0;
}

Ref<TObject> PolledInputHook(int32_t, const Ref<TObject>& data, const Ref<TObject>&) {
    auto* event = dynamic_cast<TEvent*>(data.get());
    TPolledInputModule& m = PolledInputModule();
    if (!event || (m.source && m.source != event->source)) return data;
    const int32_t code = event->data;
    switch (event->id) {
        case EVENT_KEYDOWN:
            // A held key counts once however long it is held.
            if (ValidKey(code) && !m.keyStates[code]) {
                m.keyStates[code] = 1;
                ++m.keyHits[code];
            }
            break;
        case EVENT_KEYUP:
            if (ValidKey(code)) m.keyStates[code] = 0;
            break;
        case EVENT_KEYCHAR:
            if (m.charPut - m.charGet < 256) m.charQueue[m.charPut++ & 255] = code;
            break;
        case EVENT_MOUSEDOWN:
            if (ValidButton(code) && !m.mouseStates[code]) {
                m.mouseStates[code] = 1;
                ++m.mouseHits[code];
            }
            break;
        case EVENT_MOUSEUP:
            if (ValidButton(code)) m.mouseStates[code] = 0;
            break;
        case EVENT_MOUSEMOVE:
            m.mouseLocation[0] = event->x;
            m.mouseLocation[1] = event->y;
            break;
        case EVENT_MOUSEWHEEL:
            // Wraps rather than overflowing on absurd sums.
            m.mouseLocation[2] = static_cast<int32_t>(static_cast<uint32_t>(m.mouseLocation[2]) +
                                                      static_cast<uint32_t>(code));
            break;
        case EVENT_APPSUSPEND:
            ClearKeys();
            ClearMouse();
            m.suspended = 1;
            break;
        case EVENT_APPRESUME:
            ClearKeys();
            ClearMouse();
            m.suspended = 0;
            break;
        case EVENT_APPTERMINATE:
            m.terminateRequested = 1;
            break;
        default:
            break;
    }
    return data;
}

}  // namespace

TPolledInputModule& PolledInputModule() {
    static TPolledInputModule* module = new TPolledInputModule;
    return *module;
}

void TPolledInputModule::Reset() {
    if (enabled) UninstallHook(EventEmitHookId(), PolledInputHook, nullptr);
    *this = TPolledInputModule{};
}

void StartPolledInputModule() {
    StartSystemDriverModule();
    if (BeginModuleStart("polledinput")) PolledInputModule();
}

void StartPolledInput(const Ref<TObject>& source) {
    TPolledInputModule& m = PolledInputModule();
    if (m.enabled) return;
    m.source = source;
    ClearKeys();
    ClearMouse();
    InstallHook(EventEmitHookId(), PolledInputHook, nullptr, 0);
    m.enabled = 1;
}

void StopPolledInput() {
    TPolledInputModule& m = PolledInputModule();
    if (!m.enabled) return;
    UninstallHook(EventEmitHookId(), PolledInputHook, nullptr);
    ClearKeys();
    ClearMouse();
    m.source.reset();
    m.enabled = 0;
}

int32_t KeyHits(int32_t key) {
    PollSystemEvents();
    if (!ValidKey(key)) return 0;
    TPolledInputModule& m = PolledInputModule();
    const int32_t hits = m.keyHits[key];
    m.keyHits[key] = 0;
    return hits;
}

int32_t IsKeyDown(int32_t key) {
    PollSystemEvents();
    return ValidKey(key) ? PolledInputModule().keyStates[key] : 0;
}

int32_t NextChar() {
    PollSystemEvents();
    TPolledInputModule& m = PolledInputModule();
    if (m.charPut == m.charGet) return 0;
    return m.charQueue[m.charGet++ & 255];
}

void ClearKeys() {
    PollSystemEvents();
    ClearKeyState(PolledInputModule());
}

void FlushKeys() {
    PollSystemEvents();
    TPolledInputModule& m = PolledInputModule();
    m.charPut = m.charGet = 0;
    m.keyHits.fill(0);
}

int32_t MouseHits(int32_t button) {
    PollSystemEvents();
    if (!ValidButton(button)) return 0;
    TPolledInputModule& m = PolledInputModule();
    const int32_t hits = m.mouseHits[button];
    m.mouseHits[button] = 0;
    return hits;
}

int32_t IsMouseDown(int32_t button) {
    PollSystemEvents();
    return ValidButton(button) ? PolledInputModule().mouseStates[button] : 0;
}

int32_t MousePosX() {
    PollSystemEvents();
    return PolledInputModule().mouseLocation[0];
}

int32_t MousePosY() {
    PollSystemEvents();
    return PolledInputModule().mouseLocation[1];
}

int32_t MouseWheelPos() {
    PollSystemEvents();
    return PolledInputModule().mouseLocation[2];
}

void ClearMouse() {
    PollSystemEvents();
    ClearMouseState(PolledInputModule());
}

// Inside the pump WaitSystemEvents returns at once and nothing new can arrive, so waiting there
// could never end: the waits give up with 0 instead.
int32_t WaitForKey() {
    if (IsPumpingSystemEvents()) return 0;
    ClearKeys();
    for (;;) {
        WaitSystemEvents();
        for (int32_t key = 1; key < 256; ++key) {
            if (KeyHits(key)) return key;
        }
    }
}

int32_t WaitForChar() {
    if (IsPumpingSystemEvents()) return 0;
    ClearKeys();
    for (;;) {
        WaitSystemEvents();
        if (int32_t c = NextChar()) return c;
    }
}

int32_t WaitForMouse() {
    if (IsPumpingSystemEvents()) return 0;
    ClearMouse();
    for (;;) {
        WaitSystemEvents();
        for (int32_t button = 1; button < 4; ++button) {
            if (MouseHits(button)) return button;
        }
    }
}

int32_t IsAppSuspended() {
    PollSystemEvents();
    return PolledInputModule().suspended;
}

int32_t TerminateRequested() {
    PollSystemEvents();
    TPolledInputModule& m = PolledInputModule();
    const int32_t requested = m.terminateRequested;
    m.terminateRequested = 0;
    return requested;
}

}  // namespace corvex
