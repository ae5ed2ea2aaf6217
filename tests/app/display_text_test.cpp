#include <gtest/gtest.h>

#include <string>

#include "app/DisplayText.h"
#include "app/ProgressText.h"
#include "common/Enums.h"

namespace tavox {
namespace {

TEST(display_text_test, plain_names_stay_as_they_are) {
    for (const std::string name : {"sig.dat", "Příliš žluťoučký kůň.dat", "a\\nb.dat", "日本.dat", "😀 é.dat", ""}) {
        EXPECT_EQ(DisplayText(name), name);
    }
}

TEST(display_text_test, control_characters_are_escaped) {
    EXPECT_EQ(DisplayText("a\nb"), "a\\nb");
    EXPECT_EQ(DisplayText("\x1b[31mred"), "\\x1b[31mred");
    EXPECT_EQ(DisplayText(std::string("\a\b\t\n\v\f\r", 7)), "\\a\\b\\t\\n\\v\\f\\r");
    EXPECT_EQ(DisplayText(std::string("a\0b", 3)), "a\\x00b");
    EXPECT_EQ(DisplayText("\x7f"), "\\x7f");
    // C1 controls (U+0080 to U+009F), CSI among them, are escaped byte by byte.
    EXPECT_EQ(DisplayText("\xc2\x9b"
                          "31m"),
              "\\xc2\\x9b31m");
    EXPECT_EQ(DisplayText("\xc2\xa0"), "\xc2\xa0");  // no-break space is no control
}

TEST(display_text_test, bytes_that_are_not_utf8_are_escaped_one_by_one) {
    EXPECT_EQ(DisplayText("bad\xff\xfe.dat"), "bad\\xff\\xfe.dat");
    EXPECT_EQ(DisplayText("\xc3"), "\\xc3");                             // cut short
    EXPECT_EQ(DisplayText("\xc3(x"), "\\xc3(x");                         // lead without its continuation
    EXPECT_EQ(DisplayText("\x80x"), "\\x80x");                           // continuation without lead
    EXPECT_EQ(DisplayText("\xc0\xaf"), "\\xc0\\xaf");                    // overlong "/"
    EXPECT_EQ(DisplayText("\xe0\x80\xaf"), "\\xe0\\x80\\xaf");           // overlong
    EXPECT_EQ(DisplayText("\xed\xa0\x80"), "\\xed\\xa0\\x80");           // surrogate
    EXPECT_EQ(DisplayText("\xf4\x90\x80\x80"), "\\xf4\\x90\\x80\\x80");  // past U+10FFFF
    EXPECT_EQ(DisplayText("\xf0\x9f\x98"), "\\xf0\\x9f\\x98");
}

// An escaped name keeps the result line one line with the arrow in its column.
TEST(display_text_test, escaped_names_keep_result_lines_whole) {
    const std::string line = ResultLine(DisplayText("a\nb\x1b[2J\xff.dat"), fftResultAllRight);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(line.find('\x1b'), std::string::npos);
    EXPECT_EQ(line.rfind("a\\nb\\x1b[2J\\xff.dat", 0), 0u);
    EXPECT_EQ(CharacterCount(line.substr(0, line.find("-->>"))), 32u);
}

}  // namespace
}  // namespace tavox
