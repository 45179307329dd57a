#include "system/win32/win32_driver.h"

#include <corvex/runtime/module.h>
#include <corvex/system/mainthread.h>
#include "system/win32/messages.h"
#include "system/win32/requesters.h"
#include "system/message_pump_win32.h"

namespace corvex::win32 {
namespace {

// Style bits of a control that takes part in its dialog's keyboard navigation.
constexpr LONG DIALOG_CONTROL = WS_CHILD | WS_TABSTOP;

// A message for a control of a dialog goes to the dialog's own keyboard handling first.
bool TakenByDialog(const MSG& message) {
    HWND window = message.hwnd;
    if (!window || (GetWindowLongW(window, GWL_STYLE) & DIALOG_CONTROL) != DIALOG_CONTROL) return false;
    for (HWND parent = GetParent(window); parent; parent = GetParent(parent)) {
        if ((GetWindowLongW(parent, GWL_STYLE) & DIALOG_CONTROL) != DIALOG_CONTROL) {
            return IsDialogMessageW(parent, const_cast<MSG*>(&message)) != 0;
        }
    }
    return false;
}

}  // namespace

TWin32SystemDriver::TWin32SystemDriver() { ReadHeldModifiers(); }

void TWin32SystemDriver::Poll() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));  // for whoever runs the program's loop
            break;
        }
        if (message.hwnd == nullptr) continue;  // thread messages: posted calls ran in the queue's hook
        if (!TakenByDialog(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        RaiseDeferredWindowProcError();
    }
    // Calls posted before their thread message could be sent (or whose message a loop dropped).
    if (PostedCallsPending()) RunPostedCalls();
}

void TWin32SystemDriver::Wait() {
    WaitMainThreadMessages();
    Poll();
}

void TWin32SystemDriver::MoveMouse(int32_t x, int32_t y) { MoveWin32Pointer(x, y); }

void TWin32SystemDriver::SetMouseVisible(int32_t visible) { SetWin32MouseVisible(visible); }

void TWin32SystemDriver::Notify(const TString& text, int32_t serious) { MessageBoxNotify(text, serious); }

int32_t TWin32SystemDriver::Confirm(const TString& text, int32_t serious) { return MessageBoxConfirm(text, serious); }

int32_t TWin32SystemDriver::Proceed(const TString& text, int32_t serious) { return MessageBoxProceed(text, serious); }

TString TWin32SystemDriver::RequestFile(const TString& title, const TString& filter, int32_t save,
                                        const TString& path) {
    return FileRequester(title, filter, save, path);
}

TString TWin32SystemDriver::RequestDir(const TString& title, const TString& path) { return FolderRequester(title, path); }

int32_t TWin32SystemDriver::OpenURL(const TString& url) { return ShellOpen(url); }

void InstallWin32SystemDriver() {
    StartSystemModule();
    if (dynamic_cast<TWin32SystemDriver*>(SystemDriver().get())) return;
    SetSystemDriver(std::make_shared<TWin32SystemDriver>());
}

void StartWin32SystemModule() {
    StartSystemModule();
    BeginModuleStart("system_win32");
}

}  // namespace corvex::win32
