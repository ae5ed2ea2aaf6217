// Fast kernel built for 2 doubles per vector.
#define TAVOX_FFT_LANES 2
#include "engine/FftFastKernel.h"

namespace tavox::detail {

void FftFastPortable(const FftFastJob& job) noexcept {
    RunKernel(job);
}

}  // namespace tavox::detail
