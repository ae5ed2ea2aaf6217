#include <QApplication>
#include <QString>

#include "ui/plot/PlotApi.h"
#include "ui/plot/SpectrogramFile.h"
#include "ui/plot/SpectrogramViewer.h"
#include "ui/plot/SpectrumViewer.h"

namespace tavox {

int RunViewer(int argc, char** argv, const ViewOptions& view, std::optional<double> rate) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavox"));
    QApplication::setApplicationVersion(QStringLiteral(TAVOX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tavox"));
    if (IsSpectrogramPath(view.file) || view.format == OutputFormat::Npz) {
        SpectrogramViewer::Open(view.file, view, rate);
    } else {
        SpectrumViewer::Open(view.file, view, rate);
    }
    return QApplication::exec();
}

}  // namespace tavox
