#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include <corvex/system/clock.h>
#include <corvex/system/event.h>
#include <corvex/system/hook.h>
#include <corvex/system/input.h>
#include <corvex/system/mainthread.h>
#include <corvex/system/system.h>
#include "system/test_support.h"
#include "system/input_module.h"

namespace corvex {
namespace {

void Send(int32_t id, int32_t data = 0, int32_t x = 0, int32_t y = 0, Ref<TObject> source = nullptr) {
    TEvent::Create(id, std::move(source), data, 0, x, y, nullptr)->Emit();
}

class PolledInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ResetSystemModules();
        StartPolledInput(nullptr);
    }
    void TearDown() override { test::ResetSystemModules(); }
};

TEST_F(PolledInputTest, HitsCountPressesSinceTheLastAsk) {
    for (int i = 0; i < 3; ++i) {
        Send(EVENT_KEYDOWN, 32);
        Send(EVENT_KEYUP, 32);
    }
    EXPECT_EQ(KeyHits(32), 3);
    EXPECT_EQ(KeyHits(32), 0);
    Send(EVENT_MOUSEDOWN, 1);
    Send(EVENT_MOUSEUP, 1);
    Send(EVENT_MOUSEDOWN, 1);
    EXPECT_EQ(MouseHits(1), 2);
    EXPECT_EQ(MouseHits(1), 0);
    EXPECT_EQ(IsMouseDown(1), 1);
}

TEST_F(PolledInputTest, FlushKeysForgetsHitsAndTypingButNotHeldKeys) {
    Send(EVENT_KEYDOWN, 32);
    Send(EVENT_KEYUP, 32);
    Send(EVENT_KEYDOWN, 65);
    Send(EVENT_KEYCHAR, 'a');
    FlushKeys();
    EXPECT_EQ(KeyHits(32), 0);
    EXPECT_EQ(KeyHits(65), 0);
    EXPECT_EQ(NextChar(), 0);
    EXPECT_EQ(IsKeyDown(65), 1) << "still held";
    Send(EVENT_KEYDOWN, 65);  // held: no new hit after the flush either
    EXPECT_EQ(KeyHits(65), 0);
}

TEST_F(PolledInputTest, AHeldKeyCountsOnce) {
    Send(EVENT_KEYDOWN, 65);
    for (int i = 0; i < 20; ++i) {
        Send(EVENT_KEYREPEAT, 65);
        Send(EVENT_KEYDOWN, 65);  // some layers repeat with further key-downs
        ASSERT_EQ(IsKeyDown(65), 1);
    }
    EXPECT_EQ(KeyHits(65), 1);
    Send(EVENT_KEYUP, 65);
    EXPECT_EQ(IsKeyDown(65), 0);
    Send(EVENT_MOUSEDOWN, 3);
    Send(EVENT_MOUSEDOWN, 3);
    EXPECT_EQ(MouseHits(3), 1);
    EXPECT_EQ(MouseHits(2), 0);
}

TEST_F(PolledInputTest, SuspendAndResumeClearEverything) {
    Send(EVENT_KEYDOWN, 27);
    Send(EVENT_KEYCHAR, 'q');
    Send(EVENT_MOUSEDOWN, 2);
    Send(EVENT_MOUSEWHEEL, 4);
    Send(EVENT_MOUSEMOVE, 0, 10, 20);
    Send(EVENT_APPSUSPEND);
    EXPECT_EQ(IsAppSuspended(), 1);
    EXPECT_EQ(IsKeyDown(27), 0);
    EXPECT_EQ(KeyHits(27), 0);
    EXPECT_EQ(NextChar(), 0);
    EXPECT_EQ(IsMouseDown(2), 0);
    EXPECT_EQ(MouseHits(2), 0);
    EXPECT_EQ(MouseWheelPos(), 0);
    EXPECT_EQ(MousePosX(), 10);
    Send(EVENT_KEYDOWN, 27);
    Send(EVENT_APPRESUME);
    EXPECT_EQ(IsAppSuspended(), 0);
    EXPECT_EQ(IsKeyDown(27), 0);
    EXPECT_EQ(KeyHits(27), 0);
}

TEST_F(PolledInputTest, TerminateRequestIsTakenOnce) {
    EXPECT_EQ(TerminateRequested(), 0);
    Send(EVENT_APPTERMINATE);
    Send(EVENT_APPTERMINATE);
    EXPECT_EQ(TerminateRequested(), 1);
    EXPECT_EQ(TerminateRequested(), 0);
}

TEST_F(PolledInputTest, CharacterQueueKeepsTheFirst256) {
    for (int32_t c = 1; c <= 300; ++c) Send(EVENT_KEYCHAR, c);
    for (int32_t c = 1; c <= 256; ++c) ASSERT_EQ(NextChar(), c);
    EXPECT_EQ(NextChar(), 0);
    // The ring wraps: counters run past 256 and the order holds.
    for (int round = 0; round < 3; ++round) {
        for (int32_t c = 0; c < 200; ++c) Send(EVENT_KEYCHAR, 1000 + round * 200 + c);
        for (int32_t c = 0; c < 200; ++c) ASSERT_EQ(NextChar(), 1000 + round * 200 + c);
    }
    EXPECT_EQ(NextChar(), 0);
    Send(EVENT_KEYCHAR, 'x');
    ClearKeys();
    EXPECT_EQ(NextChar(), 0);
}

TEST_F(PolledInputTest, WheelSumsUntilClearMouseWhichKeepsThePosition) {
    Send(EVENT_MOUSEMOVE, 0, 123, -45);
    Send(EVENT_MOUSEWHEEL, 1);
    Send(EVENT_MOUSEWHEEL, 1);
    Send(EVENT_MOUSEWHEEL, -1);
    EXPECT_EQ(MouseWheelPos(), 1);
    Send(EVENT_MOUSEDOWN, 1);
    ClearMouse();
    EXPECT_EQ(MouseWheelPos(), 0);
    EXPECT_EQ(IsMouseDown(1), 0);
    EXPECT_EQ(MouseHits(1), 0);
    EXPECT_EQ(MousePosX(), 123);
    EXPECT_EQ(MousePosY(), -45);
}

TEST_F(PolledInputTest, OutOfRangeCodesAndButtonsAreIgnored) {
    for (int32_t bad : {-1, 256, 1000, INT32_MIN, INT32_MAX}) {
        Send(EVENT_KEYDOWN, bad);
        Send(EVENT_KEYUP, bad);
        Send(EVENT_MOUSEDOWN, bad);
        Send(EVENT_MOUSEUP, bad);
        EXPECT_EQ(IsKeyDown(bad), 0);
        EXPECT_EQ(KeyHits(bad), 0);
        EXPECT_EQ(IsMouseDown(bad), 0);
        EXPECT_EQ(MouseHits(bad), 0);
    }
    for (int32_t bad : {4, 5}) {
        Send(EVENT_MOUSEDOWN, bad);
        EXPECT_EQ(IsMouseDown(bad), 0);
    }
    // The edges of the tables still work.
    Send(EVENT_KEYDOWN, 255);
    Send(EVENT_KEYDOWN, 0);
    Send(EVENT_MOUSEDOWN, 0);
    EXPECT_EQ(IsKeyDown(255), 1);
    EXPECT_EQ(IsKeyDown(0), 1);
    EXPECT_EQ(IsMouseDown(0), 1);
    for (int32_t key = 1; key < 255; ++key) ASSERT_EQ(IsKeyDown(key), 0) << key;
}

TEST_F(PolledInputTest, StartTwiceKeepsTheFirstSourceAndStopClears) {
    auto mine = std::make_shared<TObject>();
    auto other = std::make_shared<TObject>();
    StopPolledInput();
    StopPolledInput();  // not started: nothing
    StartPolledInput(mine);
    StartPolledInput(other);
    Send(EVENT_KEYDOWN, 10, 0, 0, other);
    Send(EVENT_KEYDOWN, 11, 0, 0, nullptr);
    Send(EVENT_KEYDOWN, 12, 0, 0, mine);
    EXPECT_EQ(IsKeyDown(10), 0);
    EXPECT_EQ(IsKeyDown(11), 0);
    EXPECT_EQ(IsKeyDown(12), 1);
    StopPolledInput();
    EXPECT_EQ(IsKeyDown(12), 0);
    Send(EVENT_KEYDOWN, 13, 0, 0, mine);
    EXPECT_EQ(IsKeyDown(13), 0);  // off: events no longer count
    EXPECT_EQ(PolledInputModule().source, nullptr);
}

TEST_F(PolledInputTest, OtherObjectsOnTheChainPassUntouched) {
    auto plain = std::make_shared<TObject>();
    EXPECT_EQ(RunHookChain(EventEmitHookId(), plain), plain);
    EXPECT_EQ(RunHookChain(EventEmitHookId(), nullptr), nullptr);
}

// --- Queries drain pending messages first -----------------------------------------------------------

void EmitKey(const Ref<TObject>&, int64_t key) { Send(EVENT_KEYDOWN, static_cast<int32_t>(key)); }

TEST_F(PolledInputTest, AQuerySeesEveryMessagePostedBeforeIt) {
    for (int round = 0; round < 200; ++round) {
        const int32_t key = 1 + round % 250;
        std::thread poster([key] { PostToMainThread(EmitKey, nullptr, key); });
        poster.join();
        ASSERT_EQ(IsKeyDown(key), 1) << round;
        Send(EVENT_KEYUP, key);
        ASSERT_EQ(KeyHits(key), 1);
    }
}

std::vector<std::string>* g_order = nullptr;

Ref<TObject> QueryingHook(int32_t, const Ref<TObject>& data, const Ref<TObject>&) {
    // A query inside the pump must not recurse into it and run the next posted call early.
    g_order->push_back("hook-in");
    IsKeyDown(1);
    ClearMouse();
    g_order->push_back("hook-out");
    return data;
}

void Step(const Ref<TObject>&, int64_t n) {
    g_order->push_back("call" + std::to_string(n));
    Send(EVENT_KEYDOWN, 1);
}

TEST_F(PolledInputTest, QueriesInsideThePumpDoNotRecurse) {
    std::vector<std::string> order;
    g_order = &order;
    InstallHook(EventEmitHookId(), QueryingHook, nullptr, 5);
    PostToMainThread(Step, nullptr, 1);
    PostToMainThread(Step, nullptr, 2);
    PollSystemEvents();
    EXPECT_EQ(order, (std::vector<std::string>{"call1", "hook-in", "hook-out", "call2", "hook-in", "hook-out"}));
    g_order = nullptr;
}

// A poller's events are seen by the query that drained them, and a poller that queries does not
// recurse into the pump.
int g_pollerRuns = 0;
void KeyPoller(void*) {
    ++g_pollerRuns;
    Send(EVENT_KEYDOWN, 70);
    (void)IsKeyDown(70);
}

TEST_F(PolledInputTest, PollersRunOnceWithEveryDrainUntilRemoved) {
    g_pollerRuns = 0;
    AddSystemPoller(KeyPoller);
    AddSystemPoller(KeyPoller);
    EXPECT_EQ(KeyHits(70), 1);
    EXPECT_EQ(g_pollerRuns, 1);
    RemoveSystemPoller(KeyPoller);
    EXPECT_EQ(KeyHits(70), 0);
    EXPECT_EQ(g_pollerRuns, 1);
}

// --- Waiting ------------------------------------------------------------------------------------------

void EmitAfter(int32_t id, int32_t data) {
    std::thread([id, data] {
        SleepMillis(20);
        PostToMainThread([](const Ref<TObject>& c, int64_t d) { Send(static_cast<int32_t>(d >> 32), static_cast<int32_t>(d)); (void)c; },
                         nullptr, (static_cast<int64_t>(id) << 32) | static_cast<uint32_t>(data));
    }).detach();
}

TEST_F(PolledInputTest, WaitsReturnWhatArrives) {
    Send(EVENT_KEYDOWN, 5);  // hit before the wait: cleared, not reported
    EmitAfter(EVENT_KEYDOWN, 70);
    EXPECT_EQ(WaitForKey(), 70);
    EmitAfter(EVENT_KEYCHAR, 'z');
    EXPECT_EQ(WaitForChar(), 'z');
    EmitAfter(EVENT_MOUSEDOWN, 2);
    EXPECT_EQ(WaitForMouse(), 2);
}

Ref<TObject> WaitingHook(int32_t, const Ref<TObject>& data, const Ref<TObject>&) {
    g_order->push_back(std::to_string(WaitForKey()) + std::to_string(WaitForChar()) + std::to_string(WaitForMouse()));
    return data;
}

TEST_F(PolledInputTest, WaitsInsideThePumpGiveUpInsteadOfHanging) {
    std::vector<std::string> order;
    g_order = &order;
    InstallHook(EventEmitHookId(), WaitingHook, nullptr, 0);
    PostToMainThread(EmitKey, nullptr, 9);
    PollSystemEvents();
    EXPECT_EQ(order, (std::vector<std::string>{"000"}));
    g_order = nullptr;
}

}  // namespace
}  // namespace corvex
