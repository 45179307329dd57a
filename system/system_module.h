// The system module's state: the current driver, the pollers and the pump's re-entrancy flag.
// In-tree code only.
#pragma once

#include <utility>
#include <vector>

#include <corvex/system/system.h>

namespace corvex {

struct TSystemModule {
    TSystemModule();
    Ref<TSystemDriver> driver;      // never Null
    TSystemDriver* rawDriver;       // driver.get(), for the per-query fast path
    bool pumping = false;           // re-entrancy flag shared by Poll and Wait
    std::vector<Ref<TSystemDriver>> retired;  // drivers replaced while pumping, released after
    std::vector<std::pair<TSystemPoller, void*>> pollers;  // run after the driver on every drain
    // Turns MoveMouse's point into client pixels first (draw2d's virtual resolution); kept by Reset.
    void (*pointerMap)(int32_t* x, int32_t* y) = nullptr;
    void Reset();                   // for tests: headless driver, not pumping, posted calls dropped
};
TSystemModule& SystemModule();

// Raises the system's timer resolution for the whole run where that is needed (1 ms on Windows,
// restored by an exit handler); nothing on Linux. Called once, at system start-up.
void StartPlatformTiming();

}  // namespace corvex
