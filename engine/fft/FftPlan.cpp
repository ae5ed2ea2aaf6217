#include "engine/fft/FftPlan.h"

#include <cstddef>
#include <utility>

#include "engine/fft/KernelJob.h"

namespace tavox {

namespace {

bool CpuRuns(FftIsa isa) noexcept {
#if defined(TAVOX_FFT_X86)
    __builtin_cpu_init();
    if (isa == FftIsa::Avx2) return __builtin_cpu_supports("avx2");
    if (isa == FftIsa::Avx512) return __builtin_cpu_supports("avx512f");
#endif
    return isa == FftIsa::Portable;
}

}  // namespace

bool FftIsaSupported(FftIsa isa) noexcept {
    static const bool avx2 = CpuRuns(FftIsa::Avx2);
    static const bool avx512 = CpuRuns(FftIsa::Avx512);
    switch (isa) {
        case FftIsa::Portable:
            return true;
        case FftIsa::Avx2:
            return avx2;
        case FftIsa::Avx512:
            return avx512;
    }
    return false;
}

FftIsa BestFftIsa() noexcept {
    if (FftIsaSupported(FftIsa::Avx512)) return FftIsa::Avx512;
    if (FftIsaSupported(FftIsa::Avx2)) return FftIsa::Avx2;
    return FftIsa::Portable;
}

bool FftPlan::Build(std::span<const double> twiddleRe, std::span<const double> twiddleIm, int stages) {
    if (stages < 7 || stages > 16) return false;
    const std::size_t n = std::size_t{1} << stages;
    if (twiddleRe.size() < n / 2 || twiddleIm.size() < n / 2) return false;

    std::vector<double> stageRe(n, 0.0);
    std::vector<double> stageIm(n, 0.0);
    for (std::size_t d = 1; d < n; d *= 2) {
        const std::size_t stride = n / (2 * d);
        for (std::size_t k = 0; k < d; ++k) {
            stageRe[d + k] = twiddleRe[k * stride];
            stageIm[d + k] = twiddleIm[k * stride];
        }
    }
    stageRe_ = std::move(stageRe);
    stageIm_ = std::move(stageIm);
    stages_ = stages;
    return true;
}

bool FftPlan::Transform(std::span<double> re, std::span<double> im, bool conjugateOutput) const noexcept {
    return Transform(re, im, conjugateOutput, BestFftIsa());
}

bool FftPlan::Transform(std::span<double> re, std::span<double> im, bool conjugateOutput, FftIsa isa) const noexcept {
    if (stages_ == 0 || !FftIsaSupported(isa)) return false;
    const auto n = static_cast<std::size_t>(Width());
    if (re.size() != n || im.size() != n) return false;

    const detail::KernelJob job{re.data(), im.data(), stageRe_.data(), stageIm_.data(), stages_, conjugateOutput};
    switch (isa) {
#if defined(TAVOX_FFT_X86)
        case FftIsa::Avx512:
            detail::KernelAvx512(job);
            return true;
        case FftIsa::Avx2:
            detail::KernelAvx2(job);
            return true;
#endif
        default:
            detail::KernelPortable(job);
            return true;
    }
}

}  // namespace tavox
