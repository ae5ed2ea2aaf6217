// Fast kernel built for 4 doubles per vector.
#define TAVOX_FFT_LANES 4
#include "engine/FftFastKernel.h"

namespace tavox::detail {

void FftFastAvx2(const FftFastJob& job) noexcept {
    RunKernel(job);
}

}  // namespace tavox::detail
