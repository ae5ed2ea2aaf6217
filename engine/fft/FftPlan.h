#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tavox {

// Instruction sets the fast kernel is built for.
enum class FftIsa { Portable, Avx2, Avx512 };

// The FFT of FftReference, computed faster with the same roundings.
//
// Every butterfly uses the same operation form on the same operands as the
// reference (the four fixed twiddle indices included), only the order of
// independent butterflies, the blocking of stages and the vector width
// differ; scaling is fused into the last stage. So bins 0..N/2-1 of both
// arrays hold exactly the doubles FftReference gives for the same table.
//
// The plan holds the table of Parameters rearranged in the order the kernels
// read it (about 2N doubles for each instruction set this processor runs);
// build it once per width and share it, Transform only reads it.
class FftPlan {
public:
    // Builds the plan for N = 2^stages, stages 7..16, from N/2 table entries (cos, -sin of
    // 2 pi p / N). Returns false, keeping the plan as it was, when the sizes do
    // not fit. Throws std::bad_alloc when memory runs out.
    bool Build(std::span<const double> twiddleRe, std::span<const double> twiddleIm, int stages);

    // Number of stages; 0 before the first Build.
    int Stages() const noexcept { return stages_; }
    std::int32_t Width() const noexcept { return stages_ == 0 ? 0 : std::int32_t{1} << stages_; }

    // Transforms in place with the best instruction set of this processor.
    // On entry `re` holds N real samples and `im` is taken to hold +0.0
    // everywhere (it is not read). On exit indices 0..N/2-1 hold the scaled
    // spectrum as FftReference leaves it (imaginary parts negated with
    // `conjugateOutput`); indices N/2..N-1 of both arrays hold intermediate
    // values. The arrays must not overlap. Allocates nothing; uses about
    // 64 KiB of stack. Arrays on 64-byte boundaries run faster.
    // Returns false and touches nothing when the plan is not built or either
    // array is not of size N.
    bool Transform(std::span<double> re, std::span<double> im, bool conjugateOutput) const noexcept;

    // The same with a chosen instruction set; false, touching nothing, when
    // this processor cannot run it.
    bool Transform(std::span<double> re, std::span<double> im, bool conjugateOutput, FftIsa isa) const noexcept;

private:
    // Stages of half span below 128 (the sub-blocks) are read per stage.
    static constexpr std::size_t StageTableSize = 256;
    // The twiddles of the column passes after sub-blocks of 2^subBits, in
    // groups of `group` columns.
    struct SweepTwiddles {
        int subBits;
        int group;
        std::vector<double> table;
    };

    int stages_ = 0;
    // Twiddle of index k at the stage of half span d at [d + k], 0 <= k < d < 128.
    std::vector<double> stageRe_;
    std::vector<double> stageIm_;
    std::vector<SweepTwiddles> sweeps_;
};

// Whether this processor and build can run `isa`.
bool FftIsaSupported(FftIsa isa) noexcept;

// The fastest instruction set this processor runs for a transform of
// 2^stages points: the widest, but AVX2 at 128 points.
FftIsa BestFftIsa(int stages = 16) noexcept;

}  // namespace tavox
