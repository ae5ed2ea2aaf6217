#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "app/ApplicationEvents.h"

namespace tavox {

class Application;
class PlotWriter;
struct BatchSettings;

// The report of a command run as a front end writes it: it follows the
// events of the run and is finished with the run's exit status.
class RunReport : public ApplicationEvents {
public:
    // Subscribes to the events of `app`, which it holds weakly.
    virtual void Attach(const std::shared_ptr<Application>& app) = 0;
    // False when the report could not be opened; it then cancels the run.
    virtual bool Opened() const noexcept = 0;
    // Why it could not be opened or written; empty while all is well.
    virtual const std::string& Error() const noexcept = 0;
    // Writes the totals with the exit status and closes the report; nothing
    // when the run never began.
    virtual void Finish(int exitStatus) = 0;
};

// What a front end hands to a command run beside its settings. Any part may
// be empty.
struct CommandRunParts {
    std::shared_ptr<RunReport> report;  // the report settings.report asks for
    std::shared_ptr<PlotWriter> plots;  // the pictures settings.plot asks for
    // Shows the help after a refused command line.
    std::function<void()> showHelp;
    // Told first when an error ended the run, before anything is said.
    std::function<void()> failed;
    // Given by a front end whose stop signals break a run (the terminal):
    // true once one cut the exposures of a file short. A run so stopped says
    // after how many files it stopped, and its Application is left for the
    // end of the process to free.
    std::function<bool()> cutShort;
};

// Runs a command line: a new Application with the output options, jobs and
// share of `settings`, the pictures and report of `parts`, and
// FFTCommandFields(fields), whose fields give the transform and the inputs.
// The host's hooks (progress, event pump, stop requests) stay the front
// end's. Says on `err`, one line each: a report that could not be opened
// (the run stops before its first file, ExitRefused), an interruption, a
// share that holds none of the inputs that match (ExitAllRight once the run
// completed) or else why no input matched (NoInputMessage), each picture and
// report that could not be written (at least ExitFileFailed). A refused
// command line calls showHelp and a run stopped by lack of memory says so
// (ExitRefused). With settings.quiet, each file that failed is named on
// `err` in its result line (ResultLine). Returns the ExitStatus.
int RunCommand(const std::vector<std::string>& fields, const BatchSettings& settings, const CommandRunParts& parts,
               std::ostream& err);

}  // namespace tavox
