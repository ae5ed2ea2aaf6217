#!/usr/bin/env bash
# pip install into a fresh virtual environment, offline, as python/README.md
# tells users: a copy of the source tree (the files git knows, as they are in
# the working tree), then
#   python3 -m venv --system-site-packages v && v/bin/pip install --no-build-isolation .
# with the package index turned off, then the installed package imported
# from elsewhere and used. The build goes through ccache when it is
# installed, with the copy as base folder, so that later runs reuse it.
# Usage: pip_install_test.sh <source folder> <python3>
set -euo pipefail
source_dir=$1 python=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/src"
if git -C "$source_dir" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    # One tar reads the whole list: xargs would start a second one past its
    # limit of arguments, and the extracting tar stops at the end of the first.
    git -C "$source_dir" ls-files -z --cached --others --exclude-standard |
        tar -C "$source_dir" -cf - --null --no-recursion --ignore-failed-read -T - | tar -C "$work/src" -xf -
else
    tar -C "$source_dir" --exclude='./build*' -cf - . | tar -C "$work/src" -xf -
fi

export CCACHE_BASEDIR=$work PIP_NO_INDEX=1 PIP_DISABLE_PIP_VERSION_CHECK=1
cd "$work/src"
"$python" -m venv --system-site-packages "$work/v"
"$work/v/bin/pip" install --no-build-isolation . >"$work/pip.log" 2>&1 || {
    cat "$work/pip.log"
    echo "FAIL: pip install"
    exit 1
}

cd "$work"
"$work/v/bin/python" - "$work/v" "$source_dir" <<'PY'
import os
import sys

import numpy as np

import tavox

venv, source = sys.argv[1], sys.argv[2]
folder = os.path.dirname(tavox.__file__)
assert folder.startswith(venv + "/lib/"), folder
assert {"py.typed", "_tavox.pyi", "dask.py", "_spectrum.py", "_spectrogram.py"} <= set(os.listdir(folder)), \
    os.listdir(folder)
with open(os.path.join(source, "CMakeLists.txt")) as cmake:
    assert "project(tavox VERSION %s " % tavox.__version__ in cmake.read()
samples = np.rint(1000 * np.cos(2 * np.pi * 8 * np.arange(1024) / 128)).astype(np.int16)
spectrum = tavox.spectrum(samples, 128, method="average", repeat=4, fs=1000)
assert round(float(spectrum.magnitude[8])) == 1000 and spectrum.frequencies[8] == 62.5, spectrum.magnitude[:10]
assert tavox.spectrogram(samples, 128, fs=1000).S.shape == (15, 64)
samples.astype("<i2").tofile("a.dat")
(result,) = tavox.transform_files("a.dat", "*.spc", width=128)
assert result.ok and open(result.outputs[0], "rb").read() == tavox.spectrum(samples, 128).to_int16().tobytes()
print("installed tavox %s in %s works" % (tavox.__version__, folder))
PY
echo "1 passed, 0 failed"
