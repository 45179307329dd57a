// Terminal and desktop helpers on Linux: file kinds through stat, URLs through xdg-open.
#include "system/dialogs.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

extern char** environ;

namespace corvex {
namespace {

bool IsKind(const std::string& path, mode_t kind) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == kind;
}

}  // namespace

bool IsFile(const std::string& path) { return IsKind(path, S_IFREG); }
bool IsDirectory(const std::string& path) { return IsKind(path, S_IFDIR); }
bool StdinIsTerminal() { return isatty(STDIN_FILENO) != 0; }

int32_t DesktopOpenURL(const TString& url) {
    const std::string target = ToUtf8(url);
    // A leading '-' would be read as an option by the opener.
    if (target.empty() || target[0] == '-') return 0;
    char program[] = "xdg-open";
    char* argv[] = {program, const_cast<char*>(target.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0) return 0;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return 0;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 1 : 0;
}

}  // namespace corvex
