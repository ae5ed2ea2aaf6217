#include "python/PySink.h"

#include "engine/File.h"
#include "python/BindEnums.h"
#include "python/Convert.h"

namespace py = pybind11;

namespace tavox::python {

PySink::~PySink() {
    if (!Py_IsInitialized()) {
        sink_.release();  // the interpreter is gone; nothing left to release
        return;
    }
    py::gil_scoped_acquire gil;
    sink_ = py::object();
}

py::object PySink::Handler(const char* name) const {
    return py::getattr(sink_, name, py::none());
}

void PySink::WillExecute(std::int16_t& Cancel) {
    py::gil_scoped_acquire gil;
    const py::object handler = Handler("WillExecute");
    if (handler.is_none()) return;
    py::object holder = py::cast(ByRef{py::int_(Cancel)});
    handler(holder);
    Cancel = ToInt16(holder.cast<ByRef&>().value);
}

void PySink::FileComplete(std::shared_ptr<File>& File, std::int32_t& Result) {
    py::gil_scoped_acquire gil;
    const py::object handler = Handler("FileComplete");
    if (handler.is_none()) return;
    handler(File, py::cast(ByRef{EnumValue(EnumKind::Result, Result)}));
}

void PySink::ExecuteComplete() {
    py::gil_scoped_acquire gil;
    const py::object handler = Handler("ExecuteComplete");
    if (!handler.is_none()) handler();
}

}  // namespace tavox::python
