#pragma once

#include <cstddef>
#include <memory>
#include <span>

namespace tavox {

// A real-input transform of N = 2^k points (128..65536) through one FFTW
// r2c plan, made once per width for the whole process and shared read-only
// by every thread. Forward sign, X(k) = sum x(n) e^(-2 pi i k n / N), every
// bin scaled by 2/N as the exact kernel scales it.
//
// Plans come from the wisdom in $XDG_CACHE_HOME/tavox/fftw-wisdom (else
// ~/.cache/tavox/fftw-wisdom) when it holds the width, else FFTW_ESTIMATE;
// with TAVOX_FFT_PLAN=measure in the environment a width the wisdom lacks is
// measured (FFTW_MEASURE) and the wisdom file is replaced atomically.
class RealTransform {
public:
    // The shared transform of `points`; null for another size or when FFTW
    // cannot plan. Planning is serialised; the call is safe from any thread.
    static std::shared_ptr<const RealTransform> For(std::size_t points);

    RealTransform(const RealTransform&) = delete;
    RealTransform& operator=(const RealTransform&) = delete;
    ~RealTransform();

    std::size_t Points() const noexcept { return points_; }

    // Transforms the N samples in `re`: then re[k], im[k] hold bin k for
    // k < N/2 (im negated with `conjugateOutput`); the values past N/2 are
    // left as they were. Uses aligned buffers of the calling thread, made
    // once per width. Returns false, touching nothing, when a span is not N
    // long or the buffers cannot be had.
    bool Transform(std::span<double> re, std::span<double> im, bool conjugateOutput) const noexcept;

private:
    RealTransform(std::size_t points, void* plan) noexcept;

    std::size_t points_;
    void* plan_;  // fftw_plan
};

}  // namespace tavox
