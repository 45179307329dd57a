#include <corvex/system/hook.h>

#include <corvex/runtime/exception.h>
#include <corvex/runtime/module.h>
#include "system/hook_module.h"

namespace corvex {

THookModule& HookModule() {
    // Never destroyed: hooks may still run from exit handlers after static destruction began.
    static THookModule* module = new THookModule;
    return *module;
}

void THookModule::Reset() {
    for (auto& head : chains) head.reset();
    lastId = -1;
}

void StartHookModule() {
    StartRuntimeModule();
    if (BeginModuleStart("hook")) HookModule();
}

int32_t NewHookId() {
    THookModule& m = HookModule();
    if (m.lastId + 1 >= HOOK_ID_COUNT) throw TRuntimeException("Too many hook ids");
    return ++m.lastId;
}

static Ref<THook>& ChainHead(int32_t id) {
    if (id < 0 || id >= HOOK_ID_COUNT) throw TRuntimeException("Invalid hook id");
    return HookModule().chains[static_cast<size_t>(id)];
}

void InstallHook(int32_t id, THookFunc func, const Ref<TObject>& context, int32_t priority) {
    Ref<THook>& head = ChainHead(id);
    auto hook = std::make_shared<THook>();
    hook->priority = priority;
    hook->func = func;
    hook->context = context;
    // After every hook of higher or equal priority: equal priorities run in installation order.
    Ref<THook> passed;
    for (Ref<THook> at = head; at && at->priority >= priority; at = at->succ) passed = at;
    if (passed) {
        hook->succ = passed->succ;
        passed->succ = hook;
    } else {
        hook->succ = head;
        head = hook;
    }
}

void UninstallHook(int32_t id, THookFunc func, const Ref<TObject>& context) {
    Ref<THook>& head = ChainHead(id);
    Ref<THook> pred;
    for (Ref<THook> at = head; at; pred = at, at = at->succ) {
        if (at->func != func || at->context != context) continue;
        // The unlinked hook keeps its succ, so a chain run standing on it can still go on.
        (pred ? pred->succ : head) = at->succ;
        return;
    }
}

Ref<TObject> RunHookChain(int32_t id, const Ref<TObject>& data) {
    if (id < 0 || id >= HOOK_ID_COUNT) return data;
    Ref<TObject> current = data;
    // Hold each hook while it runs: it may uninstall itself or others.
    for (Ref<THook> hook = HookModule().chains[static_cast<size_t>(id)]; hook; hook = hook->succ) {
        if (hook->func) current = hook->func(id, current, hook->context);
    }
    return current;
}

}  // namespace corvex
