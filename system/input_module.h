// The polled-input module's state: key, button and pointer arrays and the character queue.
// In-tree code only.
#pragma once

#include <array>
#include <cstdint>

#include <corvex/system/input.h>

namespace corvex {

struct TPolledInputModule {
    Ref<TObject> source;                     // when not Null, only its events count
    int32_t enabled = 0;                     // the hook is installed
    std::array<int32_t, 256> keyStates{};
    std::array<int32_t, 256> keyHits{};
    std::array<int32_t, 4> mouseStates{};    // index = button; 0 is never set by the window layer
    std::array<int32_t, 4> mouseHits{};
    std::array<int32_t, 4> mouseLocation{};  // x, y, wheel sum, unused
    std::array<int32_t, 256> charQueue{};    // ring; slot = counter AND 255
    uint32_t charPut = 0;
    uint32_t charGet = 0;
    int32_t suspended = 0;
    int32_t terminateRequested = 0;
    void Reset();                            // for tests: hook off, everything zero
};
TPolledInputModule& PolledInputModule();

}  // namespace corvex
