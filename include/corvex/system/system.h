// The system driver: pumps the main thread's messages, moves and hides the pointer, shows simple
// dialogs. Until a display is opened the headless driver serves: it only runs posted calls.
//
// Contract for drivers (the X11 driver replaces the headless one through SetSystemDriver):
// - Poll() drains everything pending without blocking: the posted calls (RunPostedCalls) and the
//   driver's own messages, emitting TEvents for them. It runs once per polled-input query, so when
//   nothing is pending it must return without a system call (e.g. PostedCallsPending() plus
//   XEventsQueued(QueuedAlready) plus a flag set by a thread that watches the connection), yet it
//   must never miss a message that had arrived before the call.
// - Wait() blocks until something is pending (see mainthread.h for the race-free pattern), then
//   does Poll(). It may return without anything having arrived.
// - Both run only through PollSystemEvents / WaitSystemEvents, which keep them from re-entering.
#pragma once

#include <string_view>

#include <cstdint>

#include <corvex/runtime/object.h>
#include <corvex/runtime/string.h>

namespace corvex {

// The platform side of the system module: messages, the pointer, dialogs and the desktop.
class TSystemDriver : public TObject {
public:
    virtual void Poll() = 0;                                   // drain pending messages and posted calls
    virtual void Wait() = 0;                                   // block until something arrives, then Poll()
    virtual void MoveMouse(int32_t x, int32_t y) = 0;          // pointer to client (x, y) of the active window
    virtual void SetMouseVisible(int32_t visible) = 0;         // the wish to see the cursor over our windows
    virtual void Notify(const TString& text, int32_t serious) = 0;    // message with an OK button
    virtual int32_t Confirm(const TString& text, int32_t serious) = 0; // OK 1, Cancel 0
    virtual int32_t Proceed(const TString& text, int32_t serious) = 0; // Yes 1, No 0, Cancel -1
    virtual TString RequestFile(const TString& title, const TString& filter, int32_t save, const TString& path) = 0;  // "" if none
    virtual TString RequestDir(const TString& title, const TString& path) = 0;  // "" if none
    virtual int32_t OpenURL(const TString& url) = 0;           // 1 when handed to the desktop
};

// Serves without a display: Poll runs posted calls, Wait blocks on the wake fd, dialogs use the
// terminal (see dialogs.h), OpenURL runs xdg-open.
class THeadlessSystemDriver : public TSystemDriver {
public:
    void Poll() override;
    void Wait() override;
    void MoveMouse(int32_t x, int32_t y) override;       // no pointer: nothing
    void SetMouseVisible(int32_t visible) override;      // remembered only
    void Notify(const TString& text, int32_t serious) override;
    int32_t Confirm(const TString& text, int32_t serious) override;
    int32_t Proceed(const TString& text, int32_t serious) override;
    TString RequestFile(const TString& title, const TString& filter, int32_t save, const TString& path) override;
    TString RequestDir(const TString& title, const TString& path) override;
    int32_t OpenURL(const TString& url) override;
    int32_t mouseVisible = 1;  // the last SetMouseVisible
};

// --- Driver -----------------------------------------------------------------------------------
void SetSystemDriver(Ref<TSystemDriver> driver);  // Null puts a headless driver back
Ref<TSystemDriver> SystemDriver();                // the current driver, never Null

// --- Pumping (main thread) --------------------------------------------------------------------
void PollSystemEvents();        // drain pending messages; nothing when already pumping
void WaitSystemEvents();        // block until a message arrives, then drain; nothing when already pumping
bool IsPumpingSystemEvents();   // true inside PollSystemEvents / WaitSystemEvents

// --- Pollers: other sources of events read with every drain (game controllers, network hosts) -
// A poller runs after the driver on every PollSystemEvents and WaitSystemEvents, inside the pump;
// it must not block and should be cheap when nothing is pending. Waiting is not woken by a
// poller's sources.
using TSystemPoller = void (*)(void* context);  // a poller: reads its source, emits events for what arrived
void AddSystemPoller(TSystemPoller poller, void* context = nullptr);     // runs from the next drain on; once per pair
void RemoveSystemPoller(TSystemPoller poller, void* context = nullptr);  // not added: nothing

// --- Pointer and dialogs (forward to the driver) ----------------------------------------------
// The pointer to client (x, y) of the active window; under draw2d's virtual resolution, in its units.
void MoveMouse(int32_t x, int32_t y);
void SetMouseVisible(int32_t visible);
void Notify(const TString& text, int32_t serious = 0);
int32_t Confirm(const TString& text, int32_t serious = 0);
int32_t Proceed(const TString& text, int32_t serious = 0);
TString RequestFile(const TString& title, const TString& filter = {}, int32_t save = 0, const TString& path = {});
TString RequestDir(const TString& title, const TString& path = {});
int32_t OpenURL(const TString& url);
// The same calls taking UTF-8 text.
void Notify(std::string_view utf8_text, int32_t serious = 0);
int32_t Confirm(std::string_view utf8_text, int32_t serious = 0);
int32_t Proceed(std::string_view utf8_text, int32_t serious = 0);
TString RequestFile(std::string_view utf8_title, std::string_view utf8_filter = {}, int32_t save = 0,
                    std::string_view utf8_path = {});
TString RequestDir(std::string_view utf8_title, std::string_view utf8_path = {});
int32_t OpenURL(std::string_view utf8_url);

// --- Start-up ---------------------------------------------------------------------------------
void StartSystemModule();        // starts modules "hook", "event", "system", "polledinput", "timer" in that order
void StartSystemDriverModule();  // only "hook", "event", "system"

}  // namespace corvex
