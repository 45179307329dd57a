// The Win32 system driver: pumps the main thread's message queue (its windows' messages and the
// calls posted to it), moves and hides the pointer, and shows the system's message boxes and
// requesters. It replaces the headless driver when the first window opens.
#pragma once

#include <corvex/system/system.h>

namespace corvex::win32 {

class TWin32SystemDriver : public TSystemDriver {
public:
    TWin32SystemDriver();    // takes the held modifier keys from the keyboard
    // Every queued message: window messages dispatched (dialog controls through their dialog),
    // posted calls run by the main thread's queue hook; an error a window procedure kept is raised.
    void Poll() override;
    void Wait() override;    // until input, a message or a posted call is waiting, then Poll()
    void MoveMouse(int32_t x, int32_t y) override;
    void SetMouseVisible(int32_t visible) override;
    void Notify(const TString& text, int32_t serious) override;
    int32_t Confirm(const TString& text, int32_t serious) override;
    int32_t Proceed(const TString& text, int32_t serious) override;
    TString RequestFile(const TString& title, const TString& filter, int32_t save, const TString& path) override;
    TString RequestDir(const TString& title, const TString& path) override;
    int32_t OpenURL(const TString& url) override;
};

void InstallWin32SystemDriver();  // makes a TWin32SystemDriver current (done when a window opens)
void StartWin32SystemModule();    // module "system_win32"; starts "system" first

}  // namespace corvex::win32
