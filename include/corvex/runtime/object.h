// Shared objects, the empty reference and the type registry.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace corvex {

// Every shared object is held through a Ref; an empty Ref is the empty reference (Null),
// distinct from every object. The object lives until its last Ref goes.
template <class T>
using Ref = std::shared_ptr<T>;

// Base of the framework's polymorphic object types.
class TObject {
public:
    virtual ~TObject() = default;
};

// The type registry records type names, each with its base type's name, in registration order.
struct TTypeRecord {
    std::string name;  // the type's name
    std::string base;  // its base type's name
};

bool RegisterType(const std::string& name, const std::string& base = "Object");  // false if known
const TTypeRecord* FindType(const std::string& name);                              // nullptr if unknown
std::vector<TTypeRecord> RegisteredTypes();                                         // oldest first
void ResetTypeRegistry();                                                           // for tests

}  // namespace corvex
