#pragma once

#include <pybind11/pybind11.h>

namespace tavox::python {

// Creates tavox.AutomationError(number, source, description) and installs
// the translation of C++ exceptions: the core's AutomationError becomes it,
// std::bad_alloc becomes it with the out-of-memory number (7), any other
// std::exception becomes RuntimeError.
void bindAutomationError(pybind11::module_& m);

}  // namespace tavox::python
