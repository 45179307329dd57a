// Message boxes and requesters through a desktop helper (zenity or kdialog) when one is
// installed; the helper runs as a child process, never through a shell.
#pragma once

#include <cstdint>
#include <optional>

#include <corvex/runtime/string.h>

namespace corvex::x11 {

// Each answers std::nullopt when no helper could be run, so the caller can fall back.
std::optional<int32_t> HelperNotify(const TString& text, int32_t serious);
std::optional<int32_t> HelperConfirm(const TString& text, int32_t serious);   // OK 1, Cancel 0
std::optional<int32_t> HelperProceed(const TString& text, int32_t serious);   // Yes 1, No 0, Cancel -1
std::optional<TString> HelperRequestFile(const TString& title, const TString& filter, int32_t save, const TString& path);
std::optional<TString> HelperRequestDir(const TString& title, const TString& path);

}  // namespace corvex::x11
