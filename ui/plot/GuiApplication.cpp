#include "ui/plot/GuiApplication.h"

#include <QGuiApplication>
#include <cstdio>

namespace tavox {
namespace {

void KeepErrorsOnly(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "tavox: %s\n", qPrintable(message));
}

}  // namespace

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

}  // namespace tavox
