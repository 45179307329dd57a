// RunInChild for the system tests on Windows, which cannot fork: the test program runs again with
// only the current test selected and environment variables that make RunInChild, reached there,
// send standard output and error to the parent's files, run the body and exit. Included by
// test_support.h.
#pragma once

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

namespace corvex::test {

struct TChildResult {
    int exitCode = -1;   // 0..255 (the low byte, as a POSIX parent sees it), or -1 when it did not run
    std::string out;     // its standard output
    std::string err;     // its standard error
};

inline std::string ReadWholeFile(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Points descriptor fd at the file (binary, so "\n" stays one byte as on Linux).
inline void RedirectTo(int fd, const char* path) {
    const int file = _open(path, _O_WRONLY | _O_BINARY);
    if (file < 0) std::_Exit(120);
    _dup2(file, fd);
    _close(file);
    _setmode(fd, _O_BINARY);
}

inline TChildResult RunInChild(const std::function<void()>& body) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string test = std::string(info->test_suite_name()) + "." + info->name();
    // Counts the children a test starts, so the child runs the body of the same call.
    static std::string lastTest;
    static int call = 0;
    call = lastTest == test ? call + 1 : 0;
    lastTest = test;
    const std::string marker = test + "#" + std::to_string(call);

    if (const char* wanted = std::getenv("CORVEX_TEST_CHILD")) {
        if (marker == wanted) {
            std::fflush(stdout);
            std::fflush(stderr);
            RedirectTo(1, std::getenv("CORVEX_TEST_CHILD_OUT"));
            RedirectTo(2, std::getenv("CORVEX_TEST_CHILD_ERR"));
            body();
            std::fflush(stdout);
            std::fflush(stderr);
            std::_Exit(0);
        }
        return {};  // an earlier call of this test: the parent asked for a later one
    }

    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    char outPath[MAX_PATH], errPath[MAX_PATH];
    GetTempFileNameA(dir, "cvo", 0, outPath);
    GetTempFileNameA(dir, "cve", 0, errPath);

    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::string filter = "--gtest_filter=" + test;
    std::wstring command = L"\"" + std::wstring(self) + L"\" " + std::wstring(filter.begin(), filter.end());
    SetEnvironmentVariableA("CORVEX_TEST_CHILD", marker.c_str());
    SetEnvironmentVariableA("CORVEX_TEST_CHILD_OUT", outPath);
    SetEnvironmentVariableA("CORVEX_TEST_CHILD_ERR", errPath);
    // The child's test-framework chatter before the body goes nowhere.
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    PROCESS_INFORMATION process{};
    std::fflush(stdout);
    std::fflush(stderr);
    const BOOL started = CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    SetEnvironmentVariableA("CORVEX_TEST_CHILD", nullptr);
    SetEnvironmentVariableA("CORVEX_TEST_CHILD_OUT", nullptr);
    SetEnvironmentVariableA("CORVEX_TEST_CHILD_ERR", nullptr);
    CloseHandle(nul);
    TChildResult result;
    if (started) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result.exitCode = static_cast<int>(code & 0xFF);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    const std::wstring out(outPath, outPath + strlen(outPath)), err(errPath, errPath + strlen(errPath));
    result.out = ReadWholeFile(out);
    result.err = ReadWholeFile(err);
    DeleteFileA(outPath);
    DeleteFileA(errPath);
    return result;
}

}  // namespace corvex::test
