#pragma once

#include <pybind11/pybind11.h>

#include "app/MainModule.h"

namespace tavox {
class Application;
}

namespace tavox::python {

// Ctrl+C during a batch that Python's main thread runs. While a KeyboardStop
// lives, SIGINT only sets a flag. The batch asks it between the exposures of
// a file (on any thread, without the GIL) and before each file, and ends at
// once, leaving the outputs of exactly the files it reported; a listing of
// Files.Add asks it too and then adds nothing. Then the interrupt is handed
// to Python, which raises KeyboardInterrupt. It acts only on the main thread
// and while SIGINT raises KeyboardInterrupt (Python's default handler);
// otherwise the signal is left to Python as it is. Construct, Finish and
// destroy it with the GIL held.
class KeyboardStop {
public:
    explicit KeyboardStop(Application& app) : KeyboardStop(&app) {}
    // For work outside a batch run (a listing): no Application to break.
    explicit KeyboardStop(Application* app);
    // Hands an interrupt that came to Python, which raises it at its next check.
    ~KeyboardStop();
    KeyboardStop(const KeyboardStop&) = delete;
    KeyboardStop& operator=(const KeyboardStop&) = delete;

    // Ends the stop; raises KeyboardInterrupt (pybind11::error_already_set)
    // when SIGINT came meanwhile.
    void Finish();

private:
    void Release() noexcept;

    bool active_ = false;
    HostHooks previousHooks_;
};

}  // namespace tavox::python
