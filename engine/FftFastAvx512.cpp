// Fast kernel built for 8 doubles per vector.
#define TAVOX_FFT_LANES 8
#include "engine/FftFastKernel.h"

namespace tavox::detail {

void FftFastAvx512(const FftFastJob& job) noexcept {
    RunKernel(job);
}

}  // namespace tavox::detail
