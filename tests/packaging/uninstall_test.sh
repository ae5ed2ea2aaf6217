#!/usr/bin/env bash
# `cmake --install` staged in a throw-away root (DESTDIR), the Python module
# imported from there as a user would (which writes byte-compiled files next
# to it), then the uninstall script: no file of tavox may be left.
# Usage: uninstall_test.sh <build folder> <source folder> <python3 or "">
set -euo pipefail
build=$1 source=$2 python=${3:-}
root=$(mktemp -d)
# The component install writes a manifest of its own, so that the build
# folder's install_manifest.txt of a real installation stays as it was.
manifest="$build/install_manifest_Unspecified.txt"
trap 'rm -rf "$root"; rm -f "$manifest"' EXIT
export DESTDIR=$root

cmake -DCMAKE_INSTALL_COMPONENT=Unspecified -P "$build/cmake_install.cmake" >/dev/null
[ -n "$(find "$root" -path '*/bin/tavox')" ] || { echo "FAIL: nothing installed"; exit 1; }
[ -n "$(find "$root" -path '*/share/doc/tavox/CHANGELOG.md')" ] || { echo "FAIL: no CHANGELOG.md in the docs"; exit 1; }

if [ -n "$python" ]; then
  site=$(find "$root" -path '*/dist-packages/tavox' -type d)
  [ -n "$site" ] || { echo "FAIL: no Python module installed"; exit 1; }
  # Installed into /usr or /usr/local, the module lies where python3 looks.
  installed=$(dirname "${site#"$root"}")
  if [[ $installed == /usr/* ]] && ! "$python" -c 'import sys; sys.exit(sys.argv[1] not in sys.path)' "$installed"; then
    echo "FAIL: $python does not look for modules in $installed"
    exit 1
  fi
  (cd / && env -u PYTHONDONTWRITEBYTECODE PYTHONPATH="$(dirname "$site")" "$python" -c 'import tavox; tavox.Application()')
  [ -d "$site/__pycache__" ] || { echo "FAIL: python3 wrote no byte-compiled files to test with"; exit 1; }
fi

cmake -DMANIFEST="$manifest" -P "$source/cmake/Uninstall.cmake" >/dev/null
left=$(find "$root" -mindepth 1 \( ! -type d -o -path '*tavox*' \))
if [ -n "$left" ]; then
  echo "FAIL: left behind:"
  echo "$left"
  exit 1
fi
echo "every installed file removed"
