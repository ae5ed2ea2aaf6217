"""The example notebook runs: in a Jupyter kernel through nbclient when installed, else its cells as one script."""

import json
import pathlib

import pytest

NOTEBOOK = pathlib.Path(__file__).resolve().parents[2] / "examples" / "spectrum_notebook.ipynb"


def test_the_example_notebook_runs_and_shows_its_spectrum(tmp_path, monkeypatch):
    pytest.importorskip("matplotlib")
    try:
        import nbclient
        import nbformat
    except ImportError:
        cells = json.loads(NOTEBOOK.read_text())["cells"]
        code = "\n".join("".join(cell["source"]) for cell in cells if cell["cell_type"] == "code")
        monkeypatch.chdir(tmp_path)
        monkeypatch.setenv("MPLBACKEND", "Agg")
        exec(compile(code, str(NOTEBOOK), "exec"), {})
        return
    notebook = nbformat.read(NOTEBOOK, as_version=4)
    nbclient.NotebookClient(notebook, timeout=600, kernel_name="python3",
                            resources={"metadata": {"path": str(tmp_path)}}).execute()
    outputs = [output for cell in notebook.cells if cell.cell_type == "code" for output in cell.outputs]
    assert not [output for output in outputs if output.output_type == "error"]
    pictures = [output for output in outputs if "image/png" in output.get("data", {})]
    assert len(pictures) == 3  # the Spectrum's and the Spectrogram's own pictures and the matplotlib figure
    assert any("exposures; the peak at 1500.0 Hz reads 8000" in output.get("text", "") for output in outputs)
