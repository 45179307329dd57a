#include "stream/cstream_platform.h"

namespace corvex {

// File names on Linux are UTF-8 bytes.
std::FILE* OpenNamedFile(const TString& name, const char* how) { return std::fopen(ToUtf8(name).c_str(), how); }

}  // namespace corvex
