#include "system/win32/requesters.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include <corvex/system/entry.h>

namespace corvex::win32 {
namespace {

const wchar_t* W(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

TString FromWide(const wchar_t* text) { return TString(reinterpret_cast<const char16_t*>(text)); }

// Gives the keyboard focus back to whoever had it before the dialog.
class TFocusKeeper {
public:
    TFocusKeeper() : _focus(GetFocus()) {}
    ~TFocusKeeper() {
        if (_focus && IsWindow(_focus)) SetFocus(_focus);
    }
    TFocusKeeper(const TFocusKeeper&) = delete;
    TFocusKeeper& operator=(const TFocusKeeper&) = delete;

private:
    HWND _focus;
};

int Box(const TString& text, int32_t buttons, int32_t serious) {
    TFocusKeeper keeper;
    const TString caption = ApplicationTitle();
    return MessageBoxW(GetActiveWindow(), W(text), W(caption), MessageBoxStyle(buttons, serious));
}

// Backslashes for the system's dialogs.
std::u16string NativePath(const TString& path) {
    std::u16string native(path);
    for (char16_t& c : native) {
        if (c == u'/') c = u'\\';
    }
    return native;
}

int CALLBACK StartFolder(HWND dialog, UINT message, LPARAM, LPARAM start) {
    if (message == BFFM_INITIALIZED && start) SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, start);
    return 0;
}

}  // namespace

uint32_t MessageBoxStyle(int32_t buttons, int32_t serious) {
    return MB_TOPMOST | (serious ? MB_ICONEXCLAMATION : MB_ICONINFORMATION) | static_cast<uint32_t>(buttons);
}

void MessageBoxNotify(const TString& text, int32_t serious) { Box(text, MB_OK, serious); }

int32_t MessageBoxConfirm(const TString& text, int32_t serious) {
    return Box(text, MB_OKCANCEL, serious) == IDOK ? 1 : 0;
}

int32_t MessageBoxProceed(const TString& text, int32_t serious) {
    const int answer = Box(text, MB_YESNOCANCEL, serious);
    return answer == IDYES ? 1 : answer == IDNO ? 0 : -1;
}

std::u16string FileDialogFilter(const TString& filter) {
    if (filter.empty()) return {};
    std::u16string name = filter, patterns = filter;
    const size_t bar = filter.find(u'|');
    if (bar != TString::npos) {
        name = filter.substr(0, bar);
        patterns = filter.substr(bar + 1);
    }
    auto trim = [](std::u16string s) {
        const size_t first = s.find_first_not_of(u' ');
        if (first == std::u16string::npos) return std::u16string();
        return s.substr(first, s.find_last_not_of(u' ') - first + 1);
    };
    name = trim(name);
    // Patterns separated by blanks become the ';' list the dialog wants.
    std::u16string joined;
    for (const char16_t c : trim(patterns)) {
        if (c == u' ') {
            if (!joined.empty() && joined.back() != u';') joined += u';';
        } else {
            joined += c;
        }
    }
    if (joined.empty()) return {};
    std::u16string out = name + u'\0' + joined + u'\0';
    out += u'\0';
    return out;
}

TString FileRequester(const TString& title, const TString& filter, int32_t save, const TString& path) {
    TFocusKeeper keeper;
    std::vector<wchar_t> result(4096, L'\0');
    const std::u16string start = NativePath(path);
    for (size_t i = 0; i < start.size() && i + 1 < result.size(); ++i) result[i] = static_cast<wchar_t>(start[i]);
    const std::u16string filters = FileDialogFilter(filter);
    const std::u16string caption(title);
    OPENFILENAMEW request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = GetActiveWindow();
    request.lpstrFilter = filters.empty() ? nullptr : W(filters);
    request.lpstrFile = result.data();
    request.nMaxFile = static_cast<DWORD>(result.size());
    request.lpstrTitle = caption.empty() ? nullptr : W(caption);
    BOOL chosen;
    if (save) {
        request.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_OVERWRITEPROMPT;
        chosen = GetSaveFileNameW(&request);
    } else {
        request.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_FILEMUSTEXIST;
        chosen = GetOpenFileNameW(&request);
    }
    return chosen ? FromWide(result.data()) : TString();
}

TString FolderRequester(const TString& title, const TString& path) {
    TFocusKeeper keeper;
    // The starting folder as a full path.
    std::wstring full;
    if (!path.empty()) {
        const std::u16string native = NativePath(path);
        wchar_t buffer[MAX_PATH] = {};
        if (GetFullPathNameW(W(native), MAX_PATH, buffer, nullptr)) full = buffer;
    }
    const std::u16string caption(title);
    BROWSEINFOW request{};
    request.hwndOwner = GetActiveWindow();
    request.lpszTitle = W(caption);
    request.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    request.lpfn = StartFolder;
    request.lParam = full.empty() ? 0 : reinterpret_cast<LPARAM>(full.c_str());
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&request);
    if (!chosen) return {};
    wchar_t folder[MAX_PATH] = {};
    const BOOL named = SHGetPathFromIDListW(chosen, folder);
    CoTaskMemFree(chosen);
    return named ? FromWide(folder) : TString();
}

int32_t ShellOpen(const TString& url) {
    if (url.empty()) return 0;
    const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, nullptr, W(url), nullptr, nullptr, SW_SHOWDEFAULT));
    return result > 32 ? 1 : 0;
}

}  // namespace corvex::win32
