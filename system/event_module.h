// The event module's state: the emit hook id and the user-id counter.
// In-tree code only.
#pragma once

#include <cstdint>

#include <corvex/system/event.h>

namespace corvex {

struct TEventModule {
    int32_t emitHookId = -1;                // allocated from the hook module at start-up
    uint32_t lastUserId = 0x80000000u;      // AllocUserId's counter
    void Reset();                           // for tests: new emit hook id (after a hook reset), user ids anew
};
TEventModule& EventModule();

}  // namespace corvex
