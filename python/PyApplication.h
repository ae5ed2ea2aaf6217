#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <vector>

namespace tavox {
class Application;
class Parameters;
}  // namespace tavox

namespace tavox::python {

class PySink;

// The Python face of an Application: the core object and the Python event
// sinks subscribed to it.
class PyApplication {
public:
    PyApplication();
    ~PyApplication();
    PyApplication(const PyApplication&) = delete;
    PyApplication& operator=(const PyApplication&) = delete;

    Application& Core() const noexcept { return *app_; }
    // The settings that name the lock of this Application's objects.
    std::shared_ptr<const Parameters> Family() const;

    // Subscribes a Python object; subscribing the same object again does nothing.
    void Subscribe(pybind11::object sink);
    // Unsubscribes it; an object that is not subscribed is ignored.
    void Unsubscribe(pybind11::handle sink);

    // Drops every sink (the end of a with block).
    void UnsubscribeAll();

    // Garbage-collector support: visits the sinks; drops them all.
    int Traverse(visitproc visit, void* arg) const;
    void Clear();

private:
    std::shared_ptr<Application> app_;
    std::vector<std::shared_ptr<PySink>> sinks_;
};

}  // namespace tavox::python
