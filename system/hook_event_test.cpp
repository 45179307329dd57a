#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <corvex/runtime/exception.h>
#include <corvex/runtime/module.h>
#include <corvex/system/event.h>
#include <corvex/system/hook.h>
#include "system/test_support.h"
#include "system/hook_module.h"

namespace corvex {
namespace {

// A context that records which hook ran, in order.
struct TTrace : TObject {
    explicit TTrace(std::string name, std::vector<std::string>* log) : name(std::move(name)), log(log) {}
    std::string name;
    std::vector<std::string>* log;
};

Ref<TObject> Record(int32_t, const Ref<TObject>& data, const Ref<TObject>& context) {
    auto* trace = static_cast<TTrace*>(context.get());
    trace->log->push_back(trace->name);
    return data;
}

class HookTest : public ::testing::Test {
protected:
    void SetUp() override { test::ResetSystemModules(); }
    void TearDown() override { test::ResetSystemModules(); }
    Ref<TObject> Trace(const char* name) { return std::make_shared<TTrace>(name, &log); }
    std::vector<std::string> log;
};

TEST_F(HookTest, HigherPriorityFirstThenInstallationOrder) {
    const int32_t id = NewHookId();
    InstallHook(id, Record, Trace("a0"), 0);
    InstallHook(id, Record, Trace("b0"), 0);
    InstallHook(id, Record, Trace("c1"), 1);
    InstallHook(id, Record, Trace("d-1"), -1);
    InstallHook(id, Record, Trace("e1"), 1);
    InstallHook(id, Record, Trace("f0"), 0);
    RunHookChain(id, nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"c1", "e1", "a0", "b0", "f0", "d-1"}));
}

TEST_F(HookTest, UninstallRemovesTheFirstMatchOfFunctionAndContext) {
    const int32_t id = NewHookId();
    Ref<TObject> x = Trace("x"), y = Trace("y");
    InstallHook(id, Record, x, 0);
    InstallHook(id, Record, y, 0);
    InstallHook(id, Record, x, 0);
    UninstallHook(id, Record, x);
    UninstallHook(id, Record, Trace("stranger"));  // no match: nothing happens
    RunHookChain(id, nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"y", "x"}));
    UninstallHook(id, Record, x);
    UninstallHook(id, Record, y);
    UninstallHook(id, Record, y);
    log.clear();
    RunHookChain(id, nullptr);
    EXPECT_TRUE(log.empty());
}

Ref<TObject> Replace(int32_t, const Ref<TObject>&, const Ref<TObject>& context) { return context; }
Ref<TObject> ReturnNull(int32_t, const Ref<TObject>&, const Ref<TObject>&) { return nullptr; }
Ref<TObject> SeenData(int32_t, const Ref<TObject>& data, const Ref<TObject>& context) {
    static_cast<TTrace*>(context.get())->log->push_back(data ? "data" : "null");
    return data;
}

TEST_F(HookTest, EachHookReceivesWhatThePreviousReturned) {
    const int32_t id = NewHookId();
    auto input = std::make_shared<TObject>();
    EXPECT_EQ(RunHookChain(id, input), input);  // empty chain: the input comes back
    auto replacement = std::make_shared<TObject>();
    InstallHook(id, Replace, replacement, 3);
    InstallHook(id, SeenData, Trace("t"), 2);
    InstallHook(id, ReturnNull, nullptr, 1);
    InstallHook(id, SeenData, Trace("t"), 0);
    EXPECT_EQ(RunHookChain(id, input), nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"data", "null"}));
}

Ref<TObject> RemoveSelf(int32_t id, const Ref<TObject>& data, const Ref<TObject>& context) {
    Record(id, data, context);
    UninstallHook(id, RemoveSelf, context);
    return data;
}

TEST_F(HookTest, AHookMayUninstallItselfWhileTheChainRuns) {
    const int32_t id = NewHookId();
    Ref<TObject> self = Trace("self");
    InstallHook(id, RemoveSelf, self, 1);
    InstallHook(id, Record, Trace("next"), 0);
    self.reset();  // the chain holds the only reference
    RunHookChain(id, nullptr);
    RunHookChain(id, nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"self", "next", "next"}));
}

TEST_F(HookTest, IdsRunOutAfter256) {
    HookModule().Reset();
    for (int32_t expected = 0; expected < 256; ++expected) ASSERT_EQ(NewHookId(), expected);
    for (int i = 0; i < 2; ++i) {
        try {
            NewHookId();
            FAIL() << "a 257th hook id was handed out";
        } catch (const TRuntimeException& e) {
            EXPECT_EQ(e.ToString(), u"Too many hook ids");
        }
    }
}

TEST_F(HookTest, IdsOutsideTheTableAreRefused) {
    EXPECT_THROW(InstallHook(256, Record, nullptr, 0), TRuntimeException);
    EXPECT_THROW(InstallHook(-1, Record, nullptr, 0), TRuntimeException);
    EXPECT_THROW(UninstallHook(1000, Record, nullptr), TRuntimeException);
    auto data = std::make_shared<TObject>();
    EXPECT_EQ(RunHookChain(-7, data), data);
    EXPECT_EQ(RunHookChain(256, data), data);
}

// --- Events ---------------------------------------------------------------------------------------

using EventTest = HookTest;

TEST_F(EventTest, ToStringToTheCharacter) {
    EXPECT_EQ(TEvent::Create(EVENT_KEYDOWN, nullptr, 65, 0, 0, 0, nullptr)->ToString(),
              u"KeyDown: data=65, mods=0, x=0, y=0, extra=\"\"");
    EXPECT_EQ(TEvent::Create(EVENT_MOUSEMOVE, nullptr, -2, 3, -40, 600, std::make_shared<TStringObject>(u"hi"))
                  ->ToString(),
              u"MouseMove: data=-2, mods=3, x=-40, y=600, extra=\"hi\"");
    // Extra that is not a string shows as nothing between the quotes.
    EXPECT_EQ(TEvent::Create(EVENT_TIMERTICK, nullptr, 1, 0, 0, 0, std::make_shared<TObject>())->ToString(),
              u"TimerTick: data=1, mods=0, x=0, y=0, extra=\"\"");
    EXPECT_EQ(TEvent::Create(7, nullptr, 0, 0, 0, 0, nullptr)->ToString(),
              u"Unknown Event, id=7: data=0, mods=0, x=0, y=0, extra=\"\"");
}

TEST_F(EventTest, NamesOfEveryKindAndOfUserAndUnknownIds) {
    const std::pair<int32_t, const char16_t*> names[] = {
        {0x101, u"AppSuspend"},    {0x102, u"AppResume"},     {0x103, u"AppTerminate"},
        {0x104, u"AppOpenFile"},   {0x105, u"AppIdle"},       {0x201, u"KeyDown"},
        {0x202, u"KeyUp"},         {0x203, u"KeyChar"},       {0x204, u"KeyRepeat"},
        {0x401, u"MouseDown"},     {0x402, u"MouseUp"},       {0x403, u"MouseMove"},
        {0x404, u"MouseWheel"},    {0x405, u"MouseEnter"},    {0x406, u"MouseLeave"},
        {0x801, u"TimerTick"},     {0x1001, u"HotkeyHit"},    {0x2001, u"GadgetAction"},
        {0x2002, u"GadgetPaint"},  {0x2003, u"GadgetSelect"}, {0x2004, u"GadgetMenu"},
        {0x2005, u"GadgetOpen"},   {0x2006, u"GadgetClose"},  {0x2007, u"GadgetDone"},
        {0x2008, u"GadgetLostFocus"}, {0x2009, u"GadgetShape"}, {0x4001, u"WindowMove"},
        {0x4002, u"WindowSize"},   {0x4003, u"WindowClose"},  {0x4004, u"WindowActivate"},
        {0x4005, u"WindowAccept"}, {0x8001, u"MenuAction"},   {0x10001, u"StreamEof"},
        {0x10002, u"StreamAvail"}, {0x20001, u"ProcessExit"},
    };
    for (const auto& [id, name] : names) EXPECT_EQ(EventName(id), name) << id;
    EXPECT_EQ(EventName(static_cast<int32_t>(0x80000001u)), u"UserEvent1");
    EXPECT_EQ(EventName(static_cast<int32_t>(0x80000000u)), u"UserEvent0");
    EXPECT_EQ(EventName(static_cast<int32_t>(0xFFFFFFFFu)), u"UserEvent2147483647");
    EXPECT_EQ(EventName(0x106), u"Unknown Event, id=262");
    EXPECT_EQ(EventName(0), u"Unknown Event, id=0");
}

TEST_F(EventTest, UserIdsCountFrom0x80000001) {
    EXPECT_EQ(static_cast<uint32_t>(TEvent::AllocUserId()), 0x80000001u);
    EXPECT_EQ(static_cast<uint32_t>(TEvent::AllocUserId()), 0x80000002u);
    EXPECT_EQ(TEvent::Create(TEvent::AllocUserId(), nullptr, 0, 0, 0, 0, nullptr)->ToString(),
              u"UserEvent3: data=0, mods=0, x=0, y=0, extra=\"\"");
}

Ref<TObject> Capture(int32_t, const Ref<TObject>& data, const Ref<TObject>& context) {
    static_cast<TTrace*>(context.get())->log->push_back(std::to_string(reinterpret_cast<uintptr_t>(data.get())));
    return data;
}

TEST_F(EventTest, EmitRunsTheEventChainWithTheEventItself) {
    InstallHook(EventEmitHookId(), Capture, Trace("emit"), 0);
    auto event = TEvent::Create(EVENT_KEYUP, nullptr, 27, 0, 0, 0, nullptr);
    event->Emit();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], std::to_string(reinterpret_cast<uintptr_t>(event.get())));
    // An event on the stack is sent as an owned copy, so hooks may keep what they get.
    TEvent local;
    local.id = EVENT_KEYUP;
    local.Emit();
    EXPECT_EQ(log.size(), 2u);
}

TEST(SystemModulesTest, StartInTheFixedOrder) {
    StartSystemModule();
    std::vector<std::string> mine;
    for (const auto& name : StartedModules()) {
        if (name == "hook" || name == "event" || name == "system" || name == "polledinput" || name == "timer")
            mine.push_back(name);
    }
    EXPECT_EQ(mine, (std::vector<std::string>{"hook", "event", "system", "polledinput", "timer"}));
}

}  // namespace
}  // namespace corvex
