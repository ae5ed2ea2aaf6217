#include "data/OutputStage.h"

namespace tavox {

bool OutputStage::Add(Step step) noexcept {
    if (stepCount_ == MaxSteps) return false;
    steps_[stepCount_++] = step;
    return true;
}

void OutputStage::Finish(std::size_t row, std::span<double> values, std::int32_t exposures) const noexcept {
    for (std::size_t k = 0; k < stepCount_; ++k) steps_[k](row, values, exposures, context_);
}

SpectrumShape OutputStage::Shape(std::size_t bins, std::size_t rows) const noexcept {
    return SpectrumShape{bins, rows, 2 * bins, names_};
}

}  // namespace tavox
