#pragma once

#include <cstdint>
#include <new>

#include "common/AutomationError.h"

namespace tavox {

// Runs one step of a transform; an error it raises becomes `resultCode` (its
// number, ErrOutOfMemory for std::bad_alloc, ErrInternal for anything else)
// and the transform goes on. Returns false when the step raised.
template <class Step>
bool Trap(std::int32_t& resultCode, Step&& step) noexcept {
    try {
        step();
        return true;
    } catch (const AutomationError& error) {
        resultCode = error.Number();
    } catch (const std::bad_alloc&) {
        resultCode = ErrOutOfMemory;
    } catch (...) {
        resultCode = ErrInternal;
    }
    return false;
}

}  // namespace tavox
