#include <corvex/system/mainthread.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <new>
#include <thread>

#include "system/mainthread_platform.h"

namespace corvex {
namespace {

struct TPostedCall {
    TPostedFunc function;
    Ref<TObject> context;  // released on the main thread once the call has run
    int64_t data;
};

// Shared by every thread; never destroyed, so timer threads still running at exit find it intact.
struct TPostedQueue {
    std::mutex lock;
    std::deque<TPostedCall> calls;
    std::atomic<int64_t> pending{0};  // raised before the wake-up, lowered as calls are taken
    std::atomic<bool> haveMain{false};
    std::thread::id mainThread;
};

TPostedQueue& Queue() {
    static TPostedQueue* queue = new TPostedQueue;
    return *queue;
}

}  // namespace

bool PostToMainThread(TPostedFunc function, Ref<TObject> context, int64_t data) {
    if (!function) return false;
    TPostedQueue& q = Queue();
    try {
        std::lock_guard<std::mutex> guard(q.lock);
        q.calls.push_back({function, std::move(context), data});
        q.pending.fetch_add(1, std::memory_order_release);
    } catch (const std::bad_alloc&) {
        return false;
    }
    SignalPostedCall();
    return true;
}

bool StartAsyncCall(TAsyncWorker worker, int64_t workerData, TPostedFunc function, Ref<TObject> context) {
    if (!worker || !function) return false;
    try {
        std::thread([=, context = std::move(context)]() mutable {
            const int64_t result = worker(workerData);
            PostToMainThread(function, std::move(context), result);
        }).detach();
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool PostedCallsPending() { return Queue().pending.load(std::memory_order_acquire) != 0; }

bool IsMainThread() {
    TPostedQueue& q = Queue();
    if (!q.haveMain.load(std::memory_order_acquire)) {
        bool first = false;
        {
            std::lock_guard<std::mutex> guard(q.lock);
            if (!q.haveMain.load(std::memory_order_relaxed)) {
                q.mainThread = std::this_thread::get_id();
                q.haveMain.store(true, std::memory_order_release);
                first = true;
            }
        }
        if (first) MainThreadQueueReady();
    }
    return q.mainThread == std::this_thread::get_id();
}

int32_t RunPostedCalls() {
    if (!IsMainThread()) return 0;
    TPostedQueue& q = Queue();
    // Only the calls already queued: a call that posts again runs at the next poll, not in a loop.
    int64_t budget = q.pending.load(std::memory_order_acquire);
    int32_t ran = 0;
    while (budget-- > 0) {
        TPostedCall call;
        {
            std::lock_guard<std::mutex> guard(q.lock);
            if (q.calls.empty()) break;
            call = std::move(q.calls.front());
            q.calls.pop_front();
            q.pending.fetch_sub(1, std::memory_order_release);
        }
        // Outside the lock: the call may post, stop timers (joining their threads) or throw; the
        // calls behind it stay queued.
        ++ran;
        call.function(call.context, call.data);
    }
    return ran;
}

void DiscardPostedCalls() {
    TPostedQueue& q = Queue();
    std::deque<TPostedCall> dropped;
    {
        std::lock_guard<std::mutex> guard(q.lock);
        dropped.swap(q.calls);
        q.pending.store(0, std::memory_order_release);
    }
    ClearMainThreadWake();
}

}  // namespace corvex
