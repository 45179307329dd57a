#include "stream/cstream_platform.h"

#include <string>

namespace corvex {

// File names on Windows are UTF-16: the wide call reaches every name, whatever the code page.
std::FILE* OpenNamedFile(const TString& name, const char* how) {
    const std::wstring wide(name.begin(), name.end());
    const std::wstring wideHow(how, how + std::char_traits<char>::length(how));
    return _wfopen(wide.c_str(), wideHow.c_str());
}

}  // namespace corvex
