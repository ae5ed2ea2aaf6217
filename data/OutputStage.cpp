#include "data/OutputStage.h"

namespace tavox {

bool OutputStage::Add(Step step, bool measuring) noexcept {
    if (stepCount_ == MaxSteps) return false;
    steps_[stepCount_++] = step;
    measuring_ = measuring_ || measuring;
    return true;
}

void Measures::Set(std::string_view name, double value) noexcept {
    for (std::size_t k = 0; k < count; ++k) {
        if (values[k].first == name) {
            values[k].second = value;
            return;
        }
    }
    if (count < MaxCount) values[count++] = {name, value};
}

void OutputStage::Finish(std::size_t row, std::span<double> values, std::int32_t exposures) const noexcept {
    Measures unkept;
    Measures& measures = measures_ != nullptr ? *measures_ : unkept;
    for (std::size_t k = 0; k < stepCount_; ++k) steps_[k](row, values, exposures, context_, measures);
}

SpectrumShape OutputStage::Shape(std::size_t bins, std::size_t rows) const noexcept {
    return SpectrumShape{bins, rows, 2 * bins, names_};
}

}  // namespace tavox
