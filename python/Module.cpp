#include <dlfcn.h>
#include <pybind11/pybind11.h>

#include <string>

#include "data/Path.h"
#include "data/formats/InputFormats.h"
#include "python/BindEnums.h"
#include "python/Bindings.h"
#include "python/Convert.h"
#include "python/Errors.h"
#include "zip/ZipArchive.h"

namespace py = pybind11;

namespace tavox::python {

namespace {

// Folder of this shared object: relative masks are completed with it.
std::string ModuleFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ModuleFolder), &info) == 0 || info.dli_fname == nullptr) return {};
    return PathFolder(info.dli_fname);
}

}  // namespace

py::dict DispIdTable(std::initializer_list<std::pair<const char*, int>> members) {
    py::dict table;
    for (const auto& [name, id] : members) table[py::str(name)] = id;
    return table;
}

}  // namespace tavox::python

PYBIND11_MODULE(_tavox, m) {
    using namespace tavox::python;
    m.doc() = "TAVOX object model: batch amplitude spectra of sample files, sound files and SigMF recordings.";
    // Each docstring begins with the Python signature of its function.
    py::options options;
    options.disable_function_signatures();
    const std::string folder = ModuleFolder();
    if (!folder.empty()) tavox::SetProgramFolder(folder);
    tavox::RegisterInputFormats();
    tavox::InstallZipArchive();

    bindAutomationError(m);
    bindEnums(m);
    bindByRef(m);
    bindParameters(m);
    bindFile(m);
    bindFiles(m);
    bindSettings(m);
    bindApplication(m);
    bindArrays(m);
    bindSignal(m);
    m.attr("__version__") = TAVOX_VERSION;
}
