#include "engine/fft/FftPlan.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "engine/fft/KernelJob.h"
#include "engine/fft/Sweeps.h"

namespace tavox {

namespace {

int Lanes(FftIsa isa) noexcept {
    return isa == FftIsa::Avx512 ? 8 : isa == FftIsa::Avx2 ? 4 : 2;
}

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

FftIsa BestFftIsa(int stages) noexcept {
    // At 128 points eight-lane sweeps have too few columns to fill: AVX2 runs
    // the transform in about 0.6 of AVX-512's time.
    constexpr int FewestAvx512Stages = 8;
    const bool avx2 = FftIsaSupported(FftIsa::Avx2);
    if (FftIsaSupported(FftIsa::Avx512) && (stages >= FewestAvx512Stages || !avx2)) return FftIsa::Avx512;
    return avx2 ? FftIsa::Avx2 : FftIsa::Portable;
}

bool FftPlan::Build(std::span<const double> twiddleRe, std::span<const double> twiddleIm, int stages) {
    if (stages < 7 || stages > 16) return false;
    const std::size_t n = std::size_t{1} << stages;
    if (twiddleRe.size() < n / 2 || twiddleIm.size() < n / 2) return false;
    // Twiddle index k at the stage of half span d.
    auto real = [&](std::size_t d, std::size_t k) { return twiddleRe[k * (n / (2 * d))]; };
    auto imag = [&](std::size_t d, std::size_t k) { return twiddleIm[k * (n / (2 * d))]; };

    const std::size_t stageSize = std::min<std::size_t>(n, StageTableSize);
    std::vector<double> stageRe(stageSize, 0.0);
    std::vector<double> stageIm(stageSize, 0.0);
    for (std::size_t d = 1; d < stageSize; d *= 2) {
        for (std::size_t k = 0; k < d; ++k) {
            stageRe[d + k] = real(d, k);
            stageIm[d + k] = imag(d, k);
        }
    }

    // One layout of the column passes' twiddles per split that a runnable
    // instruction set uses.
    std::vector<SweepTwiddles> sweeps;
    for (FftIsa isa : {FftIsa::Portable, FftIsa::Avx2, FftIsa::Avx512}) {
        if (!FftIsaSupported(isa)) continue;
        const int subBits = detail::SubBlockBitsOf(stages, Lanes(isa));
        const int group = detail::SweepGroupOf(Lanes(isa));
        if (std::any_of(sweeps.begin(), sweeps.end(),
                        [&](const SweepTwiddles& s) { return s.subBits == subBits && s.group == group; }))
            continue;
        detail::ColumnSweep passes[4];
        const int count = detail::ColumnSweeps(stages, subBits, passes);
        std::size_t size = 0;
        for (int i = 0; i < count; ++i) size += detail::SweepTableSize(passes[i]);
        SweepTwiddles& layout = sweeps.emplace_back(SweepTwiddles{subBits, group, std::vector<double>(size)});
        double* out = layout.table.data();
        for (int i = 0; i < count; ++i) {
            const std::size_t r = static_cast<std::size_t>(passes[i].r);
            const std::size_t g = static_cast<std::size_t>(group);
            for (std::size_t g0 = 0; g0 < r; g0 += g) {
                for (std::size_t d = r; d < r << passes[i].logC; d *= 2) {
                    for (std::size_t j = 0; j < d / r; ++j) {
                        for (std::size_t l = 0; l < g; ++l) {
                            out[l] = real(d, g0 + j * r + l);
                            out[g + l] = imag(d, g0 + j * r + l);
                        }
                        out += 2 * g;
                    }
                }
            }
        }
    }
    stageRe_ = std::move(stageRe);
    stageIm_ = std::move(stageIm);
    sweeps_ = std::move(sweeps);
    stages_ = stages;
    return true;
}

bool FftPlan::Transform(std::span<double> re, std::span<double> im, bool conjugateOutput) const noexcept {
    return Transform(re, im, conjugateOutput, BestFftIsa(stages_));
}

bool FftPlan::Transform(std::span<double> re, std::span<double> im, bool conjugateOutput, FftIsa isa) const noexcept {
    if (stages_ == 0 || !FftIsaSupported(isa)) return false;
    const auto n = static_cast<std::size_t>(Width());
    if (re.size() != n || im.size() != n) return false;

    const int subBits = detail::SubBlockBitsOf(stages_, Lanes(isa));
    const int group = detail::SweepGroupOf(Lanes(isa));
    const double* sweepTwiddles = nullptr;
    for (const SweepTwiddles& layout : sweeps_)
        if (layout.subBits == subBits && layout.group == group) sweepTwiddles = layout.table.data();
    if (sweepTwiddles == nullptr) return false;
    const detail::KernelJob job{re.data(),     im.data(), stageRe_.data(), stageIm_.data(),
                                sweepTwiddles, stages_,   conjugateOutput};
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
