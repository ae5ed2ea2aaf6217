#pragma once

#include <pybind11/pybind11.h>

namespace tavox::python {

// One binding function per class of the object model.
void bindApplication(pybind11::module_& m);
void bindFiles(pybind11::module_& m);
void bindFile(pybind11::module_& m);
void bindParameters(pybind11::module_& m);
// BatchSettings, what tavox.spectrum and tavox.transform_files run with.
void bindSettings(pybind11::module_& m);
// The array functions' compiled part (_spectrum) and result-code texts.
void bindArrays(pybind11::module_& m);
// The compiled part of tavox.read_signal (_read_signal).
void bindSignal(pybind11::module_& m);

// A class attribute `DispIds`: member name -> dispatch identifier.
pybind11::dict DispIdTable(std::initializer_list<std::pair<const char*, int>> members);

}  // namespace tavox::python
