#include "system/x11/requesters.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include <corvex/system/entry.h>

extern char** environ;

namespace corvex::x11 {
namespace {

enum class THelper { None, Zenity, KDialog };

bool OnPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::string dirs(path);
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
        if (access((dir + "/" + program).c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

THelper FindHelper() {
    if (!std::getenv("DISPLAY")) return THelper::None;
    if (OnPath("zenity")) return THelper::Zenity;
    if (OnPath("kdialog")) return THelper::KDialog;
    return THelper::None;
}

struct TRun {
    int status = -1;     // exit status, -1 when the helper could not run
    std::string output;  // standard output without the final line feed
};

TRun Run(const std::vector<std::string>& args) {
    TRun result;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return result;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n > 0) {
            result.output.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 255;
    while (!result.output.empty() && result.output.back() == '\n') result.output.pop_back();
    return result;
}

std::string Caption() { return ToUtf8(ApplicationTitle()); }

}  // namespace

std::optional<int32_t> HelperNotify(const TString& text, int32_t serious) {
    switch (FindHelper()) {
        case THelper::Zenity:
            if (Run({"zenity", serious ? "--warning" : "--info", "--no-markup", "--title=" + Caption(),
                     "--text=" + ToUtf8(text)}).status < 0) {
                return std::nullopt;
            }
            return 0;
        case THelper::KDialog:
            if (Run({"kdialog", "--title", Caption(), serious ? "--sorry" : "--msgbox", ToUtf8(text)}).status < 0) {
                return std::nullopt;
            }
            return 0;
        case THelper::None:
            break;
    }
    return std::nullopt;
}

std::optional<int32_t> HelperConfirm(const TString& text, int32_t serious) {
    TRun r;
    switch (FindHelper()) {
        case THelper::Zenity:
            r = Run({"zenity", "--question", "--no-markup", "--ok-label=OK", "--cancel-label=Cancel",
                     std::string("--icon-name=") + (serious ? "dialog-warning" : "dialog-information"),
                     "--title=" + Caption(), "--text=" + ToUtf8(text)});
            break;
        case THelper::KDialog:
            r = Run({"kdialog", "--title", Caption(), serious ? "--warningcontinuecancel" : "--yesno", ToUtf8(text)});
            break;
        case THelper::None:
            return std::nullopt;
    }
    if (r.status < 0) return std::nullopt;
    return r.status == 0 ? 1 : 0;
}

std::optional<int32_t> HelperProceed(const TString& text, int32_t serious) {
    TRun r;
    switch (FindHelper()) {
        case THelper::Zenity:
            r = Run({"zenity", "--question", "--no-markup", "--ok-label=Yes", "--cancel-label=No",
                     "--extra-button=Cancel",
                     std::string("--icon-name=") + (serious ? "dialog-warning" : "dialog-question"),
                     "--title=" + Caption(), "--text=" + ToUtf8(text)});
            if (r.status < 0) return std::nullopt;
            if (r.status == 0) return 1;
            return r.status == 1 && r.output.empty() ? 0 : -1;
        case THelper::KDialog:
            r = Run({"kdialog", "--title", Caption(), serious ? "--warningyesnocancel" : "--yesnocancel",
                     ToUtf8(text)});
            if (r.status < 0) return std::nullopt;
            return r.status == 0 ? 1 : r.status == 1 ? 0 : -1;
        case THelper::None:
            break;
    }
    return std::nullopt;
}

std::optional<TString> HelperRequestFile(const TString& title, const TString& filter, int32_t save,
                                         const TString& path) {
    TRun r;
    switch (FindHelper()) {
        case THelper::Zenity: {
            std::vector<std::string> args = {"zenity", "--file-selection", "--title=" + ToUtf8(title)};
            if (save) {
                args.push_back("--save");
                args.push_back("--confirm-overwrite");
            }
            if (!path.empty()) args.push_back("--filename=" + ToUtf8(path));
            if (!filter.empty()) args.push_back("--file-filter=" + ToUtf8(filter));
            r = Run(args);
            break;
        }
        case THelper::KDialog: {
            std::vector<std::string> args = {"kdialog", "--title", ToUtf8(title),
                                             save ? "--getsavefilename" : "--getopenfilename",
                                             path.empty() ? "." : ToUtf8(path)};
            if (!filter.empty()) args.push_back(ToUtf8(filter));
            r = Run(args);
            break;
        }
        case THelper::None:
            return std::nullopt;
    }
    if (r.status < 0) return std::nullopt;
    return r.status == 0 ? FromUtf8(r.output) : TString();
}

std::optional<TString> HelperRequestDir(const TString& title, const TString& path) {
    TRun r;
    switch (FindHelper()) {
        case THelper::Zenity: {
            std::vector<std::string> args = {"zenity", "--file-selection", "--directory", "--title=" + ToUtf8(title)};
            if (!path.empty()) args.push_back("--filename=" + ToUtf8(path) + "/");
            r = Run(args);
            break;
        }
        case THelper::KDialog:
            r = Run({"kdialog", "--title", ToUtf8(title), "--getexistingdirectory", path.empty() ? "." : ToUtf8(path)});
            break;
        case THelper::None:
            return std::nullopt;
    }
    if (r.status < 0) return std::nullopt;
    return r.status == 0 ? FromUtf8(r.output) : TString();
}

}  // namespace corvex::x11
