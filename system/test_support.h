// Shared by the system tests: a clean module state, and running code in a child process.
#pragma once

#include <functional>
#include <string>

#include <corvex/system/event.h>
#include <corvex/system/hook.h>
#include <corvex/system/input.h>
#include <corvex/system/system.h>
#include <corvex/system/timer.h>
#include "system/event_module.h"
#include "system/hook_module.h"
#include "system/input_module.h"
#include "system/system_module.h"
#include "system/timer_module.h"

// RunInChild(body) runs body in a child process and captures its output and exit code: a forked
// child on Linux, the test program started again for the current test on Windows.
#ifdef _WIN32
#include "system/test_child_win32.h"
#else
#include "system/test_child_posix.h"
#endif

namespace corvex::test {

// Every module back to its start-up state, in reverse start order.
inline void ResetSystemModules() {
    StartSystemModule();
    TimerModule().Reset();
    PolledInputModule().Reset();
    SystemModule().Reset();
    HookModule().Reset();
    EventModule().Reset();
}

}  // namespace corvex::test
