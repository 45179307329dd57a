// One-time module start-up in a fixed order.
//
// Each module offers StartXxxModule(), which starts the modules it depends on first and then
// itself, once: BeginModuleStart() returns true only the first time a name is passed. The
// names are recorded in start order, so the order can be checked.
#pragma once

#include <string>
#include <vector>

namespace corvex {

bool BeginModuleStart(const std::string& name);  // true the first time, false after
std::vector<std::string> StartedModules();       // names in start order
void StartRuntimeModule();  // module "runtime", the lowest layer

}  // namespace corvex
