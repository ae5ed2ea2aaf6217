// Writes the command-line reference as Markdown to standard output: the
// fields, every option of the table the parser uses, the result codes with
// their English and Czech texts and the exit statuses. The documentation
// build runs it, so the reference says what the program does.
#include <iostream>
#include <string>
#include <string_view>

#include "app/ExitStatus.h"
#include "app/MainModule.h"
#include "app/ProgressText.h"
#include "common/Enums.h"
#include "ui/cli/OptionTable.h"

namespace {

// `text` with every character that Markdown would read as markup escaped.
std::string Escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (std::string_view("\\`*_<>[]{}#|!~^&$").find(c) != std::string_view::npos) out += '\\';
        out += c;
    }
    return out;
}

// The help lines of an option as one paragraph.
std::string Paragraph(std::string_view help) {
    std::string text = Escaped(help);
    for (char& c : text) {
        if (c == '\n') c = ' ';
    }
    return text;
}

void WriteFields(std::ostream& out) {
    out << "## Fields\n\n"
           "A batch is given as fields after the options, as `tavox --help` shows them (in Czech):\n\n"
           "```text\n"
        << tavox::CommandLineHelpText("\n") << "\n```\n\n";
}

void WriteOptions(std::ostream& out) {
    out << "## Options\n\n"
           "Options come before the fields; `--` ends them. Each takes its value after `=`.\n\n";
    for (const tavox::OptionRow& row : tavox::OptionRows()) {
        const std::string name = row.name;
        out << "(option-" << name << ")=\n### `--" << name << "`\n\n";
        if (!row.synopsis.empty()) out << "`" << row.synopsis << "`\n\n";
        if (row.help != nullptr && *row.help != '\0') {
            out << Paragraph(row.help) << "\n\n";
        } else if (name == "help") {
            out << "Prints the fields and the options, then exits with status 0.\n\n";
        } else if (name == "version") {
            out << "Prints the version number, then exits with status 0.\n\n";
        }
        if (!row.allowed.empty()) out << "Its value: " << Escaped(row.allowed) << ".\n\n";
    }
}

void WriteResultCodes(std::ostream& out) {
    out << "(result-codes)=\n## Result codes\n\n"
           "Each file ends with one of these codes: in its result line (Czech), in the report "
           "(`code`, `message_en`, `message_cs`) and in Python (`fftResultEnum`).\n\n"
           "| Code | English | Czech |\n|---|---|---|\n";
    for (std::int32_t code = tavox::fftResultAllRight; code <= tavox::fftResultTargetFull; ++code) {
        out << "| " << code << " | " << Escaped(tavox::ResultMessageEnglish(code)) << " | "
            << Escaped(tavox::ResultMessage(code)) << " |\n";
    }
    out << "| any other | " << Escaped(tavox::ResultMessageEnglish(0)) << " (a runtime error number) | "
        << Escaped(tavox::ResultMessage(0)) << " |\n\n";
}

void WriteExitStatuses(std::ostream& out) {
    out << "(exit-statuses)=\n## Exit statuses\n\n"
           "| Status | When |\n|---|---|\n"
        << "| " << tavox::ExitAllRight << " | every file ended with code " << tavox::fftResultAllRight
        << " (or the help, version or self-test asked for) |\n"
        << "| " << tavox::ExitFileFailed << " | a file failed, no input matched, or the run was broken off |\n"
        << "| " << tavox::ExitRefused << " | the command line was refused: one line on standard error names why |\n\n";
}

}  // namespace

int main() {
    std::cout << "# Command-line reference\n\n"
                 "This page is written by the program's own tables at each documentation build; "
                 "`tavox --help` and `man tavox` say the same.\n\n";
    WriteFields(std::cout);
    WriteOptions(std::cout);
    WriteResultCodes(std::cout);
    WriteExitStatuses(std::cout);
    return 0;
}
