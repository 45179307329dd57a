// Opening a file by name, the platform's way. In-tree code only.
#pragma once

#include <cstdio>

#include <corvex/runtime/string.h>

namespace corvex {

// fopen with mode `how` ("rb", "r+b", "wb"); the name has '/' separators and no NUL. Null on failure.
std::FILE* OpenNamedFile(const TString& name, const char* how);

}  // namespace corvex
