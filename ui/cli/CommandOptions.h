#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/BatchSettings.h"
#include "ui/plot/PlotOptions.h"

namespace tavox {

// What the options in front of the fields of a tavox command line ask for:
// the settings of a batch (but its transform, which the fields give), and
// what is no batch's (the viewer, the help, the version, the self-test).
struct CommandOptions : BatchSettings {
    // The options given, by name without "--", in order (for the checks that
    // need the fields).
    std::vector<std::string> given;
    std::optional<ViewOptions> view;  // the file of --view or --peaks, and how to read it
    bool peaks = false;               // --peaks: view.file's peaks are written, no window opens
    bool help = false;
    bool version = false;
    bool selfTest = false;

    bool Given(const std::string& name) const;
};

struct ParsedCommandLine {
    CommandOptions options;
    std::vector<std::string> arguments;  // what follows the options: the fields
    std::string error;                   // one line naming the option and what is allowed; empty when none
};

// Reads the options, GNU style (--name=value or --name value, unambiguous
// abbreviations), up to the first argument that is not one or up to "--".
// An argument after the first field that looks like an option ("--...") is
// an error unless "--" came first. Checks every value (--report: that its
// folder exists); creates nothing.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The checks that need the fields: --average only with method p, batch
// options only with fields, --self-test and --view only without them,
// --plot-size only with --plot, --width and --phase only with --view and
// nothing else but --rate and --format with it; the scale
// and unit with a format that holds them and the full scale their volts
// need, --average=rms only on the amplitude scale, --overlap only with
// methods p and m, --pad not below the width, --detrend=none not with the
// letter c. Returns one line,
// or nothing when all is well; a first field of no known method is left to
// the command line's own refusal.
std::string CheckOptionsAgainstFields(const CommandOptions& options, const std::vector<std::string>& fields);

// The threads of a batch: --jobs, else `environment` (the value of
// TAVOX_JOBS, when set), else every CPU this process may use; 0 in either
// means every CPU. Sets `error` to one line when the environment's value is
// no count.
std::int32_t ResolveJobs(const CommandOptions& options, const char* environment, std::string& error);

// Makes the input field (the fourth) absolute against `folder` when it does
// not begin with "/"; an empty field stays empty.
void MakeInputAbsolute(std::vector<std::string>& fields, const std::string& folder);

}  // namespace tavox
