#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "engine/fft/FftPlan.h"

namespace tavox {

// One line of the self-test: a named check made of several cases.
struct SelfTestCheck {
    std::string name;
    std::int32_t cases = 0;    // cases run
    std::int32_t failed = 0;   // of them, cases that failed
    bool skipped = false;      // not for this processor
    std::string firstFailure;  // what the first failed case saw
};

struct SelfTestResult {
    std::vector<SelfTestCheck> checks;
    double seconds = 0.0;

    bool Passed() const noexcept;
};

// The fast kernel as the self-test calls it (FftPlan::Transform with a
// chosen instruction set); tests put a broken one in its place.
using FastKernel =
    std::function<bool(const FftPlan&, std::span<double> re, std::span<double> im, bool conjugateOutput, FftIsa isa)>;

// Known-answer checks of the whole pipeline on this machine, a few seconds
// at most:
// - tones on an exact bin (with and without an offset and centring), every
//   window and every width from 128 to 65536, through the batch and a disk
//   file: every magnitude and phase against their closed form in long
//   double, and the 16-bit output against the rounded values;
// - the same tones on the power and PSD scales (exact twiddles), every
//   window and width, against A^2/2 and the window's NENBW (Heinzel);
// - placement of the exposures of the average (every average mode) and of
//   multi between a start and a finish, against tones that only the right
//   exposures hold;
// - the fast kernel against the reference kernel, bit for bit, on random
//   samples, for every instruction set this processor runs.
// - a tone in channel 2 of two, read from a raw file of every sample format
//   and from a file of each kind of input that can write examples of
//   itself (SourceKind::examples: WAV, FLAC, AIFF, SigMF once the input
//   formats are registered), with the rate it states.
// Works in a new folder under $TMPDIR (else /tmp), which it removes.
SelfTestResult RunSelfTest(const FastKernel& kernel = {});

// Names of the instruction sets as the self-test shows them.
const char* FftIsaName(FftIsa isa) noexcept;

}  // namespace tavox
