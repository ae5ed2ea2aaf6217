#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "support/TestSupport.h"

namespace tavox {
namespace {

using Fields = std::vector<std::string>;

TEST(command_line_test, split_cuts_at_every_single_blank_into_at_most_eight_fields) {
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

TEST(command_line_test, arguments_are_fields_and_a_single_argument_with_blanks_is_cut) {
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

TEST(command_line_test, letters_map_exactly_as_the_table) {
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

}  // namespace
}  // namespace tavox
