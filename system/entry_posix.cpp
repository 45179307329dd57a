// The process entry on Linux: signal handlers, the program's path from /proc, the working directory.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include <corvex/runtime/exception.h>
#include <corvex/system/entry.h>
#include "system/entry_platform.h"

namespace corvex {
namespace {

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

std::string ReadLinkSelf() {
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

std::string ReadSelfPath(int argc, char** argv) {
    std::string self = ReadLinkSelf();
    if (self.empty() && argc > 0 && argv[0]) {
        char* resolved = realpath(argv[0], nullptr);
        if (resolved) self = resolved;
        std::free(resolved);
    }
    return self;
}

std::string ReadCurrentDir() { return CurrentDir(); }

std::vector<TString> ReadArguments(int argc, char** argv) {
    std::vector<TString> args;
    for (int i = 0; i < argc; ++i) args.push_back(FromUtf8(argv[i] ? argv[i] : ""));
    return args;
}

bool ChangeDir(const TString& dir) { return chdir(ToUtf8(dir).c_str()) == 0; }

bool IsDriveRoot(const TString&, size_t) { return false; }

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

}  // namespace corvex
