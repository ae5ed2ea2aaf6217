#pragma once

namespace tavox {

// Runs one statement of a window step: whatever it raises skips only that
// statement, and no window shows an error of its own.
template <class Statement>
void IgnoringErrors(Statement&& statement) noexcept {
    try {
        statement();
    } catch (...) {
    }
}

}  // namespace tavox
