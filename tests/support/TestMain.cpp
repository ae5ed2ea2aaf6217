#include <gtest/gtest.h>

#include <clocale>
#include <locale>

#include "zip/ZipArchive.h"

int main(int argc, char** argv) {
    tavox::InstallZipArchive();
    // Tests that need a decimal comma install their own locale.
    std::locale::global(std::locale::classic());
    std::setlocale(LC_ALL, "C");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
