#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <corvex/runtime/exception.h>
#include <corvex/system/entry.h>
#include <corvex/system/hook.h>
#include <corvex/system/system.h>
#include "system/test_support.h"
#include "system/hook_module.h"

namespace corvex {
namespace {

using test::RunInChild;

std::string SelfDir() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string self(path, n > 0 ? static_cast<size_t>(n) : 0);
    return self.substr(0, self.rfind('/'));
}

int RunProgram(const std::function<void()>& body) {
    static char arg0[] = "prog";
    static char arg1[] = "--flag";
    static char arg2[] = "two words";
    char* argv[] = {arg0, arg1, arg2, nullptr};
    return RunApplication(3, argv, body);
}

TEST(EntryTest, BodyReturningExitsZeroAfterExitHandlersNewestFirst) {
    auto result = RunInChild([] {
        std::exit(RunProgram([] {
            AddExitHandler([] { std::printf("first\n"); });
            AddExitHandler([] { std::printf("second\n"); });
            std::printf("body\n");
        }));
    });
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "body\nsecond\nfirst\n");
    EXPECT_EQ(result.err, "");
}

TEST(EntryTest, UncaughtErrorPrintsItsTextAndExitsMinusOne) {
    auto result = RunInChild([] {
        std::exit(RunProgram([] {
            AddExitHandler([] { std::printf("handler ran\n"); });
            throw TRuntimeException("Unable to calculate tex size");
        }));
    });
    EXPECT_EQ(result.exitCode, 255);
    EXPECT_EQ(result.err, "Unable to calculate tex size\n");
    EXPECT_EQ(result.out, "handler ran\n");

    result = RunInChild([] {
        std::exit(RunProgram([] {
            HookModule().Reset();
            for (;;) NewHookId();
        }));
    });
    EXPECT_EQ(result.exitCode, 255);
    EXPECT_EQ(result.err, "Too many hook ids\n");
}

TEST(EntryTest, AFailingExitHandlerDoesNotStopTheOthers) {
    auto result = RunInChild([] {
        std::exit(RunProgram([] {
            AddExitHandler([] { std::printf("older\n"); });
            AddExitHandler([] { throw TRuntimeException("handler failed"); });
        }));
    });
    EXPECT_EQ(result.exitCode, 255);
    EXPECT_EQ(result.out, "older\n");
    EXPECT_EQ(result.err, "handler failed\n");
}

TEST(EntryTest, ExitHandlersAlsoRunOnExit) {
    auto result = RunInChild([] {
        AddExitHandler([] { std::printf("a\n"); });
        AddExitHandler([] { std::printf("b\n"); });
        std::exit(3);
    });
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out, "b\na\n");
}

// Module state made after the first handler was added (as the graphics module's is, after the
// timer's) is still there when exit() runs the handler that closes it.
bool g_stateAlive = false;
struct TLateState {
    TLateState() { g_stateAlive = true; }
    ~TLateState() { g_stateAlive = false; }
};
TLateState& LateState() {
    static TLateState state;
    return state;
}

TEST(EntryTest, ExitRunsHandlersBeforeTheStateTheyUseIsDestroyed) {
    auto result = RunInChild([] {
        AddExitHandler([] { std::printf("first\n"); });
        LateState();
        AddExitHandler([] { std::printf(g_stateAlive ? "state alive\n" : "state gone\n"); });
        std::exit(4);
    });
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_EQ(result.out, "state alive\nfirst\n");
}

TEST(EntryTest, SignalsPrintTheirNumberAndEndWithMinusOne) {
    for (int signo : {SIGSEGV, SIGILL, SIGABRT, SIGTERM}) {
        auto result = RunInChild([signo] {
            std::exit(RunProgram([signo] {
                AddExitHandler([] { std::printf("must not run from a signal handler\n"); });
                raise(signo);
            }));
        });
        EXPECT_EQ(result.exitCode, 255) << signo;
        EXPECT_EQ(result.out, "signal!:" + std::to_string(signo) + "\n");
        EXPECT_EQ(result.err, "Received Signal\n");
    }
    auto result = RunInChild([] { std::exit(RunProgram([] { std::abort(); })); });
    EXPECT_EQ(result.out, "signal!:6\n");
    EXPECT_EQ(result.exitCode, 255);
    result = RunInChild([] { std::exit(RunProgram([] { raise(SIGBUS); })); });
    EXPECT_EQ(result.err, "Unhandled Memory Exception Error\n");
    EXPECT_EQ(result.exitCode, 255);
}

TEST(EntryTest, ProcessFactsAndTheChangeToTheApplicationDirectory) {
    auto result = RunInChild([] {
        if (chdir("/tmp") != 0) std::exit(9);
        std::exit(RunProgram([] {
            char cwd[4096];
            std::printf("cwd=%s\n", getcwd(cwd, sizeof cwd));
            std::printf("dir=%s\n", ToUtf8(ApplicationDir()).c_str());
            std::printf("file=%s\n", ToUtf8(ApplicationFile()).c_str());
            std::printf("launch=%s\n", ToUtf8(LaunchDir()).c_str());
            std::printf("title=%s\n", ToUtf8(ApplicationTitle()).c_str());
            for (const auto& arg : ApplicationArgs()) std::printf("arg=%s\n", ToUtf8(arg).c_str());
        }));
    });
    const std::string dir = SelfDir();
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = '\0';
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "cwd=" + dir + "\ndir=" + dir + "\nfile=" + self +
                              "\nlaunch=/tmp\ntitle=Corvex Application\narg=prog\narg=--flag\narg=two words\n");
}

TEST(EntryTest, DirectoryOfAPath) {
    EXPECT_EQ(DirectoryOf(u"/usr/local/bin/game"), u"/usr/local/bin");
    EXPECT_EQ(DirectoryOf(u"/game"), u"/");
    EXPECT_EQ(DirectoryOf(u"game"), u"");
    EXPECT_EQ(DirectoryOf(u"/a b/c\\d/game"), u"/a b/c\\d");  // a backslash is a file-name character here
}

}  // namespace
}  // namespace corvex

namespace corvex {
namespace {

TEST(HeadlessDialogTest, WithoutATerminalTheCancelAnswersComeBack) {
    auto result = test::RunInChild([] {
        if (!freopen("/dev/null", "r", stdin)) std::exit(9);
        SetApplicationTitle(u"Quiz");
        Notify(u"hello", 0);
        std::printf("%d ", Confirm(u"sure?", 0));
        std::printf("%d ", Proceed(u"go on?", 1));
        std::printf("[%s][%s]\n", ToUtf8(RequestFile(u"pick", u"*.png", 0, u"/tmp")).c_str(),
                    ToUtf8(RequestDir(u"where", u"/tmp")).c_str());
    });
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "0 -1 [][]\n");
    EXPECT_NE(result.err.find("Quiz: hello"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("Quiz: sure?"), std::string::npos) << result.err;
}

TEST(HeadlessDialogTest, OpenURLHandsTheNameToXdgOpen) {
    char dir[] = "/tmp/corvex-xdg-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string script = std::string(dir) + "/xdg-open";
    const std::string log = std::string(dir) + "/log";
    FILE* f = std::fopen(script.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f, "#!/bin/sh\nprintf '%%s|' \"$@\" >> '%s'\n[ \"$1\" != fail ]\n", log.c_str());
    std::fclose(f);
    chmod(script.c_str(), 0755);
    auto result = test::RunInChild([dir] {
        setenv("PATH", dir, 1);
        for (const char16_t* url : {u"https://example.org/a b", u"fail", u"-x", u""}) std::printf("%d", OpenURL(url));
        std::printf("\n");
    });
    EXPECT_EQ(result.out, "1000\n");
    FILE* in = std::fopen(log.c_str(), "r");
    ASSERT_NE(in, nullptr);
    char seen[256] = {};
    EXPECT_NE(std::fgets(seen, sizeof seen, in), nullptr);
    std::fclose(in);
    EXPECT_STREQ(seen, "https://example.org/a b|fail|");  // "-x" and "" never reached it
    unlink(log.c_str());
    unlink(script.c_str());
    rmdir(dir);
}

}  // namespace
// Text calls take UTF-8 as well as UTF-16: a plain literal compiles and non-ASCII survives.
TEST(EntryTest, TitlesAndPathsTakeUtf8) {
    TString before = ApplicationTitle();
    SetApplicationTitle("Breakout");
    EXPECT_EQ(ApplicationTitle(), u"Breakout");
    SetApplicationTitle("Caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(ApplicationTitle(), u"Caf\u00E9 \u20AC");
    SetApplicationTitle(before);
    EXPECT_EQ(DirectoryOf("/a/b/c"), u"/a/b");
}

}  // namespace corvex
