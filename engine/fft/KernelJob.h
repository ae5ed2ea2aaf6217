#pragma once

// Interface between the dispatcher and the per-instruction-set kernels. The
// kernels are compiled with different target flags, so it uses plain pointers
// and no standard-library templates that could be shared between them.

namespace tavox::detail {

struct KernelJob {
    double* re;
    double* im;
    // Per-stage twiddles: index k of the stage of half span d at [d + k], for
    // d below 128.
    const double* stageRe;
    const double* stageIm;
    // The column passes' twiddles, pass after pass (see Sweeps.h).
    const double* sweepTwiddles;
    int stages;
    bool conjugateOutput;
};

void KernelPortable(const KernelJob& job) noexcept;
void KernelAvx2(const KernelJob& job) noexcept;
void KernelAvx512(const KernelJob& job) noexcept;

}  // namespace tavox::detail
