// The sandbox executable run as a child process, with its standard error kept in a file.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace e2e {

class SandboxProcess {
public:
    // Starts executable with no arguments in workingDirectory. Throws std::runtime_error on failure.
    SandboxProcess(const std::string& executable, const std::string& workingDirectory);
    ~SandboxProcess();  // a child still running is killed and reaped
    SandboxProcess(const SandboxProcess&) = delete;
    SandboxProcess& operator=(const SandboxProcess&) = delete;

    pid_t Pid() const { return _pid; }
    bool Running();                                // false once it has exited (then reaped)
    std::optional<int> WaitExit(double seconds);   // exit code, 128 + signal, or nothing on time-out
    std::string StandardError() const;             // everything written to stderr so far

private:
    pid_t _pid = -1;
    std::optional<int> _status;
    std::string _stderrPath;
};

// A fresh empty directory under $TMPDIR (or /tmp); removed with its contents by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return _path; }

private:
    std::string _path;
};

}  // namespace e2e
