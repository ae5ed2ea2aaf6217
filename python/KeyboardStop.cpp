#include "python/KeyboardStop.h"

#include <atomic>
#include <csignal>

#include "app/Application.h"

namespace py = pybind11;

namespace tavox::python {

namespace {

// Read by the batch's worker threads, set by the signal handler.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// KeyboardStops alive on the main thread, and Python's SIGINT action while
// any is; changed with the GIL held only.
int depth = 0;
struct sigaction pythonAction {};

extern "C" void OnInterrupt(int) {
    interrupted.store(true);
}

bool PythonRaisesKeyboardInterrupt() {
    const py::module_ threading = py::module_::import("threading");
    if (!threading.attr("current_thread")().is(threading.attr("main_thread")())) return false;
    const py::module_ signal = py::module_::import("signal");
    return signal.attr("getsignal")(SIGINT).is(signal.attr("default_int_handler"));
}

}  // namespace

KeyboardStop::KeyboardStop(Application* app) {
    if (!PythonRaisesKeyboardInterrupt()) return;
    if (depth == 0) {
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        // Reads and writes in progress resume after the handler.
        action.sa_flags = SA_RESTART | SA_ONSTACK;
        interrupted.store(false);
        if (sigaction(SIGINT, &action, &pythonAction) != 0) return;
    }
    ++depth;
    active_ = true;
    previousHooks_ = CurrentHostHooks();
    HostHooks hooks;
    if (app != nullptr) {
        hooks.pumpEvents = [app] {
            if (interrupted.load()) app->BreakFFT();
        };
    }
    hooks.stopRequested = [] { return interrupted.load(); };
    InstallHostHooks(std::move(hooks));
}

KeyboardStop::~KeyboardStop() {
    Release();
}

void KeyboardStop::Release() noexcept {
    if (!active_) return;
    active_ = false;
    InstallHostHooks(std::move(previousHooks_));
    if (--depth == 0) {
        // A handler that Python code set meanwhile stays.
        struct sigaction current {};
        if (sigaction(SIGINT, nullptr, &current) == 0 && current.sa_handler == OnInterrupt)
            sigaction(SIGINT, &pythonAction, nullptr);
    }
    if (interrupted.exchange(false)) PyErr_SetInterrupt();
}

void KeyboardStop::Finish() {
    Release();
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
}

}  // namespace tavox::python
