// The process entry on Windows: signal handlers and the unhandled-exception filter, the program's
// path from GetModuleFileNameW, the working directory through the wide calls.
#include <windows.h>
#include <shellapi.h>

#include <io.h>
#include <signal.h>

#include <cstdlib>
#include <cwchar>
#include <string>

#include <corvex/runtime/exception.h>
#include <corvex/system/entry.h>
#include "system/entry_platform.h"

namespace corvex {
namespace {

// A handler cannot raise an exception soundly, nor run exit handlers or touch stdio (the signal
// may have interrupted them): it writes its texts with _write and ends the process at once.
void WriteText(int fd, const char* text) {
    unsigned length = 0;
    while (text[length]) ++length;
    _write(fd, text, length);
}

void OnFatalSignal(int signo) {
    char line[24] = "signal!:";
    size_t at = 8;
    char digits[12];
    size_t count = 0;
    for (unsigned v = static_cast<unsigned>(signo); count == 0 || v != 0; v /= 10) digits[count++] = static_cast<char>('0' + v % 10);
    while (count > 0) line[at++] = digits[--count];
    line[at++] = '\n';
    _write(1, line, static_cast<unsigned>(at));
    WriteText(2, "Received Signal\n");
    _exit(-1);
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS*) {
    WriteText(2, "Unhandled Memory Exception Error\n");
    _exit(-1);
}

std::string Slashed(const std::wstring& path) {
    TString text(path.begin(), path.end());
    for (char16_t& c : text) {
        if (c == u'\\') c = u'/';
    }
    return ToUtf8(text);
}

std::wstring Wide(const TString& text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

std::string ReadSelfPath(int, char**) {
    std::wstring path(1024, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) return Slashed(path.substr(0, n));
        path.resize(path.size() * 2);  // cut at the buffer's end: read it whole
    }
}

std::string ReadCurrentDir() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    if (size == 0) return {};
    std::wstring dir(size, L'\0');
    const DWORD n = GetCurrentDirectoryW(size, dir.data());
    if (n == 0 || n >= size) return {};
    return Slashed(dir.substr(0, n));
}

std::vector<TString> ReadArguments(int argc, char** argv) {
    std::vector<TString> args;
    // The wide command line keeps characters the ANSI code page cannot hold; it is used when it
    // splits into the arguments main() received (its ASCII arguments equal to theirs), not when
    // the caller passes arguments of its own.
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        bool same = count == argc;
        for (int i = 0; same && i < count; ++i) {
            const TString arg(wide[i], wide[i] + wcslen(wide[i]));
            bool ascii = true;
            for (char16_t c : arg) ascii = ascii && c < 128;
            same = !ascii || (argv[i] && ToUtf8(arg) == argv[i]);
            args.push_back(arg);
        }
        LocalFree(wide);
        if (same) return args;
        args.clear();
    }
    for (int i = 0; i < argc; ++i) args.push_back(FromUtf8(argv[i] ? argv[i] : ""));
    return args;
}

bool ChangeDir(const TString& dir) { return SetCurrentDirectoryW(Wide(dir).c_str()) != 0; }

bool IsDriveRoot(const TString& path, size_t slash) { return slash == 2 && path[1] == u':'; }

void InstallSignalHandlers() {
    for (int signo : {SIGILL, SIGSEGV, SIGABRT, SIGTERM}) signal(signo, OnFatalSignal);
    // Access violations and other hardware exceptions nothing handles end here.
    SetUnhandledExceptionFilter(OnUnhandledException);
    InstallTerminateHandler();
}

}  // namespace corvex
