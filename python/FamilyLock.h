#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <mutex>

namespace tavox {
class Parameters;
}

namespace tavox::python {

// The objects of one Application (its Files, File and Parameters objects,
// which stay usable after it is gone) share one lock, found through the
// Parameters object they all hold. Calls into one family run one after
// another, so that nothing of a batch changes under it; different families
// never wait for each other. The same thread may enter again (an event
// handler calling back into its Application).
using FamilyMutex = std::recursive_mutex;

// The lock of the family of `settings`; one lock shared by every object
// without settings. Call with the GIL held.
std::shared_ptr<FamilyMutex> FamilyLock(const std::shared_ptr<const Parameters>& settings);

// Runs `call` with the GIL released and the lock of the family of `settings`
// held. The GIL is released before waiting for the lock, so a thread that
// waits never blocks event handlers and ranges that need the GIL. Returns
// the result by value.
template <class Call>
auto CoreCall(const std::shared_ptr<const Parameters>& settings, Call&& call) {
    const std::shared_ptr<FamilyMutex> mutex = FamilyLock(settings);
    pybind11::gil_scoped_release release;
    std::lock_guard<FamilyMutex> lock(*mutex);
    return call();
}

}  // namespace tavox::python
