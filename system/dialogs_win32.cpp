// Terminal and desktop helpers on Windows: file kinds through the wide attribute call, URLs
// through ShellExecuteW.
#include "system/dialogs.h"

#include <windows.h>
#include <shellapi.h>

#include <io.h>
#include <cstdio>
#include <string>

namespace corvex {
namespace {

std::wstring Wide(const std::string& utf8) {
    const TString text = FromUtf8(utf8);
    return std::wstring(text.begin(), text.end());
}

DWORD Attributes(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()); }

}  // namespace

bool IsFile(const std::string& path) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsDirectory(const std::string& path) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool StdinIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

int32_t DesktopOpenURL(const TString& url) {
    if (url.empty() || url[0] == u'-') return 0;
    const std::wstring target(url.begin(), url.end());
    const HINSTANCE result = ShellExecuteW(nullptr, nullptr, target.c_str(), nullptr, nullptr, SW_SHOWDEFAULT);
    return reinterpret_cast<INT_PTR>(result) > 32 ? 1 : 0;
}

}  // namespace corvex
