// The Win32 process layer: posted calls travel as thread message 0x7001 and run whichever loop
// removes it (a modal loop's included); the process entry's signals, exception filter and paths.
#include <gtest/gtest.h>

#include <windows.h>

#include <csignal>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include <corvex/system/clock.h>
#include <corvex/system/entry.h>
#include <corvex/system/mainthread.h>
#include <corvex/system/system.h>
#include <corvex/system/timer.h>
#include "system/message_pump_win32.h"
#include "system/test_support.h"

namespace corvex {
namespace {

using test::RunInChild;

class Win32PumpTest : public ::testing::Test {
protected:
    void SetUp() override { test::ResetSystemModules(); }
    void TearDown() override { test::ResetSystemModules(); }
};

struct TCount : TObject {
    int calls = 0;
    DWORD thread = 0;
};

void Count(const Ref<TObject>& context, int64_t) {
    auto* c = static_cast<TCount*>(context.get());
    ++c->calls;
    c->thread = GetCurrentThreadId();
}

TEST_F(Win32PumpTest, APostIsAThreadMessage0x7001AndRemovingItRunsTheCall) {
    auto count = std::make_shared<TCount>();
    std::thread([count] { PostToMainThread(Count, count, 0); }).join();
    MSG msg{};
    // Looked at without removing: the message is there, for the thread, and nothing ran yet.
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, kPostedCallMessage, kPostedCallMessage, PM_NOREMOVE));
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(count->calls, 0);
    // Any loop that removes it runs the call, on this thread.
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, kPostedCallMessage, kPostedCallMessage, PM_REMOVE));
    EXPECT_EQ(count->calls, 1);
    EXPECT_EQ(count->thread, GetCurrentThreadId());
    PollSystemEvents();
    EXPECT_EQ(count->calls, 1);  // run once, not again by the pump
}

TEST_F(Win32PumpTest, TimerTicksArriveWhileAForeignMessageLoopRuns) {
    // A message box or a file dialog runs its own loop; ticks must not wait for it to end.
    Ref<TTimer> timer = CreateTimer(100.0f, nullptr);
    ASSERT_TRUE(timer);
    const int32_t start = CurrentMillis();
    MSG msg;
    while (CurrentMillis() - start < 300) {
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0) break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    EXPECT_GE(TimerTicks(timer), 10);
    StopTimer(timer);
}

TEST_F(Win32PumpTest, WaitSleepsUntilAPostThenRunsIt) {
    auto count = std::make_shared<TCount>();
    std::thread poster([count] {
        Sleep(50);
        PostToMainThread(Count, count, 0);
    });
    const int32_t start = CurrentMillis();
    while (count->calls == 0 && CurrentMillis() - start < 5000) WaitSystemEvents();
    poster.join();
    EXPECT_EQ(count->calls, 1);
    EXPECT_GE(CurrentMillis() - start, 40);
}

// ---- Process entry

int RunProgram(const std::function<void()>& body) {
    static char arg0[] = "prog";
    char* argv[] = {arg0, nullptr};
    return RunApplication(1, argv, body);
}

TEST(Win32EntryTest, SignalsPrintTheirNumberAndEndWithMinusOne) {
    for (int signo : {SIGSEGV, SIGILL, SIGABRT, SIGTERM}) {
        auto result = RunInChild([signo] { std::exit(RunProgram([signo] { std::raise(signo); })); });
        EXPECT_EQ(result.exitCode, 255) << signo;
        EXPECT_EQ(result.out, "signal!:" + std::to_string(signo) + "\n");
        EXPECT_EQ(result.err, "Received Signal\n");
    }
    auto result = RunInChild([] { std::exit(RunProgram([] { std::abort(); })); });
    EXPECT_EQ(result.out, "signal!:" + std::to_string(SIGABRT) + "\n");
    EXPECT_EQ(result.exitCode, 255);
}

TEST(Win32EntryTest, HardwareFaultsAreSignalsAndOtherExceptionsEndInTheFilter) {
    // The runtime turns an access violation into SIGSEGV.
    auto result = RunInChild([] {
        std::exit(RunProgram([] {
            volatile uintptr_t address = 0;  // a null pointer the compiler cannot see
            *reinterpret_cast<volatile int*>(address) = 1;
        }));
    });
    EXPECT_EQ(result.exitCode, 255);
    EXPECT_EQ(result.out, "signal!:" + std::to_string(SIGSEGV) + "\n");
    // An exception no handler knows reaches the unhandled-exception filter.
    result = RunInChild([] { std::exit(RunProgram([] { RaiseException(0xE0C0FFEE, 0, 0, nullptr); })); });
    EXPECT_EQ(result.exitCode, 255);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Unhandled Memory Exception Error\n");
}

TEST(Win32EntryTest, PathsUseSlashesAndTheProgramRunsInItsOwnFolder) {
    auto result = RunInChild([] {
        SetCurrentDirectoryW(L"C:\\windows");
        std::exit(RunProgram([] {
            wchar_t cwd[MAX_PATH];
            GetCurrentDirectoryW(MAX_PATH, cwd);
            std::wstring w(cwd);
            std::printf("cwd=%s\n", ToUtf8(TString(w.begin(), w.end())).c_str());
            std::printf("dir=%s\n", ToUtf8(ApplicationDir()).c_str());
            std::printf("file=%s\n", ToUtf8(ApplicationFile()).c_str());
            std::printf("launch=%s\n", ToUtf8(LaunchDir()).c_str());
        }));
    });
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring file(self);
    for (auto& c : file) c = c == L'\\' ? L'/' : c;
    const std::string fileUtf8 = ToUtf8(TString(file.begin(), file.end()));
    const std::string dir = fileUtf8.substr(0, fileUtf8.rfind('/'));
    std::string dirBackslashed = dir;
    for (auto& c : dirBackslashed) c = c == '/' ? '\\' : c;
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "cwd=" + dirBackslashed + "\ndir=" + dir + "\nfile=" + fileUtf8 + "\nlaunch=C:/windows\n");
}

TEST(Win32EntryTest, AProgramInADriveRootKeepsTheSlash) {
    EXPECT_EQ(DirectoryOf(u"C:/game.exe"), u"C:/");
    EXPECT_EQ(DirectoryOf(u"C:/games/game.exe"), u"C:/games");
    EXPECT_EQ(DirectoryOf(u"game.exe"), u"");
}

}  // namespace
}  // namespace corvex
