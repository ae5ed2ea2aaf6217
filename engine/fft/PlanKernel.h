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
#include "engine/fft/Sweeps.h"

namespace tavox::detail {
namespace {

inline void RunKernel(const KernelJob& job) noexcept {
    const int m = job.stages;
    const int n = 1 << m;
    double* const re = job.re;
    double* const im = job.im;

    const int subBits = SubBlockBitsOf(m, V);
    const int s = 1 << subBits;
    // One or two super-blocks take their samples straight from re, the
    // others from a bit-reversed copy in im.
    const bool gather = (V << subBits) == n;
    const bool pair = (2 * V << subBits) == n;
    if (!gather && !pair) BitReverseIntoBlocks(re, im, m, subBits);
    const double* const samples = gather ? re : im;
    alignas(64) Vec xr[2][1 << SubBlockBits];
    alignas(64) Vec xi[2][1 << SubBlockBits];
    const SubBlockContext subBlocks{s, job.stageRe, job.stageIm, xr[0], xi[0]};

    double imagScale = 1.0 / n;
    if (job.conjugateOutput) imagScale = -imagScale;
    // Hidden from the optimiser, which would turn the doubling back into an addition.
    double two = 2.0;
    __asm__("" : "+m"(two));
    PassContext pass{job.stageRe, job.stageIm, job.sweepTwiddles, s, __builtin_fabs(imagScale), imagScale, two};

    // A first column pass that is not the last runs right behind the
    // sub-blocks of its block, while they are still in the cache.
    ColumnSweep sweeps[4];
    const int count = ColumnSweeps(m, subBits, sweeps);
    const int superBlock = V * s;
    const int block = s << sweeps[0].logC;
    int next = 0;
    if (pair) {
        SubBlockPair(subBlocks, SubBlockContext{s, job.stageRe, job.stageIm, xr[1], xi[1]}, re, re, im);
    } else if (count > 1 && block % superBlock == 0) {
        for (int b0 = 0; b0 < n; b0 += block) {
            for (int base = b0; base < b0 + block; base += superBlock)
                SubBlocks(subBlocks, samples, gather, re, im, base);
            ColumnPasses<false>(pass, re, im, b0, b0 + block, sweeps[0].logC);
        }
        pass.sweep += SweepTableSize(sweeps[0]);
        next = 1;
    } else {
        for (int base = 0; base < n; base += superBlock) SubBlocks(subBlocks, samples, gather, re, im, base);
    }
    for (int i = next; i < count; ++i) {
        pass.r = sweeps[i].r;
        if (i == count - 1) {
            ColumnPasses<true>(pass, re, im, 0, n, sweeps[i].logC);
        } else {
            ColumnPasses<false>(pass, re, im, 0, n, sweeps[i].logC);
        }
        pass.sweep += SweepTableSize(sweeps[i]);
    }
}

}  // namespace
}  // namespace tavox::detail
