// Fast kernel built for 4 doubles per vector.
#define TAVOX_FFT_LANES 4
#include "engine/fft/PlanKernel.h"

namespace tavox::detail {

void KernelAvx2(const KernelJob& job) noexcept {
    RunKernel(job);
}

}  // namespace tavox::detail
