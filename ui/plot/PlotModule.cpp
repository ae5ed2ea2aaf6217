#include <memory>
#include <optional>

#include "ui/plot/GuiApplication.h"
#include "ui/plot/PlotApi.h"

// Entry points the tavox program looks up after loading this module.
extern "C" __attribute__((visibility("default"))) void tavox_make_plot_writer(
    const tavox::PlotOptions* plot, const std::optional<double>* rate, std::shared_ptr<tavox::PlotWriter>* writer) {
    tavox::EnsureGuiApplication();
    *writer = tavox::MakePlotWriter(*plot, *rate);
}

extern "C" __attribute__((visibility("default"))) int tavox_run_viewer(int argc, char** argv,
                                                                       const tavox::ViewOptions* view,
                                                                       const std::optional<double>* rate) {
    return tavox::RunViewer(argc, argv, *view, *rate);
}

extern "C" __attribute__((visibility("default"))) int tavox_write_peaks(const tavox::ViewOptions* view,
                                                                        const std::optional<double>* rate,
                                                                        std::ostream* out, std::ostream* err) {
    return tavox::WritePeaks(*view, *rate, *out, *err);
}
