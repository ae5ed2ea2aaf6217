#pragma once

#include <memory>

namespace tavox {

// Base of everything a Variant can refer to as an object: File objects,
// spreadsheet ranges, client objects. Shared ownership keeps a referenced
// object alive as long as any holder keeps it.
class Object {
public:
    virtual ~Object() = default;
};

using ObjectRef = std::shared_ptr<Object>;

}  // namespace tavox
