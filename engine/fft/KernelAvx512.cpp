// Fast kernel built for 8 doubles per vector.
#define TAVOX_FFT_LANES 8
#include "engine/fft/PlanKernel.h"

namespace tavox::detail {

void KernelAvx512(const KernelJob& job) noexcept {
    RunKernel(job);
}

}  // namespace tavox::detail
