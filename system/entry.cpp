#include <corvex/system/entry.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <corvex/runtime/exception.h>
#include <corvex/runtime/module.h>
#include <corvex/system/system.h>
#include "system/entry_platform.h"

namespace corvex {
namespace {

struct TProcessState {
    TString file;
    TString dir;
    TString launchDir;
    std::vector<TString> args;
    TString title = u"Corvex Application";
    std::vector<std::function<void()>> exitHandlers;
};

TProcessState& Process() {
    // Never destroyed: exit handlers run from exit(), after other statics may be gone.
    static TProcessState* state = new TProcessState;
    return *state;
}

void ExitHandlersAtExit() { RunExitHandlers(); }

void PrintError(const TString& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", ToUtf8(text).c_str());
    std::fflush(stderr);
}

}  // namespace

// --- Exit handlers ------------------------------------------------------------------------------

void AddExitHandler(std::function<void()> handler) {
    TProcessState& p = Process();
    if (!handler) return;
    p.exitHandlers.push_back(std::move(handler));
    // A program that ends through exit() rather than RunApplication still runs them. exit()
    // destroys statics and runs atexit functions newest first, so registering again with every
    // handler runs them all while everything made before the newest handler (the module state
    // the handlers close) still exists; the later registrations then find nothing left to run.
    std::atexit(ExitHandlersAtExit);
}

bool RunExitHandlers() {
    TProcessState& p = Process();
    bool ok = true;
    while (!p.exitHandlers.empty()) {
        // Taken off the list before it runs: a handler that fails is not run again.
        std::function<void()> handler = std::move(p.exitHandlers.back());
        p.exitHandlers.pop_back();
        try {
            handler();
        } catch (...) {
            PrintError(ExceptionText(std::current_exception()));
            ok = false;
        }
    }
    return ok;
}

// --- Process facts ------------------------------------------------------------------------------

TString ApplicationDir() { return Process().dir; }
TString ApplicationFile() { return Process().file; }
TString LaunchDir() { return Process().launchDir; }
const std::vector<TString>& ApplicationArgs() { return Process().args; }
TString ApplicationTitle() { return Process().title; }
void SetApplicationTitle(const TString& title) { Process().title = title; }
void SetApplicationTitle(std::string_view utf8_title) { SetApplicationTitle(FromUtf8(utf8_title)); }
TString DirectoryOf(std::string_view utf8_path) { return DirectoryOf(FromUtf8(utf8_path)); }

TString DirectoryOf(const TString& path) {
    const size_t slash = path.rfind(u'/');
    if (slash == TString::npos) return {};
    if (slash == 0) return u"/";  // a program in the root keeps the root
    if (IsDriveRoot(path, slash)) return path.substr(0, slash + 1);  // "C:/"
    return path.substr(0, slash);
}

void InitProcessInfo(int argc, char** argv) {
    TProcessState& p = Process();
    p.launchDir = FromUtf8(ReadCurrentDir());
    p.file = FromUtf8(ReadSelfPath(argc, argv));
    p.dir = DirectoryOf(p.file);
    p.title = u"Corvex Application";
    p.args = ReadArguments(argc, argv);
}

int RunApplication(int argc, char** argv, const std::function<void()>& body) {
    InstallSignalHandlers();
    InitProcessInfo(argc, argv);
    // Relative names (the program's data files) resolve next to the program.
    // If that fails we stay where we are: files given by absolute names still work.
    if (!ApplicationDir().empty()) ChangeDir(ApplicationDir());
    int code = 0;
    try {
        StartSystemModule();
        body();
    } catch (...) {
        PrintError(ExceptionText(std::current_exception()));
        code = -1;
    }
    if (!RunExitHandlers()) code = -1;
    std::fflush(stdout);
    return code;
}

}  // namespace corvex
