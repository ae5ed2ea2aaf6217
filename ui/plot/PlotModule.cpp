#include <QGuiApplication>
#include <cstdio>
#include <memory>
#include <optional>

#include "ui/plot/PlotApi.h"

namespace {

// Qt's notes about the environment (such as a missing XDG_RUNTIME_DIR) are
// no concern of a terminal run; errors still reach standard error.
void KeepErrorsOnly(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "tavox: %s\n", qPrintable(message));
}

// The picture writer of a terminal run needs fonts, which come with a
// QGuiApplication; without a display it runs on the offscreen platform.
void EnsureGuiApplication() {
    if (QCoreApplication::instance() != nullptr) return;
    qInstallMessageHandler(KeepErrorsOnly);
    static int argc = 3;
    static char name[] = "tavox";
    static char option[] = "-platform";
    static char platform[] = "offscreen";
    static char* argv[] = {name, option, platform, nullptr};
    static QGuiApplication application(argc, argv);
}

}  // namespace

// Entry points the tavox program looks up after loading this module.
extern "C" __attribute__((visibility("default"))) void tavox_make_plot_writer(
    const tavox::PlotOptions* plot, const std::optional<double>* rate, std::shared_ptr<tavox::PlotWriter>* writer) {
    EnsureGuiApplication();
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
