#include "python/PyApplication.h"

#include <algorithm>

#include "app/Application.h"
#include "engine/Parameters.h"
#include "python/FamilyLock.h"
#include "python/PySink.h"

namespace py = pybind11;

namespace tavox::python {

// The list of sinks is changed only with the GIL held, so the garbage
// collector can walk it; the core object is changed under the core lock.

PyApplication::PyApplication() : app_(Application::Create()) {}

PyApplication::~PyApplication() {
    Clear();
}

std::shared_ptr<const Parameters> PyApplication::Family() const {
    return app_->FFTParameters();
}

void PyApplication::Subscribe(py::object sink) {
    if (std::any_of(sinks_.begin(), sinks_.end(), [&](const auto& held) { return held->Get().is(sink); })) return;
    auto adapter = std::make_shared<PySink>(std::move(sink));
    sinks_.push_back(adapter);
    CoreCall(Family(), [&] { app_->Subscribe(adapter); });
}

void PyApplication::Unsubscribe(py::handle sink) {
    const auto found =
        std::find_if(sinks_.begin(), sinks_.end(), [&](const auto& held) { return held->Get().is(sink); });
    if (found == sinks_.end()) return;
    const std::shared_ptr<PySink> adapter = *found;
    sinks_.erase(found);
    CoreCall(Family(), [&] { app_->Unsubscribe(adapter); });
}

void PyApplication::UnsubscribeAll() {
    const auto sinks = std::move(sinks_);
    sinks_.clear();
    CoreCall(Family(), [&] {
        for (const auto& sink : sinks) app_->Unsubscribe(sink);
    });
}

int PyApplication::Traverse(visitproc visit, void* arg) const {
    for (const auto& sink : sinks_) Py_VISIT(sink->Get().ptr());
    return 0;
}

void PyApplication::Clear() {
    // Only reached when no Python code can use this object any more, so no
    // batch of it runs; taking the core lock here could wait for another
    // Application's batch while holding the GIL.
    const auto sinks = std::move(sinks_);
    sinks_.clear();
    for (const auto& sink : sinks) app_->Unsubscribe(sink);
}

}  // namespace tavox::python
