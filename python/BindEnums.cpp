#include "python/BindEnums.h"

#include <array>
#include <utility>
#include <vector>

#include "common/Enums.h"

namespace py = pybind11;

namespace tavox::python {

namespace {

using Members = std::vector<std::pair<const char*, std::int32_t>>;

std::array<py::handle, 4>& Classes() {
    static std::array<py::handle, 4> classes;
    return classes;
}

void AddEnum(py::module_& m, EnumKind kind, const char* name, const Members& members) {
    py::list items;
    for (const auto& [member, value] : members) items.append(py::make_tuple(member, value));
    py::object type = py::module_::import("enum").attr("IntEnum")(name, items, py::arg("module") = "tavox");
    m.attr(name) = type;
    for (const auto& [member, value] : members) m.attr(member) = type.attr(member);
    Classes()[static_cast<std::size_t>(kind)] = type.release();  // lives as long as the process
}

}  // namespace

void bindEnums(py::module_& m) {
    AddEnum(m, EnumKind::Result, "fftResultEnum",
            {{"fftResultAllRight", fftResultAllRight},
             {"fftResultFileSysErr", fftResultFileSysErr},
             {"fftResultFileNameErr", fftResultFileNameErr},
             {"fftResultOutOfMemory", fftResultOutOfMemory},
             {"fftResultRepeatFail", fftResultRepeatFail},
             {"fftResultShortFile", fftResultShortFile},
             {"fftResultTargetFull", fftResultTargetFull}});
    AddEnum(m, EnumKind::Method, "fftMethodEnum",
            {{"fftMethodSimple", fftMethodSimple},
             {"fftMethodAverage", fftMethodAverage},
             {"fftMethodMulti", fftMethodMulti}});
    AddEnum(m, EnumKind::Window, "fftWindowEnum",
            {{"fftWindowRectangle", fftWindowRectangle},
             {"fftWindowHanning", fftWindowHanning},
             {"fftWindowFlatTop", fftWindowFlatTop}});
    AddEnum(m, EnumKind::Data, "fftDataEnum",
            {{"fftDataDiskFile", fftDataDiskFile}, {"fftDataExcelRange", fftDataExcelRange}});
}

py::object EnumValue(EnumKind kind, std::int32_t value) {
    const py::handle type = Classes()[static_cast<std::size_t>(kind)];
    py::object member = type.attr("_value2member_map_").attr("get")(value);
    return member.is_none() ? py::int_(value) : member;
}

}  // namespace tavox::python
