// RunInChild for the system tests on Linux: a forked child. Included by test_support.h.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

namespace corvex::test {

struct TChildResult {
    int exitCode = -1;   // 0..255, or -1 when the child did not exit normally
    std::string out;     // its standard output
    std::string err;     // its standard error
};

inline std::string ReadAllFrom(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
    return text;
}

// Runs body in a forked child whose standard output and error are captured; body ends the
// child itself (exit, signal) or the child exits with code 0 after it.
inline TChildResult RunInChild(const std::function<void()>& body) {
    char outPath[] = "/tmp/corvex-child-out-XXXXXX";
    char errPath[] = "/tmp/corvex-child-err-XXXXXX";
    const int outFd = mkstemp(outPath);
    const int errFd = mkstemp(errPath);
    TChildResult result;
    fflush(stdout);
    fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        body();
        fflush(stdout);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    lseek(outFd, 0, SEEK_SET);
    lseek(errFd, 0, SEEK_SET);
    result.out = ReadAllFrom(outFd);
    result.err = ReadAllFrom(errFd);
    close(outFd);
    close(errFd);
    unlink(outPath);
    unlink(errPath);
    return result;
}

}  // namespace corvex::test
