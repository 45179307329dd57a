#include <corvex/system/entry.h>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <corvex/runtime/exception.h>
#include <corvex/runtime/module.h>
#include <corvex/system/system.h>

namespace corvex {
namespace {

struct TProcessState {
    TString file;
    TString dir;
    TString launchDir;
    std::vector<TString> args;
    TString title = u"Corvex Application";
    std::vector<std::function<void()>> exitHandlers;
};

TProcessState& Process() {
    // Never destroyed: exit handlers run from exit(), after other statics may be gone.
    static TProcessState* state = new TProcessState;
    return *state;
}

void ExitHandlersAtExit() { RunExitHandlers(); }

void PrintError(const TString& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", ToUtf8(text).c_str());
    std::fflush(stderr);
}

// --- Signals ------------------------------------------------------------------------------------
// A handler cannot raise an exception soundly, nor run exit handlers or touch stdio (the signal
// may have interrupted them). It writes both texts with write() and ends the process at once.

void WriteAll(int fd, const char* text, size_t length) {
    while (length > 0) {
        const ssize_t n = write(fd, text, length);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            return;
        }
        text += n;
        length -= static_cast<size_t>(n);
    }
}

void WriteText(int fd, const char* text) {
    size_t length = 0;
    while (text[length]) ++length;
    WriteAll(fd, text, length);
}

extern "C" void OnFatalSignal(int signo) {
    const bool memoryFault = signo == SIGBUS || signo == SIGFPE;
    if (!memoryFault) {
        char line[24] = "signal!:";
        size_t at = 8;
        char digits[12];
        size_t count = 0;
        for (unsigned v = static_cast<unsigned>(signo); count == 0 || v != 0; v /= 10) digits[count++] = static_cast<char>('0' + v % 10);
        while (count > 0) line[at++] = digits[--count];
        line[at++] = '\n';
        WriteAll(STDOUT_FILENO, line, at);
    }
    WriteText(STDERR_FILENO, memoryFault ? "Unhandled Memory Exception Error\n" : "Received Signal\n");
    _exit(-1 & 0xFF);
}

std::string ReadSelfPath() {
    std::string path(1024, '\0');
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < path.size()) return path.substr(0, static_cast<size_t>(n));
        path.resize(path.size() * 2);  // a longer path than the buffer: read it whole, never cut
    }
}

std::string CurrentDir() {
    std::string dir(1024, '\0');
    for (;;) {
        if (getcwd(dir.data(), dir.size())) return dir.c_str();
        if (errno != ERANGE) return {};
        dir.resize(dir.size() * 2);
    }
}

}  // namespace

// --- Exit handlers ------------------------------------------------------------------------------

void AddExitHandler(std::function<void()> handler) {
    TProcessState& p = Process();
    if (!handler) return;
    p.exitHandlers.push_back(std::move(handler));
    // A program that ends through exit() rather than RunApplication still runs them. exit()
    // destroys statics and runs atexit functions newest first, so registering again with every
    // handler runs them all while everything made before the newest handler (the module state
    // the handlers close) still exists; the later registrations then find nothing left to run.
    std::atexit(ExitHandlersAtExit);
}

bool RunExitHandlers() {
    TProcessState& p = Process();
    bool ok = true;
    while (!p.exitHandlers.empty()) {
        // Taken off the list before it runs: a handler that fails is not run again.
        std::function<void()> handler = std::move(p.exitHandlers.back());
        p.exitHandlers.pop_back();
        try {
            handler();
        } catch (...) {
            PrintError(ExceptionText(std::current_exception()));
            ok = false;
        }
    }
    return ok;
}

// --- Process facts ------------------------------------------------------------------------------

TString ApplicationDir() { return Process().dir; }
TString ApplicationFile() { return Process().file; }
TString LaunchDir() { return Process().launchDir; }
const std::vector<TString>& ApplicationArgs() { return Process().args; }
TString ApplicationTitle() { return Process().title; }
void SetApplicationTitle(const TString& title) { Process().title = title; }
void SetApplicationTitle(std::string_view utf8_title) { SetApplicationTitle(FromUtf8(utf8_title)); }
TString DirectoryOf(std::string_view utf8_path) { return DirectoryOf(FromUtf8(utf8_path)); }

TString DirectoryOf(const TString& path) {
    const size_t slash = path.rfind(u'/');
    if (slash == TString::npos) return {};
    if (slash == 0) return u"/";  // a program in the root keeps the root
    return path.substr(0, slash);
}

void InstallSignalHandlers() {
    // Its own stack, so a stack overflow can still be reported.
    static char altStack[64 * 1024];
    stack_t stack{};
    stack.ss_sp = altStack;
    stack.ss_size = sizeof altStack;
    sigaltstack(&stack, nullptr);

    struct sigaction action{};
    action.sa_handler = OnFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_ONSTACK | SA_RESETHAND;
    for (int signo : {SIGILL, SIGSEGV, SIGABRT, SIGTERM, SIGBUS, SIGFPE}) sigaction(signo, &action, nullptr);
    InstallTerminateHandler();
}

void InitProcessInfo(int argc, char** argv) {
    TProcessState& p = Process();
    p.launchDir = FromUtf8(CurrentDir());
    std::string self = ReadSelfPath();
    if (self.empty() && argc > 0 && argv[0]) {
        char* resolved = realpath(argv[0], nullptr);
        if (resolved) self = resolved;
        std::free(resolved);
    }
    p.file = FromUtf8(self);
    p.dir = DirectoryOf(p.file);
    p.title = u"Corvex Application";
    p.args.clear();
    for (int i = 0; i < argc; ++i) p.args.push_back(FromUtf8(argv[i] ? argv[i] : ""));
}

int RunApplication(int argc, char** argv, const std::function<void()>& body) {
    InstallSignalHandlers();
    InitProcessInfo(argc, argv);
    // Relative names (the program's data files) resolve next to the program.
    const std::string dir = ToUtf8(ApplicationDir());
    if (!dir.empty() && chdir(dir.c_str()) != 0) {
        // Stay where we are: files given by absolute names still work.
    }
    int code = 0;
    try {
        StartSystemModule();
        body();
    } catch (...) {
        PrintError(ExceptionText(std::current_exception()));
        code = -1;
    }
    if (!RunExitHandlers()) code = -1;
    std::fflush(stdout);
    return code;
}

}  // namespace corvex
