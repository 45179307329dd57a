// The system module's state: the current driver and the pump's re-entrancy flag.
// In-tree code only.
#pragma once

#include <vector>

#include <corvex/system/system.h>

namespace corvex {

struct TSystemModule {
    TSystemModule();
    Ref<TSystemDriver> driver;      // never Null
    TSystemDriver* rawDriver;       // driver.get(), for the per-query fast path
    bool pumping = false;           // re-entrancy flag shared by Poll and Wait
    std::vector<Ref<TSystemDriver>> retired;  // drivers replaced while pumping, released after
    std::vector<std::pair<TSystemPoller, void*>> pollers;  // run after the driver in each pump
    void Reset();                   // for tests: headless driver, not pumping, posted calls dropped
};
TSystemModule& SystemModule();

}  // namespace corvex
