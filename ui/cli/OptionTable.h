#pragma once

#include <span>
#include <string>
#include <string_view>

struct option;

namespace tavox {

struct CommandOptions;

// One option of the tavox command line: what the parser, the help, the
// error lines and the bash completion know of it.
struct OptionRow {
    const char* name;      // without "--"
    int argument;          // getopt's no_argument, required_argument or optional_argument
    std::string allowed;   // what its value takes, as the error lines say it
    std::string synopsis;  // how --help shows it; empty: with the row before it
    const char* help;      // the lines --help shows beside it, separated by LF
    std::string values;    // what the completion offers for its value: words, "@file", "@text" or ""
    // Applies the option with its value (null when none was given) to
    // `options`; returns the error line, or nothing.
    std::string (*apply)(const OptionRow& row, const char* value, CommandOptions& options);
};

// The options in the order --help lists them.
std::span<const OptionRow> OptionRows();

// The row of `name` (without "--"), or null.
const OptionRow* FindOption(std::string_view name);

// The getopt_long id of the first row: above every byte, so that the parser
// tells a refused long option (optopt 0 or an id) from a short one (a byte).
inline constexpr int FirstOptionId = 0x100;

// getopt_long's table of the rows, ended by a zero row; each row's val is its
// position in OptionRows() plus FirstOptionId.
const option* LongOptions();

// "--format, --rate, ... and --version".
std::string AllOptionNames();

// The English section on the options that --help prints below the help,
// lines ended by LF; its last line names the manual page and the installed
// HTML documentation.
std::string OptionsHelpText();

}  // namespace tavox
