"""The documentation of the array functions: numpydoc sections, and every Examples section run as a doctest."""

import doctest
import importlib

import numpy as np
import pytest

import tavox

MODULES = ["tavox._spectrum", "tavox._spectrogram", "tavox._measure", "tavox._arrays", "tavox._batch", "tavox.dask", "tavox._ranges", "tavox._dispatch"]
DOCUMENTED = ["spectrum", "read_spectrum", "read_signal", "frequencies", "window_constants", "window_weights", "transform_files",
              "dask.transform_files", "Spectrum", "Spectrum.to_int16", "Spectrum.to_frame", "Spectrum.to_xarray",
              "Spectrum.plot", "spectrogram", "Spectrogram", "Spectrogram.to_int16", "Spectrogram.to_frame",
              "Spectrogram.to_xarray", "Spectrogram.plot", "WindowConstants", "FileResult", "TransformError", "NumpyRange", "OpenpyxlRange", "invoke",
              "measure", "bands", "Measurement", "Band"]
# Missing docstring, summary, parameters, types, returns or examples; the
# parameters of the frozen classes are documented as their attributes.
REQUIRED = {"GL08", "SS01", "PR01", "PR02", "PR03", "PR04", "PR07", "RT01", "RT03", "EX01"}
CLASSES = {"Spectrum", "Spectrogram", "WindowConstants", "FileResult", "Measurement", "Band", "TransformError", "NumpyRange", "OpenpyxlRange"}


@pytest.mark.parametrize("name", MODULES)
def test_examples_run_as_doctests(name):
    if name == "tavox.dask":
        pytest.importorskip("distributed")
    for optional in ("pandas", "xarray", "matplotlib", "openpyxl"):
        pytest.importorskip(optional)
    module = importlib.import_module(name)
    result = doctest.testmod(module, extraglobs={"np": np, "tavox": tavox}, optionflags=doctest.NORMALIZE_WHITESPACE)
    assert result.failed == 0 and result.attempted > 0, result


@pytest.mark.parametrize("name", DOCUMENTED)
def test_numpydoc_sections(name):
    validate = pytest.importorskip("numpydoc.validate").validate
    errors = {code: text for code, text in validate("tavox." + name)["errors"]}
    required = REQUIRED - {"PR01"} if name in CLASSES else REQUIRED
    assert not {code: text for code, text in errors.items() if code in required}
