#include "python/FamilyLock.h"

#include <algorithm>
#include <unordered_map>

namespace tavox::python {

namespace {

struct Family {
    std::weak_ptr<const Parameters> settings;
    std::shared_ptr<FamilyMutex> mutex;
};

// The table of families, the one state every thread shares; held only while
// a lock is looked up. Never destroyed, so that objects released late at
// exit still find it.
struct Families {
    std::mutex mutex;
    std::unordered_map<const Parameters*, Family> table;
    std::size_t sweepAt = 64;
};

Families& Table() {
    static auto* families = new Families();
    return *families;
}

}  // namespace

// A family whose settings are gone can have no caller any more (each of its
// objects holds them), so its entry is dropped; a new object at the same
// address then gets a lock of its own.
std::shared_ptr<FamilyMutex> FamilyLock(const std::shared_ptr<const Parameters>& settings) {
    static auto* const orphans = new std::shared_ptr<FamilyMutex>(std::make_shared<FamilyMutex>());
    if (!settings) return *orphans;
    Families& families = Table();
    std::lock_guard<std::mutex> lock(families.mutex);
    Family& family = families.table[settings.get()];
    if (!family.mutex || family.settings.expired()) family = {settings, std::make_shared<FamilyMutex>()};
    std::shared_ptr<FamilyMutex> mutex = family.mutex;
    if (families.table.size() >= families.sweepAt) {
        std::erase_if(families.table, [](const auto& entry) { return entry.second.settings.expired(); });
        families.sweepAt = std::max<std::size_t>(64, 2 * families.table.size());
    }
    return mutex;
}

}  // namespace tavox::python
