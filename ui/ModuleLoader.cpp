#include "ui/ModuleLoader.h"

#include <dlfcn.h>

#include "data/Path.h"
#include "ui/plot/PlotApi.h"

namespace tavox {

namespace {

using DesktopEntry = int (*)(int, char**, const std::vector<std::string>*, const BatchSettings*);
using WriterEntry = void (*)(const PlotOptions*, const std::optional<double>*, std::shared_ptr<PlotWriter>*);
using ViewerEntry = int (*)(int, char**, const ViewOptions*, const std::optional<double>*);
using PeaksEntry = int (*)(const ViewOptions*, const std::optional<double>*, std::ostream*, std::ostream*);

// Next to the program in the build tree; in the library folder once installed.
void* LoadModule(const std::string& name, std::string& error) {
    const std::string folder = ProgramFolder();
    for (const std::string& path : {folder + name, folder + TAVOX_DESKTOP_MODULE_FROM_BIN "/" + name}) {
        if (void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
        const char* reason = ::dlerror();
        if (error.empty() && reason != nullptr) error = reason;
    }
    return nullptr;
}

// The entry `entry` of module `name`; `missing` is the reason given when the
// module has no such entry.
template <class Entry>
Entry FindEntry(const std::string& name, const char* entry, const std::string& missing, std::string& error) {
    void* module = LoadModule(name, error);
    if (module == nullptr) return nullptr;
    const auto found = reinterpret_cast<Entry>(::dlsym(module, entry));
    if (found == nullptr) error = missing;
    return found;
}

template <class Entry>
Entry FindPlotEntry(const char* entry, std::string& error) {
    return FindEntry<Entry>("libtavox_plot.so", entry, std::string("libtavox_plot.so has no entry point ") + entry,
                            error);
}

}  // namespace

std::optional<int> RunDesktopModule(int argc, char** argv, const std::vector<std::string>& fields,
                                    const BatchSettings& settings, std::string& error) {
    const auto entry = FindEntry<DesktopEntry>("libtavox_desktop.so", "tavox_run_desktop",
                                               "libtavox_desktop.so has no entry point", error);
    if (entry == nullptr) return std::nullopt;
    return entry(argc, argv, &fields, &settings);
}

std::shared_ptr<PlotWriter> LoadPlotWriter(const PlotOptions& plot, std::optional<double> rate, std::string& error) {
    const auto entry = FindPlotEntry<WriterEntry>("tavox_make_plot_writer", error);
    if (entry == nullptr) return nullptr;
    std::shared_ptr<PlotWriter> writer;
    entry(&plot, &rate, &writer);
    return writer;
}

std::optional<int> RunViewerModule(int argc, char** argv, const ViewOptions& view, std::optional<double> rate,
                                   std::string& error) {
    const auto entry = FindPlotEntry<ViewerEntry>("tavox_run_viewer", error);
    if (entry == nullptr) return std::nullopt;
    return entry(argc, argv, &view, &rate);
}

std::optional<int> WritePeaksModule(const ViewOptions& view, std::optional<double> rate, std::ostream& out,
                                    std::ostream& err, std::string& error) {
    const auto entry = FindPlotEntry<PeaksEntry>("tavox_write_peaks", error);
    if (entry == nullptr) return std::nullopt;
    return entry(&view, &rate, &out, &err);
}

}  // namespace tavox
