#include "game/e2e/sandbox_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace e2e {
namespace {

std::string TempRoot() {
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
}

}  // namespace

SandboxProcess::SandboxProcess(const std::string& executable, const std::string& workingDirectory) {
    std::string pattern = TempRoot() + "/physbox-stderr-XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0) throw std::runtime_error("cannot create a file for the sandbox's standard error");
    _stderrPath = pattern;
    _pid = fork();
    if (_pid < 0) {
        close(fd);
        throw std::runtime_error("fork failed");
    }
    if (_pid == 0) {
        dup2(fd, 2);
        close(fd);
        if (chdir(workingDirectory.c_str()) != 0) _exit(126);
        // A Windows build of the sandbox runs under Wine; its windows are X windows all the same.
        const std::string suffix = ".exe";
        if (executable.size() > suffix.size() &&
            executable.compare(executable.size() - suffix.size(), suffix.size(), suffix) == 0) {
            execlp("wine", "wine", executable.c_str(), static_cast<char*>(nullptr));
        } else {
            execl(executable.c_str(), executable.c_str(), static_cast<char*>(nullptr));
        }
        _exit(127);
    }
    close(fd);
}

SandboxProcess::~SandboxProcess() {
    if (Running()) {
        kill(_pid, SIGKILL);
        int status;
        waitpid(_pid, &status, 0);
    }
    if (!_stderrPath.empty()) unlink(_stderrPath.c_str());
}

bool SandboxProcess::Running() {
    if (_status) return false;
    int status = 0;
    pid_t r = waitpid(_pid, &status, WNOHANG);
    if (r == 0) return true;
    if (r == _pid) {
        _status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    } else {
        _status = -1;  // not our child any more; treat as gone
    }
    return false;
}

std::optional<int> SandboxProcess::WaitExit(double seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (Running()) {
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return _status;
}

std::string SandboxProcess::StandardError() const {
    std::ifstream in(_stderrPath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TempDir::TempDir() {
    std::string pattern = TempRoot() + "/physbox-e2e-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary directory");
    _path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(_path, ignored);
}

}  // namespace e2e
