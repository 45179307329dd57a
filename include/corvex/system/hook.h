// Hook chains: 256 numbered, priority-ordered lists of callbacks.
//
// A chain is run with a data object; each hook receives what the previous one returned and may
// pass it on unchanged, replace it or return Null. Main thread only.
#pragma once

#include <cstdint>

#include <corvex/runtime/object.h>

namespace corvex {

// A hook callback: func(hook id, data, context) returns the data for the next hook.
using THookFunc = Ref<TObject> (*)(int32_t id, const Ref<TObject>& data, const Ref<TObject>& context);

// One link of a hook chain.
class THook : public TObject {
public:
    Ref<THook> succ;        // next hook, Null at the end
    int32_t priority = 0;   // higher runs earlier
    THookFunc func = nullptr;  // called with the chain id, the data and context
    Ref<TObject> context;   // handed back to func unchanged
};

constexpr int32_t HOOK_ID_COUNT = 256;  // hook ids run from 0 to HOOK_ID_COUNT - 1

// --- Hook operations --------------------------------------------------------------------------
int32_t NewHookId();  // next free id 0..255; raises "Too many hook ids" after 256
void InstallHook(int32_t id, THookFunc func, const Ref<TObject>& context, int32_t priority);  // after equal priorities
void UninstallHook(int32_t id, THookFunc func, const Ref<TObject>& context);  // first match only; none: nothing
Ref<TObject> RunHookChain(int32_t id, const Ref<TObject>& data);  // data as returned by the last hook

// Ids outside 0..255 passed to the calls above raise "Invalid hook id" (install, uninstall) or
// leave the data untouched (run).

// --- Start-up ---------------------------------------------------------------------------------
void StartHookModule();  // module "hook"

}  // namespace corvex
