#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "common/Enums.h"
#include "common/Object.h"
#include "common/Variant.h"
#include "engine/TransformTables.h"
#include "engine/fft/FftPlan.h"

namespace tavox {

// Settings of a transform run, shared by every File of one Application.
// Setters never reject a value: they map it into range. The only errors they
// raise are the overflow error (6) for the most negative value of an integer
// kind and for a text that reads as a number beyond the double range.
// Also owns the twiddle table of the FFT kernel and the fast kernel's plan
// made from it, both rebuilt whenever Width changes. A copy is cheap (the
// tables are shared and never changed in place) and is what threads of a
// batch read while the original may change.
class Parameters : public Object {
public:
    Parameters();

    bool Phase() const noexcept { return phase_; }
    void SetPhase(bool value) noexcept {
        phase_ = value;
        ++version_;
    }
    bool Center() const noexcept { return center_; }
    void SetCenter(bool value) noexcept {
        center_ = value;
        ++version_;
    }

    fftMethodEnum Method() const noexcept { return method_; }
    // 0, 1 or 2 is stored, anything else stores fftMethodSimple; then EnforceMethodRepeat.
    void SetMethod(std::int32_t value) noexcept;

    fftWindowEnum Window() const noexcept { return window_; }
    // 0, 1 or 2 is stored, anything else stores fftWindowRectangle; rebuilds
    // the window weights when the window changes.
    void SetWindow(std::int32_t value);

    std::int32_t Width() const noexcept { return width_; }
    // Rounds |value| up to a power of two within 128..65536; rebuilds the
    // twiddle table, the fast kernel's plan and the window weights unless
    // value equals the stored width. Raises the out-of-memory error (7),
    // changing nothing, when the tables cannot be allocated.
    void SetWidth(std::int32_t value);

    std::int32_t Repeat() const noexcept { return repeat_; }
    // |value|, 0 becomes 1, above 999 becomes 999; then EnforceMethodRepeat.
    void SetRepeat(std::int32_t value);

    // The stored, normalised values (see NormalizeRangeValue).
    const Variant& Start() const noexcept { return start_; }
    void SetStart(const Variant& value) {
        start_ = NormalizeRangeValue(value);
        ++version_;
    }
    const Variant& Finish() const noexcept { return finish_; }
    void SetFinish(const Variant& value) {
        finish_ = NormalizeRangeValue(value);
        ++version_;
    }

    // Grows with every call of a setter, so that work done with a copy can
    // tell whether it still matches.
    std::uint64_t Version() const noexcept { return version_; }

    // Engine-only operations.
    std::int32_t WidthExponent() const noexcept { return widthExponent_; }
    // Entry k of the twiddle table; raises the index error (9) outside 0..Width/2-1.
    double TwiddleReal(std::int32_t k) const;
    double TwiddleImag(std::int32_t k) const;
    // The whole table, Width/2 entries each.
    std::span<const double> TwiddleRealTable() const noexcept { return tables_->twiddleReal; }
    std::span<const double> TwiddleImagTable() const noexcept { return tables_->twiddleImag; }
    // Plan of the fast kernel for Width, made from the twiddle table.
    const FftPlan& Plan() const noexcept { return tables_->plan; }
    // Both, shared (TransformTables::Recurrent for Width).
    const std::shared_ptr<const TransformTables>& Tables() const noexcept { return tables_; }
    // Weights of the current window for Width samples (WindowWeight); empty
    // for the rectangle.
    std::span<const double> WindowWeights() const noexcept { return *windowWeights_; }
    // S1 and S2 of the current window for Width samples: the sum of its
    // weights and of their squares, in index order (Width for the rectangle).
    double WindowSum() const noexcept { return windowSum_; }
    double WindowSquares() const noexcept { return windowSquares_; }
    // 1-based sample positions of the evaluation range for a source of
    // `length` samples; overflow error (6) above 2147483647.
    std::int32_t StartPosition(std::int32_t length) const;
    std::int32_t FinishPosition(std::int32_t length) const;

    // Normal form of a Start or Finish value.
    static Variant NormalizeRangeValue(const Variant& value);
    // The width SetWidth stores for `value` (|value| rounded up to a power
    // of two within 128..65536); the overflow error (6) as SetWidth.
    static std::int32_t NormalizeWidth(std::int32_t value);

private:
    void EnforceMethodRepeat() noexcept;
    static std::shared_ptr<const std::vector<double>> BuildWindowWeights(fftWindowEnum window, std::int32_t width);
    void SetWindowWeights(std::shared_ptr<const std::vector<double>> weights) noexcept;

    fftMethodEnum method_ = fftMethodSimple;
    fftWindowEnum window_ = fftWindowRectangle;
    std::int32_t widthExponent_ = 7;
    std::int32_t width_ = 128;
    std::int16_t repeat_ = 1;
    Variant start_ = std::int16_t{0};
    Variant finish_ = std::int16_t{0};
    bool phase_ = false;
    bool center_ = false;
    std::uint64_t version_ = 0;
    std::shared_ptr<const TransformTables> tables_;
    std::shared_ptr<const std::vector<double>> windowWeights_;
    double windowSum_ = 0;
    double windowSquares_ = 0;
};

}  // namespace tavox
