// RunInChild for the system tests on Windows, which cannot fork: the test program runs again with
// only the current test selected and an environment variable that makes RunInChild, reached
// there, run the body and exit. Included by test_support.h.
#pragma once

#include <windows.h>

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
            body();
            std::fflush(stdout);
            std::fflush(stderr);
            std::_Exit(0);
        }
        return {};  // another call of this test: the parent asked for a later one
    }

    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    wchar_t outPath[MAX_PATH], errPath[MAX_PATH];
    GetTempFileNameW(dir, L"cvo", 0, outPath);
    GetTempFileNameW(dir, L"cve", 0, errPath);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(outPath, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE err = CreateFileW(errPath, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);

    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::string filter = "--gtest_filter=" + test;
    std::wstring command = L"\"" + std::wstring(self) + L"\" " + std::wstring(filter.begin(), filter.end());
    SetEnvironmentVariableA("CORVEX_TEST_CHILD", marker.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    std::fflush(stdout);
    std::fflush(stderr);
    const BOOL started = CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    SetEnvironmentVariableA("CORVEX_TEST_CHILD", nullptr);
    CloseHandle(out);
    CloseHandle(err);
    TChildResult result;
    if (started) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result.exitCode = static_cast<int>(code & 0xFF);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    result.out = ReadWholeFile(outPath);
    result.err = ReadWholeFile(errPath);
    DeleteFileW(outPath);
    DeleteFileW(errPath);
    return result;
}

}  // namespace corvex::test
