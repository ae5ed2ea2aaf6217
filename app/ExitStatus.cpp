#include "app/ExitStatus.h"

#include "common/Enums.h"

namespace tavox {

void BatchTally::Begin(std::int32_t files) noexcept {
    total = files;
    done = 0;
    failed = 0;
    completed = false;
}

void BatchTally::FileDone(std::int32_t result) noexcept {
    ++done;
    if (result != fftResultAllRight) ++failed;
}

int ExitStatus(const BatchTally& tally) noexcept {
    if (tally.refused) return ExitRefused;
    const bool allRight = tally.completed && tally.total > 0 && tally.done == tally.total && tally.failed == 0;
    return allRight ? ExitAllRight : ExitFileFailed;
}

}  // namespace tavox
