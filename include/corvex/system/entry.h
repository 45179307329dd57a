// The process entry: signal handlers, application paths and arguments, module start-up, the
// program body, exit handlers and exit codes.
//
//     int main(int argc, char** argv) { return corvex::RunApplication(argc, argv, [] { ... }); }
#pragma once

#include <string_view>

#include <functional>
#include <vector>

#include <corvex/runtime/string.h>

namespace corvex {

// --- Running the program ------------------------------------------------------------------------
// Installs the signal handlers, records paths and arguments, changes to the application
// directory, starts the system modules and runs body. Returns 0 when body returns; an exception
// escaping it prints its text on standard error and returns -1. Exit handlers run before either.
int RunApplication(int argc, char** argv, const std::function<void()>& body);

// --- Exit handlers (run once, newest first, at RunApplication's end or at exit()) ---------------
void AddExitHandler(std::function<void()> handler);
bool RunExitHandlers();  // false if one threw (its text went to standard error; the rest still ran)

// --- Process facts ------------------------------------------------------------------------------
TString ApplicationDir();                 // folder of the executable, no trailing slash ("/" at the root)
TString ApplicationFile();                // full path of the executable
TString LaunchDir();                      // the current directory when the process started
const std::vector<TString>& ApplicationArgs();  // as received; the first is the program as invoked
TString ApplicationTitle();               // "Corvex Application" unless changed
void SetApplicationTitle(const TString& title);
void SetApplicationTitle(std::string_view utf8_title);  // the same, from UTF-8

// --- Pieces of RunApplication, for programs that need them alone -------------------------------
// SIGILL, SIGSEGV, SIGABRT, SIGTERM print "signal!:<n>" on standard output, then "Received Signal"
// on standard error, and end the process with exit code -1; SIGBUS and SIGFPE report
// "Unhandled Memory Exception Error" the same way. An uncaught exception prints its text.
void InstallSignalHandlers();
void InitProcessInfo(int argc, char** argv);  // paths, title, arguments; no directory change
TString DirectoryOf(const TString& path);     // "/a/b/c" -> "/a/b", "/c" -> "/", "c" -> ""
TString DirectoryOf(std::string_view utf8_path);  // the same, from UTF-8

}  // namespace corvex
