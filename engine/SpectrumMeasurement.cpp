#include "engine/SpectrumMeasurement.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "common/SpectrumOptions.h"

namespace tavox {
namespace {

constexpr double Pi = std::numbers::pi;
constexpr double Missing = std::numeric_limits<double>::quiet_NaN();
// A fundamental's strongest bin must stand this far above the median noise bin.
constexpr double ToneAboveNoise = 100.0;

std::size_t FirstZero(fftWindowEnum window) noexcept {
    if (window == fftWindowHanning) return 2;
    if (window == fftWindowFlatTop) return 5;
    return 1;
}

std::size_t Scaled(std::size_t bins, std::size_t samples, std::size_t points) noexcept {
    if (samples == 0 || points <= samples) return bins;
    return static_cast<std::size_t>(std::ceil(static_cast<double>(bins * points) / static_cast<double>(samples)));
}

double Sinc(double x) noexcept {
    return x == 0 ? 1.0 : std::sin(Pi * x) / (Pi * x);
}

bool Padded(const MeasureSetup& setup) noexcept {
    return setup.points != setup.samples;
}

// The amplitude gain of a tone `offset` bins from the centre of its bin,
// relative to one on it; 1 where the level is read off the bin as it is.
double OffsetGain(const MeasureSetup& setup, double offset) noexcept {
    if (Padded(setup)) return 1.0;
    if (setup.window == fftWindowRectangle) return Sinc(offset);
    if (setup.window == fftWindowHanning) return std::fabs(offset) >= 1 ? 0.5 : Sinc(offset) / (1 - offset * offset);
    return 1.0;
}

// The part of a tone's power, `offset` bins from bin 0, that falls on bins
// -reach..reach of a rectangle: the Dirichlet kernel's squares over M N.
double RectangleCapture(const MeasureSetup& setup, double offset, std::size_t reach) noexcept {
    const auto n = static_cast<double>(setup.samples);
    const auto m = static_cast<double>(setup.points);
    double sum = 0;
    for (std::ptrdiff_t k = -static_cast<std::ptrdiff_t>(reach); k <= static_cast<std::ptrdiff_t>(reach); ++k) {
        const double nu = static_cast<double>(k) - offset;
        const double denominator = std::sin(Pi * nu / m);
        const double d = std::fabs(denominator) < 1e-300 ? n : std::sin(Pi * nu * n / m) / denominator;
        sum += d * d;
    }
    return sum / (m * n);
}

struct Interval {
    std::size_t first = 0;
    std::size_t last = 0;  // inclusive
};

struct Claims {
    std::array<Interval, MaxHarmonics + 2> spans{};
    std::size_t count = 0;

    void Add(Interval span) noexcept {
        if (count < spans.size()) spans[count++] = span;
    }
    bool Holds(std::size_t bin) const noexcept {
        for (std::size_t k = 0; k < count; ++k) {
            if (bin >= spans[k].first && bin <= spans[k].last) return true;
        }
        return false;
    }
};

Interval Lobe(std::size_t centre, std::size_t reach, std::size_t bins) noexcept {
    return {centre > reach ? centre - reach : 0, std::min(bins - 1, centre + reach)};
}

std::size_t StrongestIn(std::span<const double> power, std::size_t first, std::size_t last) noexcept {
    std::size_t best = first;
    for (std::size_t m = first; m <= last; ++m) {
        if (power[m] > power[best]) best = m;
    }
    return best;
}

double Db(double ratio) noexcept {
    return 10 * std::log10(ratio);
}

}  // namespace

std::size_t LobeHalfWidth(fftWindowEnum window, std::size_t samples, std::size_t points) noexcept {
    return Scaled(window == fftWindowRectangle ? 1 : FirstZero(window) + 1, samples, points);
}

std::size_t DcBins(fftWindowEnum window, std::size_t samples, std::size_t points) noexcept {
    return Scaled(FirstZero(window), samples, points);
}

double FoldedHarmonic(double f0, std::int32_t h, double rate) noexcept {
    const double half = rate / 2;
    return std::fabs(std::fmod(h * f0 + half, rate) - half);
}

double InterpolatedOffset(std::span<const double> power, std::size_t bin, const MeasureSetup& setup) noexcept {
    if (bin == 0 || bin + 1 >= power.size() || power[bin] <= 0) return 0;
    const double before = power[bin - 1];
    const double after = power[bin + 1];
    double offset = 0;
    if (Padded(setup)) {
        if (before <= 0 || after <= 0) return 0;
        const double a = std::log(before);
        const double b = std::log(power[bin]);
        const double c = std::log(after);
        const double curve = a - 2 * b + c;
        offset = curve < 0 ? 0.5 * (a - c) / curve : 0;
    } else if (setup.window == fftWindowRectangle || setup.window == fftWindowHanning) {
        const bool right = after > before;
        const double alpha = std::sqrt((right ? after : before) / power[bin]);
        const double shift = setup.window == fftWindowRectangle ? alpha / (1 + alpha) : (2 * alpha - 1) / (alpha + 1);
        offset = right ? shift : -shift;
    }
    return std::clamp(offset, -1.0, 1.0);
}

SpectrumMeasurement MeasureSpectrum(std::span<const double> power, const MeasureSetup& setup,
                                    std::span<double> scratch) noexcept {
    SpectrumMeasurement found;
    const std::size_t bins = power.size();
    const std::size_t dc = DcBins(setup.window, setup.samples, setup.points);
    const std::size_t reach = LobeHalfWidth(setup.window, setup.samples, setup.points);
    const auto fail = [&found](std::string_view why) {
        found.problem = why;
        return found;
    };
    if (setup.samples == 0 || setup.weightSum <= 0 || bins <= dc + 2 || scratch.size() < bins) {
        return fail("the spectrum is too short to measure");
    }
    const double binHz = setup.rate / static_cast<double>(setup.points);
    const double nenbw = static_cast<double>(setup.points) * setup.weightSquares / (setup.weightSum * setup.weightSum);
    const MeasureOptions& options = setup.options;

    found.peakBin = StrongestIn(power, dc + 1, bins - 1);
    const double peakOffset = InterpolatedOffset(power, found.peakBin, setup);
    found.peakHz = (static_cast<double>(found.peakBin) + peakOffset) * binHz;
    const double gain = OffsetGain(setup, peakOffset);
    found.peakPower = power[found.peakBin] / (gain * gain);

    std::size_t k = found.peakBin;
    if (options.fundamental) {
        const double centre = std::round(*options.fundamental / binHz);
        if (!(centre > static_cast<double>(dc) && centre < static_cast<double>(bins - 1))) {
            return fail("the fundamental lies outside the spectrum or on DC");
        }
        const auto c = static_cast<std::size_t>(centre);
        const Interval near = Lobe(c, FirstZero(setup.window), bins);
        k = StrongestIn(power, std::max(near.first, dc + 1), near.last);
    }
    const double offset = InterpolatedOffset(power, k, setup);
    found.fundamentalBin = k;
    found.fundamentalHz = (static_cast<double>(k) + offset) * binHz;
    Claims claims;
    claims.Add({0, dc});
    const Interval lobe = Lobe(k, reach, bins);
    claims.Add(lobe);
    double lobeSum = 0;
    for (std::size_t m = lobe.first; m <= lobe.last; ++m) lobeSum += power[m];
    const double capture = setup.window == fftWindowRectangle ? RectangleCapture(setup, offset, reach) : 1.0;
    found.fundamentalPower = lobeSum / nenbw / capture;

    const double low = options.bandLow.value_or(0.0);
    const double high = options.bandHigh.value_or(setup.rate / 2);
    found.harmonics = std::clamp(options.harmonics, 1, MaxHarmonics);
    found.harmonicPower.fill(Missing);
    double strongestHarmonic = 0;
    for (std::int32_t h = 2; h <= found.harmonics; ++h) {
        const double f = FoldedHarmonic(found.fundamentalHz, h, setup.rate);
        const double position = f / binHz;
        const double centre = std::round(position);
        if (f < low || f > high || centre >= static_cast<double>(bins)) continue;
        const Interval near = Lobe(static_cast<std::size_t>(centre), 1, bins);
        const std::size_t kh = StrongestIn(power, near.first, near.last);
        if (kh <= dc || (kh + reach >= k && kh <= k + reach)) continue;
        const Interval span = Lobe(kh, reach, bins);
        double sum = 0;
        for (std::size_t m = span.first; m <= span.last; ++m) sum += claims.Holds(m) ? 0.0 : power[m];
        claims.Add(span);
        const double hCapture = setup.window == fftWindowRectangle
                                    ? RectangleCapture(setup, position - static_cast<double>(kh), reach)
                                    : 1.0;
        const double p = sum / nenbw / hCapture;
        found.harmonicPower[static_cast<std::size_t>(h)] = p;
        found.harmonicSum += p;
        strongestHarmonic = std::max(strongestHarmonic, p);
    }

    const auto first = static_cast<std::size_t>(std::max(0.0, std::ceil(low / binHz)));
    const auto last = static_cast<std::size_t>(std::min(static_cast<double>(bins - 1), std::floor(high / binHz)));
    std::size_t count = 0;
    double sum = 0;
    double strongestNoise = 0;
    for (std::size_t m = std::max(first, dc + 1); m <= last; ++m) {
        if (claims.Holds(m)) continue;
        sum += power[m];
        strongestNoise = std::max(strongestNoise, power[m]);
        scratch[count++] = power[m];
    }
    if (count == 0 || last < first) return fail("no noise bins are left in the band");
    const std::span<double> noise = scratch.first(count);
    std::nth_element(noise.begin(), noise.begin() + static_cast<std::ptrdiff_t>(count / 2), noise.end());
    double median = noise[count / 2];
    if (count % 2 == 0) median = (median + *std::max_element(noise.begin(), noise.begin() + count / 2)) / 2;
    if (!(power[k] > ToneAboveNoise * median) || !(found.fundamentalPower > 0)) {
        return fail("no tone stands 20 dB above the noise floor");
    }
    found.noisePower = sum / static_cast<double>(count) * static_cast<double>(last - first + 1) / nenbw;
    found.spurPower = std::max(strongestNoise, strongestHarmonic);
    found.noiseFloorPsd = median * setup.weightSum * setup.weightSum / (setup.rate * setup.weightSquares);
    return found;
}

double SpectrumMeasurement::SnrDb() const noexcept {
    return problem.empty() ? Db(fundamentalPower / noisePower) : Missing;
}

double SpectrumMeasurement::ThdDb() const noexcept {
    return problem.empty() ? Db(harmonicSum / fundamentalPower) : Missing;
}

double SpectrumMeasurement::ThdPercent() const noexcept {
    return problem.empty() ? 100 * std::sqrt(harmonicSum / fundamentalPower) : Missing;
}

double SpectrumMeasurement::ThdNDb() const noexcept {
    return problem.empty() ? Db((harmonicSum + noisePower) / fundamentalPower) : Missing;
}

double SpectrumMeasurement::ThdNPercent() const noexcept {
    return problem.empty() ? 100 * std::sqrt((harmonicSum + noisePower) / fundamentalPower) : Missing;
}

double SpectrumMeasurement::SinadDb() const noexcept {
    return -ThdNDb();
}

double SpectrumMeasurement::EnobBits() const noexcept {
    const double amplitude = std::sqrt(2 * fundamentalPower);
    return (SinadDb() - 1.7609 + 20 * std::log10(FullScaleCounts / amplitude)) / 6.0206;
}

double SpectrumMeasurement::SfdrDbc() const noexcept {
    return problem.empty() ? Db(fundamentalPower / spurPower) : Missing;
}

double SpectrumMeasurement::SfdrDbfs() const noexcept {
    return problem.empty() ? Db(FullScaleCounts * FullScaleCounts / 2 / spurPower) : Missing;
}

double SpectrumMeasurement::HarmonicDbc(std::int32_t h) const noexcept {
    if (!problem.empty() || h < 2 || h > harmonics) return Missing;
    return Db(harmonicPower[static_cast<std::size_t>(h)] / fundamentalPower);
}

}  // namespace tavox
