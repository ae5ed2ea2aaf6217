#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/PlotSettings.h"
#include "common/Enums.h"
#include "common/InputOptions.h"
#include "common/OutputOptions.h"
#include "data/BatchShare.h"

namespace tavox {

class Application;
class Parameters;
class SpectrumObserver;

// The values of Parameters as the fields of a command line give them. The
// defaults are those of a new Parameters.
struct TransformSettings {
    fftMethodEnum method = fftMethodSimple;
    bool phase = false;
    bool center = false;
    fftWindowEnum window = fftWindowRectangle;
    std::int32_t width = 128;
    std::optional<std::int32_t> repeat;  // none: the least the method takes
    std::optional<std::string> start;    // as a command line writes it ("5001", "25%"); none: the first sample
    std::optional<std::string> finish;   // the same; none: the last sample

    bool operator==(const TransformSettings&) const = default;
};

// Everything a batch runs with apart from its inputs. Each front end makes
// one: the command line's options, the desktop's windows, the Python
// functions. The defaults give a plain batch (raw outputs, every CPU).
struct BatchSettings {
    TransformSettings transform;
    OutputOptions output;               // format, rate, average mode; the run sets the observer
    InputOptions input;                 // how the inputs are read: kind, raw sample format, channels
    std::optional<PlotSettings> plot;   // a picture next to every output
    std::optional<std::int32_t> jobs;   // threads, 0 to MaxJobs; none or 0: DefaultJobs()
    BatchShare shard;                   // the share of the inputs to transform; all by default
    std::optional<std::string> report;  // a JSON Lines report: a file, or "-" for standard output
    bool quiet = false;                 // no result line per file

    bool operator==(const BatchSettings&) const = default;
};

// Whether a batch takes `rate` as its sample rate: finite and above 0.
// (ValidJobs, in app/Jobs.h, says the same of its threads.)
bool ValidRate(double rate) noexcept;

// Sets `parameters` to `transform` as the fields of a command line set them:
// a repeat, start or finish that cannot be applied leaves its value. Raises
// the errors of SetWidth and SetWindow.
void ApplyTransform(const TransformSettings& transform, Parameters& parameters);

// Gives `app` the output and input options, jobs and share of `settings`, with
// `observer` told about every output; the Parameters stay as they are.
// Raises ErrInvalidCall for jobs out of range.
void ApplyRunSettings(const BatchSettings& settings, Application& app,
                      std::shared_ptr<SpectrumObserver> observer = nullptr);

}  // namespace tavox
