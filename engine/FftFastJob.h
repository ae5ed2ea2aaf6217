#pragma once

// Interface between the dispatcher and the per-instruction-set kernels. The
// kernels are compiled with different target flags, so it uses plain pointers
// and no standard-library templates that could be shared between them.

namespace tavox::detail {

struct FftFastJob {
    double* re;
    double* im;
    // Per-stage twiddles: index k of the stage of half span d at [d + k].
    const double* stageRe;
    const double* stageIm;
    int stages;
    bool conjugateOutput;
};

void FftFastPortable(const FftFastJob& job) noexcept;
void FftFastAvx2(const FftFastJob& job) noexcept;
void FftFastAvx512(const FftFastJob& job) noexcept;

}  // namespace tavox::detail
