// The platform half of the process entry. In-tree code only.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <corvex/runtime/string.h>

namespace corvex {

std::string ReadSelfPath(int argc, char** argv);          // the executable's full path, UTF-8, '/' separators
std::string ReadCurrentDir();                              // UTF-8, '/' separators; empty if unknown
std::vector<TString> ReadArguments(int argc, char** argv); // the arguments as the process received them
bool ChangeDir(const TString& dir);                        // false if the directory could not be entered
bool IsDriveRoot(const TString& path, size_t slash);       // path[slash] is the slash of "C:/" (Windows)

}  // namespace corvex
