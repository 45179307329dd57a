// The hook module's state: the chain heads and the id counter.
// In-tree code only.
#pragma once

#include <array>
#include <cstdint>

#include <corvex/system/hook.h>

namespace corvex {

struct THookModule {
    std::array<Ref<THook>, HOOK_ID_COUNT> chains;  // chain heads, Null when empty
    int32_t lastId = -1;                          // NewHookId's counter
    void Reset();                                 // for tests: empty chains, counter back to -1
};
THookModule& HookModule();

}  // namespace corvex
