#include "python/Errors.h"

#include <pybind11/eval.h>

#include <exception>
#include <new>

#include "common/AutomationError.h"

namespace py = pybind11;

namespace tavox::python {

namespace {

constexpr const char* ErrorClassSource = R"py(
class AutomationError(Exception):
    """An error raised by the TAVOX object model: number, source and description."""

    def __init__(self, number, source, description):
        super().__init__(number, source, description)
        self.number = number
        self.source = source
        self.description = description

    def __str__(self):
        return "%s (number %d = 0x%08X, source %s)" % (
            self.description, self.number, self.number & 0xFFFFFFFF, self.source)
)py";

py::handle& ErrorClass() {
    static py::handle type;
    return type;
}

void Raise(const AutomationError& error) {
    py::object instance =
        py::reinterpret_borrow<py::object>(ErrorClass())(error.Number(), error.Source(), error.Description());
    PyErr_SetObject(ErrorClass().ptr(), instance.ptr());
}

}  // namespace

void bindAutomationError(py::module_& m) {
    py::dict scope;
    scope["__name__"] = "tavox";
    py::exec(ErrorClassSource, scope);
    py::object type = scope["AutomationError"];
    m.attr("AutomationError") = type;
    ErrorClass() = type.release();  // lives as long as the process

    py::register_exception_translator([](std::exception_ptr pointer) {
        try {
            if (pointer) std::rethrow_exception(pointer);
        } catch (const AutomationError& error) {
            Raise(error);
        } catch (const std::bad_alloc&) {
            Raise(AutomationError::Platform(ErrOutOfMemory));
        } catch (const py::builtin_exception&) {
            throw;  // TypeError and the like: pybind11's own translation
        } catch (const std::exception& error) {
            PyErr_SetString(PyExc_RuntimeError, error.what());
        }
    });
}

}  // namespace tavox::python
