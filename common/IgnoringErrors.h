#pragma once

namespace tavox {

// Runs one statement whose failure must cost nothing but that statement:
// whatever it raises is dropped and the caller goes on with its next step.
// For steps that are optional by design: each optional field of a command
// line, each statement of a window's event handler.
//
// It catches everything, not only std::exception: window handlers run inside
// Qt's event loop, through which no exception may pass, and as the function
// is noexcept, anything let through would end the process.
template <class Statement>
void IgnoringErrors(Statement&& statement) noexcept {
    try {
        statement();
    } catch (...) {
    }
}

}  // namespace tavox
