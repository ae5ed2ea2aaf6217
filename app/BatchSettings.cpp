#include "app/BatchSettings.h"

#include <cmath>

#include "app/Application.h"
#include "app/Files.h"
#include "common/IgnoringErrors.h"
#include "common/Variant.h"
#include "engine/Parameters.h"

namespace tavox {

bool ValidRate(double rate) noexcept {
    return std::isfinite(rate) && rate > 0;
}

void ApplyTransform(const TransformSettings& transform, Parameters& parameters) {
    parameters.SetMethod(transform.method);
    parameters.SetPhase(transform.phase);
    parameters.SetCenter(transform.center);
    parameters.SetWindow(transform.window);
    parameters.SetWidth(transform.width);
    if (transform.repeat) IgnoringErrors([&] { parameters.SetRepeat(*transform.repeat); });
    if (transform.start) IgnoringErrors([&] { parameters.SetStart(Variant(*transform.start)); });
    if (transform.finish) IgnoringErrors([&] { parameters.SetFinish(Variant(*transform.finish)); });
}

void ApplyRunSettings(const BatchSettings& settings, Application& app, std::shared_ptr<SpectrumObserver> observer) {
    app.SetJobs(settings.jobs.value_or(0));
    OutputOptions output = settings.output;
    output.observer = std::move(observer);
    app.FFTFiles()->SetOutputOptions(output);
    app.FFTFiles()->SetInputOptions(settings.input);
    app.FFTFiles()->SetShare(settings.shard);
}

}  // namespace tavox
