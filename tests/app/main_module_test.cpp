#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>

#include "app/MainModule.h"

namespace tavox {
namespace {

TEST(main_module_test, help_text_is_exact) {
    const std::string expected =
        "FFT A[B] C DELKA VSTUP VYSTUP [D] [E] [F]\r\n"
        "\r\n"
        "A\t- f - ze souboru do souboru (s fází)\r\n"
        "\t- e - ze souboru do souboru (bez fáze)\r\n"
        "\t- p - průměrování do jednoho souboru\r\n"
        "\t- m - expozice do jednotlivych souborů\r\n"
        "B\t- c - centrování spekter\r\n"
        "C\t- p - Pravouhlá váhová funkce\r\n"
        "\t- h - Hanningova váhová funkce\r\n"
        "\t- f - Flat-Top váhová funkce\r\n"
        "DELKA\t- délka výpočtové vstupní sekvence\r\n"
        "\t   (zaokrouhluje se na mocninu 2 - max 65536)\r\n"
        "VSTUP\t- cesta k vstupnímu souboru (platí *-ková konvence)\r\n"
        "VYSTUP\t- maska pro vytvoření názvu výstupního souboru (platí *-ková konvence)\r\n"
        "D \t- počet opakování expozice\r\n"
        "E \t- počátek hodnocení v souboru (0 nebo nic - od pocatku souboru)\r\n"
        "F \t- konec hodnocení v souboru (0 nebo nic - do konce souboru)\r\n"
        "\r\n"
        "(V hranatých závorkách jsou parametry nepovinné)";
    EXPECT_EQ(CommandLineHelpText(), expected);
    EXPECT_EQ(std::string(CommandLineHelpTitle), "FFT Command Line Help");
    const std::string lf = CommandLineHelpText("\n");
    EXPECT_EQ(std::count(lf.begin(), lf.end(), '\n'), 18);
    EXPECT_EQ(std::count(lf.begin(), lf.end(), '\t'), 15);
    EXPECT_EQ(lf.find('\r'), std::string::npos);
}

TEST(main_module_test, command_line_mode_is_held_per_thread_and_start_mode_per_process) {
    EXPECT_FALSE(IsStandalone());
    EXPECT_FALSE(CommandLineMode());
    SetCommandLineMode(true);
    SetStartMode(StartMode::Standalone);
    bool otherThreadMode = true;
    bool otherThreadStandalone = false;
    std::thread([&] {
        otherThreadMode = CommandLineMode();
        otherThreadStandalone = IsStandalone();
    }).join();
    EXPECT_FALSE(otherThreadMode);
    EXPECT_TRUE(otherThreadStandalone);
    EXPECT_TRUE(CommandLineMode());
    SetCommandLineMode(false);
    SetStartMode(StartMode::Automation);
}

}  // namespace
}  // namespace tavox
