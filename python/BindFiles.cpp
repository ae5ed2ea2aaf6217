#include <pybind11/stl.h>

#include <memory>

#include "app/Files.h"
#include "engine/File.h"
#include "python/Bindings.h"
#include "python/Convert.h"
#include "python/FamilyLock.h"
#include "python/KeyboardStop.h"

namespace py = pybind11;

namespace tavox::python {

namespace {

// Names shown by repr before the rest is only counted.
constexpr std::size_t ReprNames = 5;

py::object Item(Files& self, py::handle Index) {
    const Variant index = ToVariant(Index);
    std::shared_ptr<File> file = CoreCall(self.GetParameters(), [&] { return self.Item(index); });
    return file ? py::cast(std::move(file)) : py::none();
}

py::object Iterate(Files& self) {
    return py::iter(py::cast(CoreCall(self.GetParameters(), [&] { return self.Items(); })));
}

std::int32_t Count(Files& self) {
    return CoreCall(self.GetParameters(), [&] { return self.Count(); });
}

void WriteBack(py::handle argument, const Variant& value) {
    if (py::isinstance<ByRef>(argument)) argument.cast<ByRef&>().value = FromVariant(value);
}

py::object Add(Files& self, py::handle FileType, py::handle Source, py::handle Target) {
    const std::int32_t fileType = ToInt32(FileType);
    Variant source = ToVariant(Source);
    Variant target = ToVariant(Target);
    Variant result;
    // Ctrl+C ends a long listing at once.
    KeyboardStop stop(nullptr);
    try {
        result = CoreCall(self.GetParameters(), [&] { return self.Add(fileType, source, target); });
    } catch (...) {
        WriteBack(Source, source);
        WriteBack(Target, target);
        throw;
    }
    WriteBack(Source, source);
    WriteBack(Target, target);
    stop.Finish();
    return FromVariant(result);
}

std::string Repr(Files& self) {
    const auto names = CoreCall(self.GetParameters(), [&] {
        std::vector<std::string> shown;
        for (std::int32_t i = 1; i <= self.Count() && shown.size() < ReprNames; ++i) {
            shown.push_back(self.Item(Variant(i))->Name());
        }
        return std::pair(shown, self.Count());
    });
    std::string text = "<tavox.Files: " + std::to_string(names.second) + (names.second == 1 ? " file" : " files");
    for (std::size_t i = 0; i < names.first.size(); ++i) {
        text += (i == 0 ? " " : ", ") + py::repr(py::str(names.first[i])).cast<std::string>();
    }
    if (static_cast<std::size_t>(names.second) > names.first.size()) text += ", ...";
    return text + ">";
}

}  // namespace

void bindFiles(py::module_& m) {
    py::class_<Files, std::shared_ptr<Files>> cls(
        m, "Files",
        R"doc(The File objects of a batch, in order of addition, keyed by name.

files[1], files.Item(1) and files(1) are 1-based; files["A.DAT"] looks a file
up by name in any letter case; both give None when nothing matches.
len(files) and iteration work.)doc");
    cls.def_property_readonly("Count", &Count, "int: the number of files.")
        .def("Item", &Item, py::arg("Index"),
             "Item(Index: int | str) -> File | None\n\nA File by 1-based position or by name (any letter case); "
             "None when nothing matches.")
        .def("__getitem__", &Item, "files[index]: as Item(index).")
        .def("__call__", &Item, "files(index): as Item(index).")
        .def("__len__", &Count)
        .def("__iter__", &Iterate, "Iterates over the files in order.")
        .def("__repr__", &Repr)
        .def_property_readonly("NewEnum", &Iterate, "An iterator over the files, as iter(files).")
        .def(
            "Add", &Add, py::arg("FileType"), py::arg("Source"), py::arg("Target"),
            R"doc(Add(FileType: fftDataEnum | int, Source: str | os.PathLike | object, Target: str | os.PathLike | object) -> File | tuple[File, ...] | None

Adds files to the batch and returns what was added: None, one File or a
tuple of File objects.

fftDataDiskFile: Source is a path (str or os.PathLike; "*" and "?" in its
name select several files of one folder, in name order; a relative path is
completed with the package folder) and Target an output-name mask such as
"*out.*". Pass Source as tavox.ByRef(...) to receive the completed path.
fftDataExcelRange: Source and Target are range objects (tavox.NumpyRange,
tavox.OpenpyxlRange or any object with Rows.Count, Columns.Count and
Cells(row, column).Value).

Raises AutomationError 1003 (wrong kinds of Source or Target), 1004 (an
empty Source or an invalid mask) and 457 (a name already in the batch). On
the main thread, Ctrl+C while a folder is listed adds nothing of it and
raises KeyboardInterrupt.)doc")
        .def(
            "Remove",
            [](Files& self, py::handle Index) {
                const Variant index = ToVariant(Index);
                CoreCall(self.GetParameters(), [&] { self.Remove(index); });
            },
            py::arg("Index"),
            "Remove(Index: int | str) -> None\n\nRemoves a file by 1-based position or by name; an index that "
            "matches nothing is ignored.");
    cls.attr("DispIds") =
        DispIdTable({{"Count", 0x68030001}, {"Item", 0}, {"NewEnum", -4}, {"Add", 0x60030002}, {"Remove", 0x60030003}});
}

}  // namespace tavox::python
