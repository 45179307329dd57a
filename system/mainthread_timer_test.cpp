#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <thread>
#include <vector>

#include <corvex/system/clock.h>
#include <corvex/system/event.h>
#include <corvex/system/hook.h>
#include <corvex/system/mainthread.h>
#include <corvex/system/system.h>
#include "system/test_support.h"
#include <corvex/system/timer.h>
#include "system/timer_module.h"

namespace corvex {
namespace {

class MainThreadTest : public ::testing::Test {
protected:
    void SetUp() override { test::ResetSystemModules(); }
    void TearDown() override { test::ResetSystemModules(); }
};

struct TRecord : TObject {
    std::vector<int64_t> values;
    std::vector<std::thread::id> threads;
};

void RecordCall(const Ref<TObject>& context, int64_t data) {
    auto* r = static_cast<TRecord*>(context.get());
    r->values.push_back(data);
    r->threads.push_back(std::this_thread::get_id());
}

TEST_F(MainThreadTest, CallsFromAnotherThreadRunInPollOnTheMainThreadInOrder) {
    auto record = std::make_shared<TRecord>();
    std::thread poster([record] {
        for (int64_t i = 0; i < 1000; ++i) ASSERT_TRUE(PostToMainThread(RecordCall, record, i));
    });
    poster.join();
    EXPECT_TRUE(record->values.empty());  // nothing runs until the main thread polls
    // Polling from another thread must not run them there.
    std::thread([] { PollSystemEvents(); EXPECT_EQ(RunPostedCalls(), 0); }).join();
    EXPECT_TRUE(record->values.empty());
    PollSystemEvents();
    ASSERT_EQ(record->values.size(), 1000u);
    for (int64_t i = 0; i < 1000; ++i) ASSERT_EQ(record->values[i], i);
    for (auto id : record->threads) ASSERT_EQ(id, std::this_thread::get_id());
    EXPECT_FALSE(PostedCallsPending());
}

void RecordPair(const Ref<TObject>& context, int64_t data) {
    static_cast<TRecord*>(context.get())->values.push_back(data);
}

TEST_F(MainThreadTest, ManyPostersWhileTheMainThreadPollsLoseNothingAndKeepEachThreadsOrder) {
    auto record = std::make_shared<TRecord>();
    constexpr int kThreads = 4, kPosts = 2000;
    std::atomic<int> done{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kPosts; ++i) PostToMainThread(RecordPair, record, int64_t{t} << 32 | i);
            ++done;
        });
    }
    while (done < kThreads) {
        PollSystemEvents();
        std::this_thread::yield();
    }
    for (auto& p : posters) p.join();
    PollSystemEvents();
    ASSERT_EQ(record->values.size(), static_cast<size_t>(kThreads * kPosts));
    std::vector<int64_t> next(kThreads, 0);
    for (int64_t v : record->values) {
        const int t = static_cast<int>(v >> 32);
        ASSERT_EQ(v & 0xFFFFFFFF, next[t]) << "thread " << t;
        ++next[t];
    }
}

void PostAgain(const Ref<TObject>& context, int64_t data) {
    RecordCall(context, data);
    PostToMainThread(PostAgain, context, data + 1);
}

TEST_F(MainThreadTest, ACallPostedByACallRunsAtTheNextPoll) {
    auto record = std::make_shared<TRecord>();
    PostToMainThread(PostAgain, record, 0);
    PollSystemEvents();
    EXPECT_EQ(record->values, (std::vector<int64_t>{0}));
    PollSystemEvents();
    EXPECT_EQ(record->values, (std::vector<int64_t>{0, 1}));
}

void Throw(const Ref<TObject>&, int64_t) { throw std::runtime_error("posted call failed"); }

TEST_F(MainThreadTest, AFailingCallLeavesTheLaterOnesQueuedAndThePumpUsable) {
    auto record = std::make_shared<TRecord>();
    PostToMainThread(RecordCall, record, 1);
    PostToMainThread(Throw, nullptr, 0);
    PostToMainThread(RecordCall, record, 2);
    EXPECT_THROW(PollSystemEvents(), std::runtime_error);
    EXPECT_FALSE(IsPumpingSystemEvents());
    EXPECT_EQ(record->values, (std::vector<int64_t>{1}));
    PollSystemEvents();
    EXPECT_EQ(record->values, (std::vector<int64_t>{1, 2}));
}

TEST_F(MainThreadTest, WaitBlocksUntilACallArrives) {
    auto record = std::make_shared<TRecord>();
    // A stale wake-up from an earlier post must not make the wait return early.
    PostToMainThread(RecordCall, record, 0);
    PollSystemEvents();
    std::thread poster([record] {
        SleepMillis(50);
        PostToMainThread(RecordCall, record, 1);
    });
    WaitSystemEvents();
    poster.join();
    EXPECT_EQ(record->values, (std::vector<int64_t>{0, 1}));
}

int64_t Square(int64_t x) { return x * x; }

// Records into storage that outlives it, and notes its own end.
struct TOuterRecord : TObject {
    explicit TOuterRecord(TRecord* into) : into(into) {}
    ~TOuterRecord() override { into->values.push_back(-1); }
    TRecord* into;
};

void RecordOuter(const Ref<TObject>& context, int64_t data) {
    auto* outer = static_cast<TOuterRecord*>(context.get());
    outer->into->values.push_back(data);
    outer->into->threads.push_back(std::this_thread::get_id());
}

TEST_F(MainThreadTest, AsyncCallHandsTheWorkersResultToTheMainThread) {
    TRecord results;
    ASSERT_TRUE(StartAsyncCall(Square, 12, RecordOuter, std::make_shared<TOuterRecord>(&results)));
    // The call keeps its context alive until it has run, and releases it afterwards.
    while (results.values.empty()) WaitSystemEvents();
    EXPECT_EQ(results.values, (std::vector<int64_t>{144, -1}));
    EXPECT_EQ(results.threads[0], std::this_thread::get_id());
}

// A driver that swaps itself out from inside its own Poll.
struct TSelfReplacingDriver : THeadlessSystemDriver {
    int* polls;
    explicit TSelfReplacingDriver(int* polls) : polls(polls) {}
    void Poll() override {
        ++*polls;
        SetSystemDriver(nullptr);
        THeadlessSystemDriver::Poll();  // still alive here
    }
};

TEST_F(MainThreadTest, ADriverReplacedDuringItsPollStaysAliveUntilItReturns) {
    int polls = 0;
    SetSystemDriver(std::make_shared<TSelfReplacingDriver>(&polls));
    PollSystemEvents();
    PollSystemEvents();
    EXPECT_EQ(polls, 1);
    EXPECT_NE(dynamic_cast<THeadlessSystemDriver*>(SystemDriver().get()), nullptr);
}

// --- Timers -------------------------------------------------------------------------------------------

using TimerTest = MainThreadTest;

TEST_F(TimerTest, PeriodIsTruncatedToWholeMilliseconds) {
    EXPECT_EQ(TimerPeriodMillis(30), 33);
    EXPECT_EQ(TimerPeriodMillis(60), 16);
    EXPECT_EQ(TimerPeriodMillis(1000), 1);
    EXPECT_EQ(TimerPeriodMillis(0.5f), 2000);
    for (float bad : {0.0f, -30.0f, 1001.0f, std::numeric_limits<float>::quiet_NaN(),
                      std::numeric_limits<float>::infinity()})
        EXPECT_EQ(TimerPeriodMillis(bad), 0) << bad;
    EXPECT_EQ(CreateTimer(0.0f), nullptr);
    EXPECT_EQ(CreateTimer(-1.0f), nullptr);
}

TEST_F(TimerTest, SixteenRunAtOnceAndASeventeenthIsRefused) {
    std::vector<Ref<TTimer>> timers;
    for (int i = 0; i < 16; ++i) {
        timers.push_back(CreateTimer(10.0f));
        ASSERT_NE(timers.back(), nullptr) << i;
    }
    EXPECT_EQ(CreateTimer(10.0f), nullptr);
    EXPECT_EQ(TimerModule().count, 16);
    // Stopping one frees its slot; the last entry moves into it.
    const int32_t last = TimerModule().ids[15];
    timers[3]->Stop();
    EXPECT_EQ(TimerModule().ids[3], last);
    auto again = CreateTimer(10.0f);
    ASSERT_NE(again, nullptr);
    for (auto& t : timers) EXPECT_NE(t->_handle, again->_handle);  // ids are not reused
    for (auto& t : timers) t->Stop();
    again->Stop();
    EXPECT_EQ(TimerModule().count, 0);
}

TEST_F(TimerTest, QueuedTicksOfAStoppedTimerAreDropped) {
    int tickEvents = 0;
    struct TCounter : TObject {
        int* n;
    };
    auto counter = std::make_shared<TCounter>();
    counter->n = &tickEvents;
    InstallHook(EventEmitHookId(), [](int32_t, const Ref<TObject>& data, const Ref<TObject>& c) -> Ref<TObject> {
        if (auto* e = dynamic_cast<TEvent*>(data.get()); e && e->id == EVENT_TIMERTICK)
            ++*static_cast<TCounter*>(c.get())->n;
        return data;
    }, counter, 0);
    auto timer = CreateTimer(200.0f);
    ASSERT_NE(timer, nullptr);
    std::weak_ptr<TTimer> watch = timer;
    while (!PostedCallsPending()) SleepMillis(1);
    SleepMillis(30);
    timer->Stop();
    EXPECT_TRUE(PostedCallsPending());
    PollSystemEvents();
    EXPECT_EQ(timer->Ticks(), 0);
    EXPECT_EQ(tickEvents, 0);
    // Stopped and drained, the timer is freed once its last owner lets go.
    timer.reset();
    EXPECT_TRUE(watch.expired());
}

struct TTickLog : TObject {
    std::vector<int32_t> data;
    std::vector<Ref<TObject>> sources;
    std::vector<std::thread::id> threads;
};

Ref<TObject> LogTicks(int32_t, const Ref<TObject>& data, const Ref<TObject>& context) {
    auto* e = dynamic_cast<TEvent*>(data.get());
    if (e && (e->id == EVENT_TIMERTICK || e->id < 0)) {
        auto* log = static_cast<TTickLog*>(context.get());
        log->data.push_back(e->id == EVENT_TIMERTICK ? e->data : -1);
        log->sources.push_back(e->source);
        log->threads.push_back(std::this_thread::get_id());
    }
    return data;
}

TEST_F(TimerTest, TicksAreAppliedOnTheMainThreadAsTimerTickEvents) {
    auto log = std::make_shared<TTickLog>();
    InstallHook(EventEmitHookId(), LogTicks, log, 0);
    auto timer = CreateTimer(100.0f);
    ASSERT_NE(timer, nullptr);
    int32_t total = 0;
    while (total < 3) total += timer->Wait();
    timer->Stop();
    ASSERT_EQ(log->data.size(), static_cast<size_t>(total));
    for (int32_t i = 0; i < total; ++i) {
        EXPECT_EQ(log->data[i], i + 1);
        EXPECT_EQ(log->sources[i], timer);
        EXPECT_EQ(log->threads[i], std::this_thread::get_id());
    }
    // With an event of its own, the timer emits that one instead.
    log->data.clear();
    auto mine = TEvent::Create(TEvent::AllocUserId(), nullptr, 0, 0, 0, 0, nullptr);
    auto second = CreateTimer(100.0f, mine);
    ASSERT_NE(second, nullptr);
    EXPECT_GE(second->Wait(), 1);
    second->Stop();
    ASSERT_FALSE(log->data.empty());
    for (int32_t d : log->data) EXPECT_EQ(d, -1);
}

TEST_F(TimerTest, WaitAfterABusySpellReturnsTheMissedTicksAtOnce) {
    auto timer = CreateTimer(30.0f);
    ASSERT_NE(timer, nullptr);
    // Busy, no polling: ticks at 33, 66, 99 and 132 ms queue up (the margin allows for a loaded
    // machine starving the timer thread for a while).
    SleepMillis(150);
    const int32_t n = timer->Wait();
    EXPECT_GE(n, 3);
    EXPECT_LE(n, 5);
    EXPECT_EQ(timer->Ticks(), n);
    EXPECT_GE(timer->Wait(), 1);  // and the next one blocks for the next tick
    timer->Stop();
}

TEST_F(TimerTest, WaitAfterASlowFrameThatPolledStillWaitsForTheNextTick) {
    auto timer = CreateTimer(30.0f);
    ASSERT_NE(timer, nullptr);
    // A slow frame that pumps events itself: its ticks are applied before the frame's Wait.
    while (timer->Ticks() < 2) {
        SleepMillis(40);
        PollSystemEvents();
    }
    const int32_t applied = timer->Ticks();
    // The wait must not return on the ticks already applied; it blocks for a fresh one.
    const int32_t n = timer->Wait();
    EXPECT_GT(timer->Ticks(), applied);
    EXPECT_EQ(n, timer->Ticks());
    timer->Stop();
}

TEST_F(TimerTest, StoppedTimersDoNothing) {
    auto timer = CreateTimer(1.0f);
    ASSERT_NE(timer, nullptr);
    timer->Stop();
    timer->Stop();
    EXPECT_EQ(timer->Wait(), 0);
    timer->Fire();
    EXPECT_EQ(timer->Ticks(), 0);
    EXPECT_EQ(timer->_cycle, nullptr);
    EXPECT_EQ(WaitTimer(nullptr), 0);
    EXPECT_EQ(TimerTicks(nullptr), 0);
    StopTimer(nullptr);
}

void StopIt(const Ref<TObject>& context, int64_t) { static_cast<TTimer*>(context.get())->Stop(); }

TEST_F(TimerTest, WaitEndsWhenTheTimerIsStoppedMeanwhile) {
    auto timer = CreateTimer(0.5f);  // no tick for two seconds
    ASSERT_NE(timer, nullptr);
    std::thread([timer] {
        SleepMillis(20);
        PostToMainThread(StopIt, timer, 0);
    }).detach();
    EXPECT_EQ(timer->Wait(), 0);
    EXPECT_EQ(timer->_handle, 0);
}

Ref<TObject> WaitInsideThePump(int32_t, const Ref<TObject>& data, const Ref<TObject>& context) {
    auto* e = dynamic_cast<TEvent*>(data.get());
    if (e && e->id == EVENT_TIMERTICK) static_cast<TTickLog*>(context.get())->data.push_back(
        static_cast<TTimer*>(e->source.get())->Wait());
    return data;
}

TEST_F(TimerTest, WaitInsideThePumpReturnsWhatIsThereInsteadOfHanging) {
    auto log = std::make_shared<TTickLog>();
    InstallHook(EventEmitHookId(), WaitInsideThePump, log, 0);
    auto timer = CreateTimer(100.0f);
    ASSERT_NE(timer, nullptr);
    while (log->data.size() < 2) WaitSystemEvents();
    timer->Stop();
    EXPECT_EQ(log->data[0], 1);  // the tick being fired
    EXPECT_EQ(log->data[1], 1);
}

}  // namespace
}  // namespace corvex
