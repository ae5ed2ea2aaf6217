#pragma once

#include <pybind11/pybind11.h>

#include <string>

#include "common/InputOptions.h"

namespace tavox::python {

// The values of InputOptions as the Python functions and properties take
// them; each raises TypeError or ValueError, naming `what`, for another.

// "auto" or "raw".
InputKind InputKindValue(const std::string& name, const char* what);
// "s16le", "u8", "f64be", ...
SampleFormat SampleFormatValue(const std::string& name, const char* what);
// An int from 1 to MaxChannels.
std::int32_t ChannelCount(const pybind11::handle& value, const char* what);
// An int from 1 to MaxChannels, or "all" (InputOptions::eachChannel).
void SetChannel(InputOptions& options, const pybind11::handle& value, const char* what);
// The channel as SetChannel takes it: an int, or "all".
pybind11::object ChannelObject(const InputOptions& options);

}  // namespace tavox::python
