#include "system/dialogs.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <initializer_list>
#include <string>
#include <string_view>

#include <corvex/system/entry.h>

extern char** environ;

namespace corvex {
namespace {

void Prompt(const TString& text, const char* choices) {
    std::fprintf(stderr, "%s: %s%s", ToUtf8(ApplicationTitle()).c_str(), ToUtf8(text).c_str(), choices);
    std::fflush(stderr);
}

// One answer line from an interactive terminal; false when there is none to ask.
bool ReadAnswer(std::string& line) {
    if (!isatty(STDIN_FILENO)) {
        std::fputc('\n', stderr);
        return false;
    }
    return static_cast<bool>(std::getline(std::cin, line));
}

std::string Lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

// Appends the pieces into one string. Written out rather than as `"literal" + std::string`,
// which g++ 12 at -O2 misreads as an overlapping copy inside libstdc++ (a false -Wrestrict).
std::string Joined(std::initializer_list<std::string_view> pieces) {
    std::string out;
    for (std::string_view piece : pieces) out.append(piece);
    return out;
}

bool IsKind(const std::string& path, mode_t kind) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == kind;
}

}  // namespace

void TerminalNotify(const TString& text, int32_t serious) {
    Prompt(text, serious ? " (!)\n" : "\n");
}

int32_t TerminalConfirm(const TString& text, int32_t serious) {
    Prompt(text, serious ? " (!) [ok/cancel] " : " [ok/cancel] ");
    std::string line;
    if (!ReadAnswer(line)) return 0;
    line = Lower(line);
    return line == "o" || line == "ok" ? 1 : 0;
}

int32_t TerminalProceed(const TString& text, int32_t serious) {
    Prompt(text, serious ? " (!) [yes/no/cancel] " : " [yes/no/cancel] ");
    std::string line;
    if (!ReadAnswer(line)) return -1;
    line = Lower(line);
    if (line == "y" || line == "yes") return 1;
    if (line == "n" || line == "no") return 0;
    return -1;
}

TString TerminalRequestFile(const TString& title, const TString& filter, int32_t save, const TString& path) {
    const std::string choices = Joined({" [", ToUtf8(filter), "] ", ToUtf8(path), " > "});
    Prompt(title, choices.c_str());
    std::string line;
    if (!ReadAnswer(line) || line.empty()) return {};
    // An open requester only accepts existing files; a save requester any name.
    if (!save && !IsKind(line, S_IFREG)) return {};
    return FromUtf8(line);
}

TString TerminalRequestDir(const TString& title, const TString& path) {
    const std::string choices = Joined({" ", ToUtf8(path), " > "});
    Prompt(title, choices.c_str());
    std::string line;
    if (!ReadAnswer(line) || !IsKind(line, S_IFDIR)) return {};
    return FromUtf8(line);
}

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
