#!/usr/bin/env bash
# Builds the documentation (Sphinx, docs/) into build/docs/html (or
# $TAVOX_BUILD_DIR/docs/html) with warnings as errors and every internal
# reference checked. It first builds what the pages are made from (the
# program and its plot module, the sample signals, the writer of the
# command-line reference and the Python module; TAVOX_DOCS_NO_BUILD=1 skips
# that), then stages docs/ with the generated pages and pictures next to it:
# the command-line reference from the program's option table, pictures drawn
# by --plot from the samples, python/README.md and CHANGELOG.md.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$(pwd)
build="${TAVOX_BUILD_DIR:-build}"
targets=(tavox tavox_plot_module tavox_sample_signals tavox_cli_reference tavox_python)
if [ "${TAVOX_DOCS_NO_BUILD:-}" != 1 ]; then
  if [ -f "$build/CMakeCache.txt" ]; then
    cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
  else
    TAVOX_BUILD_TARGETS="${targets[*]}" scripts/setup.sh
  fi
fi
build=$(cd "$build" && pwd)
out="$build/docs"
stage="$out/src"
rm -rf "$stage" "$out/html" "$out/doctrees" "$out/plots"
mkdir -p "$stage" "$out/plots"
cp -r docs/. "$stage"/
rm -f "$stage"/reference/*.cpp "$stage"/reference/CMakeLists.txt "$stage"/tavox.1.scd

"$build/docs/reference/tavox_cli_reference" >"$stage/reference/cli.md"
# The Python package's own README (conventions, pip, typing) as a page.
cp python/README.md "$stage/guide/python-package.md"

if [ -f CHANGELOG.md ]; then
  cp CHANGELOG.md "$stage/CHANGELOG.md"
else
  printf '# Changelog\n\nNo release notes have been written yet.\n' >"$stage/CHANGELOG.md"
fi

# Pictures of the methods and windows, drawn by the program without a
# display from copies of the samples (outputs go next to their inputs).
tavox() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$build/ui/tavox" --quiet --plot-size=900x420 "$@"
}
plots="$out/plots"
cp "$build"/samples/*.dat "$plots"/
samples="$plots"
for window in p h f; do
  tavox --plot=db --rate=8000 e "$window" 1024 "$samples/two_tones.dat" "window_$window.dat"
done
tavox --plot f h 1024 "$samples/sine_bin64.dat" method_f.dat
tavox --plot=db --rate=8000 p h 1024 "$samples/noise.dat" method_p.dat 16
tavox --plot=db --rate=8000 m h 256 "$samples/chirp.dat" method_m.dat 64
mkdir -p "$stage/_generated"
for picture in "$plots"/*.png; do
  name=$(basename "$picture" .png)
  cp "$picture" "$stage/_generated/${name%%.*}.png"
done

version=$("$build/ui/tavox" --version)
# -n: every reference must resolve; -W: any warning fails the build.
PYTHONPATH="$build/python${PYTHONPATH:+:$PYTHONPATH}" TAVOX_VERSION="$version" \
  /usr/bin/python3 -m sphinx -b html -n -W --keep-going -q -d "$out/doctrees" "$stage" "$out/html"
echo "Documentation: $out/html/index.html"
echo "(from $source_dir/docs)"
