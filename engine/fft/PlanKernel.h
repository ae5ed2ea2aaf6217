#pragma once

// The fast kernel, written once for a vector of TAVOX_FFT_LANES doubles.
// Included by one translation unit per instruction set, which defines
// TAVOX_FFT_LANES and its own entry point. Everything here has internal
// linkage so that code built for one instruction set never replaces another's.
//
// Layout of the work:
//  1. The real samples are copied in bit-reversed order into `im` (known to
//     be zero, it serves as scratch), already arranged for step 2.
//  2. Sub-blocks of S samples run stages 1..log2(S) on a stack buffer that
//     holds V sub-blocks side by side, one per vector lane, so that every lane
//     runs the same butterfly form with a broadcast twiddle.
//  3. The remaining stages run in column passes of up to five stages: with
//     r = 2^(stages done), the elements k, k + r, k + 2r, ... of a block form
//     a small independent transform, loaded once into registers for V
//     neighbouring k; the lanes whose k meets a fixed twiddle index are redone
//     with the exact forms. The final pass writes the lower half, scaled.

#include "engine/fft/BitReversal.h"
#include "engine/fft/ColumnPasses.h"
#include "engine/fft/KernelJob.h"
#include "engine/fft/SubBlocks.h"

namespace tavox::detail {
namespace {

inline void RunKernel(const KernelJob& job) noexcept {
    const int m = job.stages;
    const int n = 1 << m;
    double* const re = job.re;
    double* const im = job.im;

    int subBits = SubBlockBits;
    while ((V << subBits) > n) --subBits;
    const int s = 1 << subBits;
    const bool gather = (V << subBits) == n;
    if (!gather) BitReverseIntoBlocks(re, im, m, subBits);
    const double* const samples = gather ? re : im;
    alignas(64) Vec xr[1 << SubBlockBits];
    alignas(64) Vec xi[1 << SubBlockBits];
    const SubBlockContext subBlocks{s, job.stageRe, job.stageIm, xr, xi};

    double imagScale = 1.0 / n;
    if (job.conjugateOutput) imagScale = -imagScale;
    // Hidden from the optimiser, which would turn the doubling back into an addition.
    double two = 2.0;
    __asm__("" : "+m"(two));
    PassContext pass{job.stageRe, job.stageIm, s, __builtin_fabs(imagScale), imagScale, two};

    // The remaining stages in passes of at most five, the later ones larger.
    // A first pass that is not the last runs right behind the sub-blocks of
    // its block, while they are still in the cache.
    const int superBlock = V * s;
    int remaining = m - subBits;
    int passes = (remaining + MaxColumnBits - 1) / MaxColumnBits;
    int logC = passes > 0 ? remaining / passes : 0;
    const int block = pass.r << logC;
    if (passes > 1 && block % superBlock == 0) {
        for (int b0 = 0; b0 < n; b0 += block) {
            for (int base = b0; base < b0 + block; base += superBlock) SubBlocks(subBlocks, samples, gather, re, im, base);
            ColumnPasses<false>(pass, re, im, b0, b0 + block, logC);
        }
        pass.r <<= logC;
        remaining -= logC;
        --passes;
    } else {
        for (int base = 0; base < n; base += superBlock) SubBlocks(subBlocks, samples, gather, re, im, base);
    }
    while (passes > 0) {
        logC = remaining / passes;
        if (passes == 1) {
            ColumnPasses<true>(pass, re, im, 0, n, logC);
        } else {
            ColumnPasses<false>(pass, re, im, 0, n, logC);
        }
        pass.r <<= logC;
        remaining -= logC;
        --passes;
    }
}

}  // namespace
}  // namespace tavox::detail
