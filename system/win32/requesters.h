// The system's message boxes, file and folder requesters and the shell's URL opener. Each gives
// the keyboard focus back to the window that had it. The caption is the application title.
#pragma once

#include <cstdint>

#include <corvex/runtime/string.h>

namespace corvex::win32 {

// MessageBox styles of the three boxes: topmost, exclamation when serious, else information.
uint32_t MessageBoxStyle(int32_t buttons, int32_t serious);
void MessageBoxNotify(const TString& text, int32_t serious);
int32_t MessageBoxConfirm(const TString& text, int32_t serious);   // IDOK 1, else 0
int32_t MessageBoxProceed(const TString& text, int32_t serious);   // IDYES 1, IDNO 0, else -1
// filter: "Name | *.png *.jpg" (or just the patterns); "" for every file.
TString FileRequester(const TString& title, const TString& filter, int32_t save, const TString& path);  // "" if none
TString FolderRequester(const TString& title, const TString& path);   // "" if none
int32_t ShellOpen(const TString& url);                                 // 1 when the shell took it
// The filter in the common dialogs' form: name, NUL, patterns joined by ';', NUL, NUL.
std::u16string FileDialogFilter(const TString& filter);

}  // namespace corvex::win32
