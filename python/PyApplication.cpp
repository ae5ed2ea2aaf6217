#include "python/PyApplication.h"

#include <algorithm>

#include "app/Application.h"
#include "python/CoreLock.h"
#include "python/PySink.h"

namespace py = pybind11;

namespace tavox::python {

PyApplication::PyApplication() : app_(Application::Create()) {}

PyApplication::~PyApplication() {
    // The core object may outlive this one; it must not call the sinks any more.
    for (const auto& sink : sinks_) app_->Unsubscribe(sink);
}

void PyApplication::Subscribe(py::object sink) {
    auto adapter = std::make_shared<PySink>(std::move(sink));
    CoreCall([&] {
        const auto& object = adapter->Get();
        if (std::any_of(sinks_.begin(), sinks_.end(), [&](const auto& held) { return held->Get().is(object); })) return;
        app_->Subscribe(adapter);
        sinks_.push_back(adapter);
    });
}

void PyApplication::Unsubscribe(py::handle sink) {
    std::shared_ptr<PySink> adapter;  // released after the GIL is back
    CoreCall([&] {
        const auto found =
            std::find_if(sinks_.begin(), sinks_.end(), [&](const auto& held) { return held->Get().is(sink); });
        if (found == sinks_.end()) return;
        adapter = *found;
        sinks_.erase(found);
        app_->Unsubscribe(adapter);
    });
}

}  // namespace tavox::python
