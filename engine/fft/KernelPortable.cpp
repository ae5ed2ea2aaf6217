// Fast kernel built for 2 doubles per vector.
#define TAVOX_FFT_LANES 2
#include "engine/fft/PlanKernel.h"

namespace tavox::detail {

void KernelPortable(const KernelJob& job) noexcept {
    RunKernel(job);
}

}  // namespace tavox::detail
