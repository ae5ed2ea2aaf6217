#include "python/InputValues.h"

#include "common/OutputOptions.h"

namespace py = pybind11;

namespace tavox::python {

namespace {

std::string TypeName(const py::handle& value) {
    return py::str(py::type::of(value).attr("__name__"));
}

}  // namespace

InputKind InputKindValue(const std::string& name, const char* what) {
    const auto kind = InputKindFromName(name);
    if (!kind) {
        throw py::value_error(std::string(what) + " must be " + NameList(InputKindNames, " or ", "'") + ", not '" +
                              name + "'");
    }
    return *kind;
}

SampleFormat SampleFormatValue(const std::string& name, const char* what) {
    const auto format = SampleFormatFromName(name);
    if (!format) {
        throw py::value_error(std::string(what) + " must be one of " + NameList(SampleFormatNames, " or ", "'") +
                              ", not '" + name + "'");
    }
    return *format;
}

std::int32_t ChannelCount(const py::handle& value, const char* what) {
    if (PyBool_Check(value.ptr()) || !PyLong_Check(value.ptr())) {
        throw py::type_error(std::string(what) + " must be an int, not " + TypeName(value));
    }
    int overflow = 0;
    const long long n = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow != 0 || n < 1 || n > MaxChannels) {
        throw py::value_error(std::string(what) + " must be from 1 to " + std::to_string(MaxChannels) + ", not " +
                              py::str(value).cast<std::string>());
    }
    return static_cast<std::int32_t>(n);
}

void SetChannel(InputOptions& options, const py::handle& value, const char* what) {
    if (py::isinstance<py::str>(value)) {
        if (value.cast<std::string>() != "all") {
            throw py::value_error(std::string(what) + " must be a channel number from 1 or 'all', not " +
                                  py::repr(value).cast<std::string>());
        }
        options.eachChannel = true;
        options.channel = 1;
        return;
    }
    if (PyBool_Check(value.ptr()) || !PyLong_Check(value.ptr())) {
        throw py::type_error(std::string(what) + " must be an int or 'all', not " + TypeName(value));
    }
    options.channel = ChannelCount(value, what);
    options.eachChannel = false;
}

py::object ChannelObject(const InputOptions& options) {
    if (options.eachChannel) return py::str("all");
    return py::int_(options.channel);
}

}  // namespace tavox::python
