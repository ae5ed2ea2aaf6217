#pragma once

#include <pybind11/pybind11.h>

#include <mutex>

namespace tavox::python {

// The lock held by every call into the core. Calls from several Python
// threads run one after another; the same thread may enter again (an event
// handler calling back into its Application).
std::recursive_mutex& CoreMutex() noexcept;

// Runs `call` with the GIL released and the core lock held. The GIL is
// released before waiting for the lock, so a thread that waits never blocks
// event handlers and ranges that need the GIL. Returns the result by value.
template <class Call>
auto CoreCall(Call&& call) {
    pybind11::gil_scoped_release release;
    std::lock_guard<std::recursive_mutex> lock(CoreMutex());
    return call();
}

}  // namespace tavox::python
