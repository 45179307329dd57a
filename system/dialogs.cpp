#include "system/dialogs.h"

#include <cstdio>
#include <iostream>
#include <initializer_list>
#include <string>
#include <string_view>

#include <corvex/system/entry.h>

namespace corvex {
namespace {

void Prompt(const TString& text, const char* choices) {
    std::fprintf(stderr, "%s: %s%s", ToUtf8(ApplicationTitle()).c_str(), ToUtf8(text).c_str(), choices);
    std::fflush(stderr);
}

// One answer line from an interactive terminal; false when there is none to ask.
bool ReadAnswer(std::string& line) {
    if (!StdinIsTerminal()) {
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
    if (!save && !IsFile(line)) return {};
    return FromUtf8(line);
}

TString TerminalRequestDir(const TString& title, const TString& path) {
    const std::string choices = Joined({" ", ToUtf8(path), " > "});
    Prompt(title, choices.c_str());
    std::string line;
    if (!ReadAnswer(line) || !IsDirectory(line)) return {};
    return FromUtf8(line);
}

}  // namespace corvex
