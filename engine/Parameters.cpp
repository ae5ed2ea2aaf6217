#include "engine/Parameters.h"

#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>

#include "common/AutomationError.h"
#include "common/Numeric.h"
#include "engine/Shaping.h"

namespace tavox {

namespace {

constexpr double LargestFraction = 0.9999;
constexpr std::int16_t MaxRepeat = 999;

template <class T>
T AbsoluteOrOverflow(T value) {
    if (value == std::numeric_limits<T>::min()) throw AutomationError::Platform(ErrOverflow);
    return value < 0 ? static_cast<T>(-value) : value;
}

unsigned __int128 PowerOfTen(unsigned exponent) noexcept {
    unsigned __int128 result = 1;
    for (unsigned i = 0; i < exponent; ++i) result *= 10;
    return result;
}

bool DecimalAtLeastOne(const Decimal& value) noexcept {
    return value.Mantissa() >= PowerOfTen(value.Scale());
}

// L * value for a decimal fraction 0 <= value < 1, rounded half to even,
// computed exactly: mantissa * L / 10^scale in 128-bit integers.
std::int32_t ScaleByDecimalFraction(std::int32_t length, const Decimal& value) noexcept {
    const bool negative = length < 0;
    const unsigned __int128 magnitude = negative ? static_cast<unsigned __int128>(-static_cast<std::int64_t>(length))
                                                 : static_cast<unsigned __int128>(length);
    const unsigned __int128 divisor = PowerOfTen(value.Scale());
    const unsigned __int128 product = value.Mantissa() * magnitude;
    unsigned __int128 quotient = product / divisor;
    const unsigned __int128 remainder = product % divisor;
    const unsigned __int128 twice = remainder * 2;
    if (twice > divisor || (twice == divisor && (quotient & 1) != 0)) ++quotient;
    const auto result = static_cast<std::int64_t>(quotient);
    return static_cast<std::int32_t>(negative ? -result : result);
}

// Resolves a stored Start or Finish value; `defaultPosition` stands for 0.
std::int32_t ResolvePosition(const Variant& value, std::int32_t length, std::int32_t defaultPosition) {
    if (const Decimal* decimal = value.Get<Decimal>()) {
        if (decimal->IsZero()) return defaultPosition;
        if (!decimal->Negative() && !DecimalAtLeastOne(*decimal)) return ScaleByDecimalFraction(length, *decimal);
    }
    const double number = value.ToDouble();
    if (number == 0.0) return defaultPosition;
    if (number < 1.0) return ToInt32HalfEven(static_cast<double>(length) * number);
    return ToInt32HalfEven(number);
}

double FractionOrLargest(double value) noexcept {
    return value >= 1.0 ? LargestFraction : value;
}

}  // namespace

Parameters::Parameters() {
    SetWindowWeights(BuildWindowWeights(window_, width_));
    tables_ = TransformTables::Recurrent(widthExponent_);
}

void Parameters::SetMethod(std::int32_t value) noexcept {
    method_ =
        (value >= fftMethodSimple && value <= fftMethodMulti) ? static_cast<fftMethodEnum>(value) : fftMethodSimple;
    EnforceMethodRepeat();
    ++version_;
}

void Parameters::SetWindow(std::int32_t value) {
    const fftWindowEnum window = (value >= fftWindowRectangle && value <= fftWindowFlatTop)
                                     ? static_cast<fftWindowEnum>(value)
                                     : fftWindowRectangle;
    if (window == window_) return;
    try {
        SetWindowWeights(BuildWindowWeights(window, width_));
    } catch (const std::bad_alloc&) {
        throw AutomationError::Platform(ErrOutOfMemory);
    }
    window_ = window;
    ++version_;
}

std::int32_t Parameters::NormalizeWidth(std::int32_t value) {
    const std::int32_t requested = AbsoluteOrOverflow(value);
    std::int32_t x = requested - 1;
    std::int32_t exponent = 0;
    while (x > 1) {
        x /= 2;
        ++exponent;
    }
    ++exponent;
    if (exponent < 7) exponent = 7;
    if (exponent > 16) exponent = 16;
    return std::int32_t{1} << exponent;
}

void Parameters::SetWidth(std::int32_t value) {
    if (value == width_) return;
    const std::int32_t width = NormalizeWidth(value);
    const int exponent = std::countr_zero(static_cast<std::uint32_t>(width));
    std::shared_ptr<const TransformTables> tables;
    std::shared_ptr<const std::vector<double>> weights;
    try {
        tables = TransformTables::Recurrent(exponent);
        weights = BuildWindowWeights(window_, width);
    } catch (const std::bad_alloc&) {
        // Width and tables always agree: the previous ones stay.
        throw AutomationError::Platform(ErrOutOfMemory);
    }
    widthExponent_ = exponent;
    width_ = width;
    tables_ = std::move(tables);
    SetWindowWeights(std::move(weights));
    ++version_;
}

void Parameters::SetRepeat(std::int32_t value) {
    std::int32_t count = AbsoluteOrOverflow(value);
    if (count == 0) count = 1;
    if (count > MaxRepeat) count = MaxRepeat;
    repeat_ = static_cast<std::int16_t>(count);
    EnforceMethodRepeat();
    ++version_;
}

void Parameters::EnforceMethodRepeat() noexcept {
    if (method_ > fftMethodSimple && repeat_ <= 1) repeat_ = 2;
}

double Parameters::TwiddleReal(std::int32_t k) const {
    if (k < 0 || k >= width_ / 2) throw AutomationError::Platform(ErrSubscriptOutOfRange);
    return tables_->twiddleReal[static_cast<std::size_t>(k)];
}

double Parameters::TwiddleImag(std::int32_t k) const {
    if (k < 0 || k >= width_ / 2) throw AutomationError::Platform(ErrSubscriptOutOfRange);
    return tables_->twiddleImag[static_cast<std::size_t>(k)];
}

std::int32_t Parameters::StartPosition(std::int32_t length) const {
    return ResolvePosition(start_, length, 1);
}

std::int32_t Parameters::FinishPosition(std::int32_t length) const {
    return ResolvePosition(finish_, length, length);
}

Variant Parameters::NormalizeRangeValue(const Variant& value) {
    if (const auto* v = value.Get<std::int16_t>()) return AbsoluteOrOverflow(*v);
    if (const auto* v = value.Get<std::int32_t>()) return AbsoluteOrOverflow(*v);
    if (const auto* v = value.Get<std::uint8_t>()) return *v;
    if (const auto* v = value.Get<float>()) {
        const float magnitude = std::fabs(*v);
        if (magnitude >= 1.0f) return LargestFraction;
        return magnitude;
    }
    if (const auto* v = value.Get<double>()) {
        const double magnitude = std::fabs(*v);
        if (magnitude >= 1.0) return LargestFraction;
        return magnitude;
    }
    if (const auto* v = value.Get<Decimal>()) {
        const Decimal magnitude = v->Abs();
        if (DecimalAtLeastOne(magnitude)) return LargestFraction;
        return magnitude;
    }
    if (const std::string* text = value.AsString()) {
        const auto percent = text->find('%');
        if (percent != std::string::npos) {
            const double number = LeadingNumber(std::string_view(*text).substr(0, percent));
            return FractionOrLargest(std::fabs(number) / 100.0);
        }
        return std::fabs(LeadingNumber(*text));
    }
    return std::int16_t{0};
}

std::shared_ptr<const std::vector<double>> Parameters::BuildWindowWeights(fftWindowEnum window, std::int32_t width) {
    auto weights = std::make_shared<std::vector<double>>();
    if (window != fftWindowHanning && window != fftWindowFlatTop) return weights;
    const auto n = static_cast<std::size_t>(width);
    weights->resize(n);
    for (std::size_t i = 0; i < n; ++i) (*weights)[i] = WindowWeight(window, i, n);
    return weights;
}

void Parameters::SetWindowWeights(std::shared_ptr<const std::vector<double>> weights) noexcept {
    windowWeights_ = std::move(weights);
    if (windowWeights_->empty()) {
        windowSum_ = width_;
        windowSquares_ = width_;
        return;
    }
    windowSum_ = 0;
    windowSquares_ = 0;
    for (const double w : *windowWeights_) {
        windowSum_ += w;
        windowSquares_ += w * w;
    }
}

}  // namespace tavox
