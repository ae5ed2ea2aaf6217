#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>
#include <locale>

#include "zip/ZipArchive.h"

int main(int argc, char** argv) {
    tavox::InstallZipArchive();
    // Window tests never need a display, test discovery at build time included.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", TAVOX_UI_TEST_DIR "/config");
    QApplication application(argc, argv);
    // QApplication takes the environment's C locale; tests choose their own.
    std::setlocale(LC_ALL, "C");
    std::locale::global(std::locale::classic());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
