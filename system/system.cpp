#include <corvex/system/system.h>

#include <algorithm>

#include <corvex/runtime/module.h>
#include "system/dialogs.h"
#include <corvex/system/entry.h>
#include <corvex/system/event.h>
#include <corvex/system/input.h>
#include <corvex/system/mainthread.h>
#include <corvex/system/timer.h>
#include "system/system_module.h"

namespace corvex {

// --- Headless driver ----------------------------------------------------------------------------

// Poll and Wait are platform code: headless_posix.cpp, headless_win32.cpp.
void THeadlessSystemDriver::MoveMouse(int32_t, int32_t) {}
void THeadlessSystemDriver::SetMouseVisible(int32_t visible) { mouseVisible = visible; }
void THeadlessSystemDriver::Notify(const TString& text, int32_t serious) { TerminalNotify(text, serious); }
int32_t THeadlessSystemDriver::Confirm(const TString& text, int32_t serious) { return TerminalConfirm(text, serious); }
int32_t THeadlessSystemDriver::Proceed(const TString& text, int32_t serious) { return TerminalProceed(text, serious); }
TString THeadlessSystemDriver::RequestFile(const TString& title, const TString& filter, int32_t save,
                                           const TString& path) {
    return TerminalRequestFile(title, filter, save, path);
}
TString THeadlessSystemDriver::RequestDir(const TString& title, const TString& path) {
    return TerminalRequestDir(title, path);
}
int32_t THeadlessSystemDriver::OpenURL(const TString& url) { return DesktopOpenURL(url); }

// --- Module -------------------------------------------------------------------------------------

TSystemModule::TSystemModule() : driver(std::make_shared<THeadlessSystemDriver>()), rawDriver(driver.get()) {
    IsMainThread();  // the thread that starts the system is the main thread
}

void TSystemModule::Reset() {
    driver = std::make_shared<THeadlessSystemDriver>();
    rawDriver = driver.get();
    pumping = false;
    retired.clear();
    pollers.clear();
    DiscardPostedCalls();
}

TSystemModule& SystemModule() {
    static TSystemModule* module = new TSystemModule;
    return *module;
}

void StartSystemDriverModule() {
    StartEventModule();
    if (BeginModuleStart("system")) {
        SystemModule();
        StartPlatformTiming();
        // Timer threads must not outlive the program's own exit steps.
        AddExitHandler(StopAllSystemTimers);
    }
}

void StartSystemModule() {
    StartSystemDriverModule();
    StartPolledInputModule();
    StartTimerModule();
}

void SetSystemDriver(Ref<TSystemDriver> driver) {
    TSystemModule& m = SystemModule();
    if (!driver) driver = std::make_shared<THeadlessSystemDriver>();
    if (m.pumping) m.retired.push_back(m.driver);  // still running: release it when the drain ends
    m.driver = std::move(driver);
    m.rawDriver = m.driver.get();
}

Ref<TSystemDriver> SystemDriver() { return SystemModule().driver; }

namespace {
// Sets the re-entrancy flag for one drain and clears it however the drain ends. A driver replaced
// during the drain is released only afterwards, so the raw pointer stays valid without a reference
// count on the per-query path.
class TPumpScope {
public:
    explicit TPumpScope(TSystemModule& m) : _m(m) { _m.pumping = true; }
    ~TPumpScope() {
        _m.pumping = false;
        if (!_m.retired.empty()) _m.retired.clear();
    }

private:
    TSystemModule& _m;
};

// By index, so a poller may add or remove pollers while they run (a removed one is never called
// again, its context may be gone).
void RunPollers(TSystemModule& m) {
    for (size_t i = 0; i < m.pollers.size(); ++i) m.pollers[i].first(m.pollers[i].second);
}
}  // namespace

void PollSystemEvents() {
    TSystemModule& m = SystemModule();
    if (m.pumping) return;
    TPumpScope scope(m);
    m.rawDriver->Poll();
    if (!m.pollers.empty()) RunPollers(m);
}

void WaitSystemEvents() {
    TSystemModule& m = SystemModule();
    if (m.pumping) return;
    TPumpScope scope(m);
    m.rawDriver->Wait();
    if (!m.pollers.empty()) RunPollers(m);
}

void AddSystemPoller(TSystemPoller poller, void* context) {
    TSystemModule& m = SystemModule();
    const auto entry = std::make_pair(poller, context);
    if (poller && std::find(m.pollers.begin(), m.pollers.end(), entry) == m.pollers.end()) m.pollers.push_back(entry);
}

void RemoveSystemPoller(TSystemPoller poller, void* context) {
    TSystemModule& m = SystemModule();
    const auto it = std::find(m.pollers.begin(), m.pollers.end(), std::make_pair(poller, context));
    if (it != m.pollers.end()) m.pollers.erase(it);
}

bool IsPumpingSystemEvents() { return SystemModule().pumping; }

void MoveMouse(int32_t x, int32_t y) {
    if (auto map = SystemModule().pointerMap) map(&x, &y);
    SystemDriver()->MoveMouse(x, y);
}
void SetMouseVisible(int32_t visible) { SystemDriver()->SetMouseVisible(visible); }
void Notify(const TString& text, int32_t serious) { SystemDriver()->Notify(text, serious); }
int32_t Confirm(const TString& text, int32_t serious) { return SystemDriver()->Confirm(text, serious); }
int32_t Proceed(const TString& text, int32_t serious) { return SystemDriver()->Proceed(text, serious); }
TString RequestFile(const TString& title, const TString& filter, int32_t save, const TString& path) {
    return SystemDriver()->RequestFile(title, filter, save, path);
}
TString RequestDir(const TString& title, const TString& path) { return SystemDriver()->RequestDir(title, path); }
int32_t OpenURL(const TString& url) { return SystemDriver()->OpenURL(url); }
void Notify(std::string_view utf8_text, int32_t serious) { Notify(FromUtf8(utf8_text), serious); }
int32_t Confirm(std::string_view utf8_text, int32_t serious) { return Confirm(FromUtf8(utf8_text), serious); }
int32_t Proceed(std::string_view utf8_text, int32_t serious) { return Proceed(FromUtf8(utf8_text), serious); }
TString RequestFile(std::string_view utf8_title, std::string_view utf8_filter, int32_t save, std::string_view utf8_path) {
    return RequestFile(FromUtf8(utf8_title), FromUtf8(utf8_filter), save, FromUtf8(utf8_path));
}
TString RequestDir(std::string_view utf8_title, std::string_view utf8_path) {
    return RequestDir(FromUtf8(utf8_title), FromUtf8(utf8_path));
}
int32_t OpenURL(std::string_view utf8_url) { return OpenURL(FromUtf8(utf8_url)); }

}  // namespace corvex
