#include "system/x11/x11_driver.h"

#include <X11/Xlib.h>

#include <corvex/runtime/module.h>
#include "system/dialogs.h"
#include <corvex/system/mainthread.h>
#include "system/x11/display.h"
#include "system/x11/input.h"
#include "system/x11/requesters.h"
#include "system/x11/watcher.h"

namespace corvex::x11 {
namespace {

TConnectionWatcher& Watcher() {
    static TConnectionWatcher watcher;
    return watcher;
}

// Reads and translates every event the server has sent.
void DrainEvents(Display* display) {
    struct TRewatch {
        ~TRewatch() { Watcher().Consumed(); }
    } rewatch;  // also when a hook raises an error
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (XFilterEvent(&event, None)) continue;  // taken by the input method
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);  // the layout changed: look keys up anew
            continue;
        }
        DispatchX11Event(event);
    }
}

}  // namespace

void TX11SystemDriver::Poll() {
    if (PostedCallsPending()) RunPostedCalls();
    Display* display = X11DisplayIfOpen();
    if (!display) return;
    // Events already read sit in Xlib's queue; the watcher flags bytes still on the socket.
    if (XQLength(display) > 0 || Watcher().Readable()) DrainEvents(display);
}

void TX11SystemDriver::Wait() {
    ClearMainThreadWake();
    Display* display = X11DisplayIfOpen();
    if (!PostedCallsPending() && !(display && XEventsQueued(display, QueuedAfterFlush) > 0)) {
        WaitMainThreadWake(display ? ConnectionNumber(display) : -1);
    }
    Poll();
}

void TX11SystemDriver::MoveMouse(int32_t x, int32_t y) { MoveX11Pointer(x, y); }

void TX11SystemDriver::SetMouseVisible(int32_t visible) { SetX11MouseVisible(visible); }

void TX11SystemDriver::Notify(const TString& text, int32_t serious) {
    if (!HelperNotify(text, serious)) TerminalNotify(text, serious);
}

int32_t TX11SystemDriver::Confirm(const TString& text, int32_t serious) {
    if (auto answer = HelperConfirm(text, serious)) return *answer;
    return TerminalConfirm(text, serious);
}

int32_t TX11SystemDriver::Proceed(const TString& text, int32_t serious) {
    if (auto answer = HelperProceed(text, serious)) return *answer;
    return TerminalProceed(text, serious);
}

TString TX11SystemDriver::RequestFile(const TString& title, const TString& filter, int32_t save,
                                      const TString& path) {
    if (auto answer = HelperRequestFile(title, filter, save, path)) return *answer;
    return TerminalRequestFile(title, filter, save, path);
}

TString TX11SystemDriver::RequestDir(const TString& title, const TString& path) {
    if (auto answer = HelperRequestDir(title, path)) return *answer;
    return TerminalRequestDir(title, path);
}

int32_t TX11SystemDriver::OpenURL(const TString& url) { return DesktopOpenURL(url); }

void InstallX11SystemDriver() {
    StartSystemModule();
    if (dynamic_cast<TX11SystemDriver*>(SystemDriver().get())) return;
    if (Display* display = X11DisplayIfOpen()) Watcher().Start(ConnectionNumber(display));
    SetSystemDriver(std::make_shared<TX11SystemDriver>());
}

void StartX11SystemModule() {
    StartSystemModule();
    BeginModuleStart("system_x11");
}

}  // namespace corvex::x11
