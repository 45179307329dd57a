// Message boxes and requesters on the terminal, for drivers without a window system to use.
// Answers are read from standard input only when it is a terminal; otherwise they are the
// "cancel" answers. The caption is the application title.
#pragma once

#include <cstdint>
#include <string>

#include <corvex/runtime/string.h>

namespace corvex {

void TerminalNotify(const TString& text, int32_t serious);    // prints "caption: text" on stderr
int32_t TerminalConfirm(const TString& text, int32_t serious); // "o" or "ok" 1, else 0
int32_t TerminalProceed(const TString& text, int32_t serious); // "y" 1, "n" 0, else -1
TString TerminalRequestFile(const TString& title, const TString& filter, int32_t save, const TString& path);
TString TerminalRequestDir(const TString& title, const TString& path);
int32_t DesktopOpenURL(const TString& url);  // xdg-open; 1 when it succeeded; names starting with '-' refused
                                             // (ShellExecute on Windows: 1 when it returned more than 32)

// Platform helpers of the terminal requesters (dialogs_posix.cpp, dialogs_win32.cpp).
bool IsFile(const std::string& utf8Path);       // an existing regular file
bool IsDirectory(const std::string& utf8Path);  // an existing directory
bool StdinIsTerminal();                         // answers can be read from standard input

}  // namespace corvex
