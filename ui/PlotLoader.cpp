#include "ui/PlotLoader.h"

#include <dlfcn.h>

#include <vector>

#include "data/Path.h"
#include "ui/plot/PlotApi.h"

namespace tavox {

namespace {

using WriterEntry = void (*)(const PlotOptions*, const std::optional<double>*, std::shared_ptr<PlotWriter>*);
using ViewerEntry = int (*)(int, char**, const ViewOptions*, const std::optional<double>*);

// Next to the program in the build tree; in the library folder once installed.
void* LoadModule(std::string& error) {
    const std::string folder = ProgramFolder();
    for (const std::string& path :
         {folder + "libtavox_plot.so", folder + TAVOX_DESKTOP_MODULE_FROM_BIN "/libtavox_plot.so"}) {
        // The module stays loaded until the process ends: Qt registers exit handlers.
        if (void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
        const char* reason = ::dlerror();
        if (error.empty() && reason != nullptr) error = reason;
    }
    return nullptr;
}

template <class Entry>
Entry FindEntry(const char* name, std::string& error) {
    void* module = LoadModule(error);
    if (module == nullptr) return nullptr;
    const auto entry = reinterpret_cast<Entry>(::dlsym(module, name));
    if (entry == nullptr) error = std::string("libtavox_plot.so has no entry point ") + name;
    return entry;
}

}  // namespace

std::shared_ptr<PlotWriter> LoadPlotWriter(const PlotOptions& plot, std::optional<double> rate, std::string& error) {
    const auto entry = FindEntry<WriterEntry>("tavox_make_plot_writer", error);
    if (entry == nullptr) return nullptr;
    std::shared_ptr<PlotWriter> writer;
    entry(&plot, &rate, &writer);
    return writer;
}

std::optional<int> RunViewerModule(int argc, char** argv, const ViewOptions& view, std::optional<double> rate,
                                   std::string& error) {
    const auto entry = FindEntry<ViewerEntry>("tavox_run_viewer", error);
    if (entry == nullptr) return std::nullopt;
    return entry(argc, argv, &view, &rate);
}

}  // namespace tavox
