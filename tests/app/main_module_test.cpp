#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "app/MainModule.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

using Fields = std::vector<std::string>;

TEST(main_module_test, split_cuts_at_every_single_blank_into_at_most_eight_fields) {
    EXPECT_EQ(SplitCommandLine(""), Fields{});
    EXPECT_EQ(SplitCommandLine("fc"), Fields{"fc"});
    EXPECT_EQ(SplitCommandLine("fc h 1024 a b"), (Fields{"fc", "h", "1024", "a", "b"}));
    EXPECT_EQ(SplitCommandLine("f  1024"), (Fields{"f", "", "1024"}));
    EXPECT_EQ(SplitCommandLine(" a "), (Fields{"", "a", ""}));
    EXPECT_EQ(SplitCommandLine("a\tb"), Fields{"a\tb"});
    EXPECT_EQ(SplitCommandLine("f h 1024 a b 2 0 100 extra  words"),
              (Fields{"f", "h", "1024", "a", "b", "2", "0", "100 extra  words"}));
    EXPECT_EQ(SplitCommandLine("1 2 3 4 5 6 7 "), (Fields{"1", "2", "3", "4", "5", "6", "7", ""}));
}

TEST(main_module_test, arguments_are_fields_and_a_single_argument_with_blanks_is_cut) {
    EXPECT_EQ(FieldsFromArguments({}), Fields{});
    EXPECT_EQ(FieldsFromArguments({"fc", "h", "1024", "/my data/*.dat", "*out.*"}),
              (Fields{"fc", "h", "1024", "/my data/*.dat", "*out.*"}));
    EXPECT_EQ(FieldsFromArguments({"fc h 1024 a b"}), (Fields{"fc", "h", "1024", "a", "b"}));
    EXPECT_EQ(FieldsFromArguments({"f", "", "1024"}), (Fields{"f", "", "1024"}));
    EXPECT_EQ(FieldsFromArguments({"f", "h", "1024", "a", "b", "2", "0", "100", "extra", "x y"}),
              (Fields{"f", "h", "1024", "a", "b", "2", "0", "100 extra x y"}));
    // Without blanks inside arguments the result equals the cutting of the joined text.
    const Fields words = {"e", "p", "512", "in", "out", "1", "2", "3", "4"};
    std::string joined;
    for (const auto& w : words) joined += (joined.empty() ? "" : " ") + w;
    EXPECT_EQ(FieldsFromArguments(words), SplitCommandLine(joined));
}

TEST(main_module_test, letters_map_exactly_as_the_table) {
    const std::string source = "TAVOX.Application";
    EXPECT_EQ(MethodFromLetter("f"), fftMethodSimple);
    EXPECT_EQ(MethodFromLetter("E"), fftMethodSimple);
    EXPECT_EQ(MethodFromLetter("pc"), fftMethodAverage);
    EXPECT_EQ(MethodFromLetter("M"), fftMethodMulti);
    for (const std::string bad : {"", "x", "C", "\xC3\xA9"}) {
        EXPECT_AUTOMATION_ERROR(MethodFromLetter(bad), -2147220503, source, "Command line fault");
    }
    EXPECT_TRUE(PhaseFromLetter("F"));
    EXPECT_FALSE(PhaseFromLetter("e"));
    EXPECT_FALSE(PhaseFromLetter("p"));
    EXPECT_FALSE(PhaseFromLetter(""));
    EXPECT_TRUE(CenterFromLetter("fc"));
    EXPECT_TRUE(CenterFromLetter("mC"));
    EXPECT_FALSE(CenterFromLetter("c"));
    EXPECT_FALSE(CenterFromLetter("fx"));
    EXPECT_EQ(WindowFromLetter("P"), fftWindowRectangle);
    EXPECT_EQ(WindowFromLetter("hann"), fftWindowHanning);
    EXPECT_EQ(WindowFromLetter("f"), fftWindowFlatTop);
    for (const std::string bad : {"", "r", " h"}) {
        EXPECT_AUTOMATION_ERROR(WindowFromLetter(bad), -2147220503, source, "Command line fault");
    }
}

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
