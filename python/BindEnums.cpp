#include "python/BindEnums.h"

#include <pybind11/eval.h>

#include <array>
#include <utility>
#include <vector>

#include "common/Enums.h"
#include "common/OutputOptions.h"
#include "data/SpectrumFormats.h"
#include "engine/WindowAndMethodNames.h"

namespace py = pybind11;

namespace tavox::python {

namespace {

using Members = std::vector<std::pair<const char*, std::int32_t>>;

std::array<py::handle, 4>& Classes() {
    static std::array<py::handle, 4> classes;
    return classes;
}

// Result codes hold any error number: a number without a name of its own
// becomes a member named after it (error6 for 6), so that a code is always
// a member of the enumeration.
constexpr const char* ResultBaseSource = R"py(
import enum

class ResultCodes(enum.IntEnum):
    @classmethod
    def _missing_(cls, value):
        if not isinstance(value, int) or isinstance(value, bool):
            return None
        member = int.__new__(cls, value)
        member._name_ = "error%d" % value if value >= 0 else "error_%d" % -value
        member._value_ = value
        return cls._value2member_map_.setdefault(value, member)
)py";

py::object ResultBase() {
    py::dict scope;
    scope["__name__"] = "tavox";
    py::exec(ResultBaseSource, scope);
    return scope["ResultCodes"];
}

void AddEnum(py::module_& m, EnumKind kind, const char* name, const Members& members, const char* doc) {
    py::list items;
    for (const auto& [member, value] : members) items.append(py::make_tuple(member, value));
    py::object base = kind == EnumKind::Result ? ResultBase() : py::module_::import("enum").attr("IntEnum");
    py::object type = base(name, items, py::arg("module") = "tavox");
    type.attr("__doc__") = doc;
    m.attr(name) = type;
    for (const auto& [member, value] : members) m.attr(member) = type.attr(member);
    Classes()[static_cast<std::size_t>(kind)] = type.release();  // lives as long as the process
}

// The tables the package takes its choices from: (name, value) of each
// window and method, the average modes' names and, in the order of their
// names, (name, magic, extension, self-describing, NumPy type) of each
// output format; the names of the scales, units, detrends and transforms, and
// (column, scale, unit) of every quantity.
void BindNameTables(py::module_& m) {
    py::list windows;
    for (const WindowNames& row : WindowNameTable) windows.append(py::make_tuple(row.name, std::int32_t{row.window}));
    m.attr("_window_names") = py::tuple(windows);
    py::list methods;
    for (const MethodNames& row : MethodNameTable) methods.append(py::make_tuple(row.name, std::int32_t{row.method}));
    m.attr("_method_names") = py::tuple(methods);
    py::list modes;
    for (const std::string_view name : AverageModeNames) modes.append(name);
    m.attr("_average_modes") = py::tuple(modes);
    py::list formats;
    for (const std::string_view name : OutputFormatNames) {
        const SpectrumFormat& row = SpectrumFormatOf(*FormatFromName(name));
        formats.append(py::make_tuple(name, py::bytes(row.magic.data(), row.magic.size()), row.extension,
                                      row.selfDescribing, row.valueType));
    }
    m.attr("_output_formats") = py::tuple(formats);
    const auto names = [](const auto& table) {
        py::list list;
        for (const std::string_view name : table) list.append(name);
        return py::tuple(list);
    };
    m.attr("_scales") = names(SpectrumScaleNames);
    m.attr("_units") = names(SpectrumUnitNames);
    m.attr("_detrends") = names(DetrendNames);
    m.attr("_fft_modes") = names(FftModeNames);
    py::list columns;
    for (const QuantityNames& row : QuantityTable()) {
        columns.append(py::make_tuple(row.column, ScaleName(row.quantity.scale), UnitName(row.quantity.unit)));
    }
    m.attr("_quantity_columns") = py::tuple(columns);
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
             {"fftResultTargetFull", fftResultTargetFull},
             {"fftResultFormatErr", fftResultFormatErr}},
            "Result codes of a transform: 1101 all right, 1102 file-system error, 1103 an output would overwrite "
            "its source, 1104 out of memory, 1105 repeat failure, 1106 the range does not fit the source, 1107 "
            "the target is full, 1108 the input format is not supported or the file is damaged. Any other number is "
            "the runtime error trapped inside a transform (6 overflow, 7 "
            "out of memory, ...), a member named error6, error7, ...");
    AddEnum(m, EnumKind::Method, "fftMethodEnum",
            {{"fftMethodSimple", fftMethodSimple},
             {"fftMethodAverage", fftMethodAverage},
             {"fftMethodMulti", fftMethodMulti}},
            "Methods: one exposure, the average of Repeat exposures, or each exposure into an output of its own.");
    AddEnum(m, EnumKind::Window, "fftWindowEnum",
            {{"fftWindowRectangle", fftWindowRectangle},
             {"fftWindowHanning", fftWindowHanning},
             {"fftWindowFlatTop", fftWindowFlatTop}},
            "Windows: rectangle, Hanning, flat top.");
    AddEnum(m, EnumKind::Data, "fftDataEnum",
            {{"fftDataDiskFile", fftDataDiskFile}, {"fftDataExcelRange", fftDataExcelRange}},
            "Kinds of data: a sequence file on disk, or a pair of spreadsheet ranges.");
    BindNameTables(m);
}

py::object EnumValue(EnumKind kind, std::int32_t value) {
    const py::handle type = Classes()[static_cast<std::size_t>(kind)];
    if (kind == EnumKind::Result) return type(value);
    py::object member = type.attr("_value2member_map_").attr("get")(value);
    return member.is_none() ? py::int_(value) : member;
}

}  // namespace tavox::python
