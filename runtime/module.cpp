#include <corvex/runtime/module.h>

#include <algorithm>

namespace corvex {
namespace {
std::vector<std::string>& Started() {
    static std::vector<std::string> started;
    return started;
}
}  // namespace

bool BeginModuleStart(const std::string& name) {
    auto& started = Started();
    if (std::find(started.begin(), started.end(), name) != started.end()) return false;
    started.push_back(name);
    return true;
}

std::vector<std::string> StartedModules() { return Started(); }

void StartRuntimeModule() { BeginModuleStart("runtime"); }

}  // namespace corvex
