#include "common/MeasureOptions.h"

namespace tavox {

bool ValidBandsPerOctave(std::int64_t bands) noexcept {
    return bands == 1 || bands == 3 || bands == 6 || bands == 12;
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

std::optional<double> Measures::Get(std::string_view name) const noexcept {
    for (std::size_t k = 0; k < count; ++k) {
        if (values[k].first == name) return values[k].second;
    }
    return std::nullopt;
}

}  // namespace tavox
