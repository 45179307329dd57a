#include <corvex/runtime/object.h>

namespace corvex {
namespace {
std::vector<TTypeRecord>& Types() {
    static std::vector<TTypeRecord> types;
    return types;
}
}  // namespace

bool RegisterType(const std::string& name, const std::string& base) {
    if (FindType(name) != nullptr) return false;
    Types().push_back({name, base});
    return true;
}

const TTypeRecord* FindType(const std::string& name) {
    for (const auto& record : Types()) {
        if (record.name == name) return &record;
    }
    return nullptr;
}

std::vector<TTypeRecord> RegisteredTypes() { return Types(); }

void ResetTypeRegistry() { Types().clear(); }

}  // namespace corvex
