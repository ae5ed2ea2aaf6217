#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>

#include "app/ApplicationEvents.h"

namespace tavox::python {

// Delivers the events of a batch run to a Python object's methods
// WillExecute(cancel), FileComplete(file, result) and ExecuteComplete().
// A missing method is skipped; an exception raised by one ends the run and
// reaches the caller of FFTExecute unchanged. `cancel` and `result` are
// ByRef holders; a Cancel left at -1 (or True) cancels the run.
class PySink : public ApplicationEvents {
public:
    explicit PySink(pybind11::object sink) : sink_(std::move(sink)) {}
    ~PySink() override;
    PySink(const PySink&) = delete;
    PySink& operator=(const PySink&) = delete;

    // The Python object; call with the GIL held.
    const pybind11::object& Get() const noexcept { return sink_; }

    void WillExecute(std::int16_t& Cancel) override;
    void FileComplete(std::shared_ptr<File>& File, std::int32_t& Result) override;
    void ExecuteComplete() override;

private:
    pybind11::object Handler(const char* name) const;

    pybind11::object sink_;
};

}  // namespace tavox::python
