#!/usr/bin/env bash
# `cmake --install` into a throw-away prefix, the Python module imported from
# there as a user would (which writes byte-compiled files next to it), then
# the uninstall script: no file of tavox may be left.
# Usage: uninstall_test.sh <build folder> <source folder> <python3 or "">
set -euo pipefail
build=$1 source=$2 python=${3:-}
prefix=$(mktemp -d)
# The component install writes a manifest of its own, so that the build
# folder's install_manifest.txt of a real installation stays as it was.
manifest="$build/install_manifest_Unspecified.txt"
trap 'rm -rf "$prefix"; rm -f "$manifest"' EXIT

cmake -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_COMPONENT=Unspecified -P "$build/cmake_install.cmake" >/dev/null
[ -x "$prefix/bin/tavox" ] || { echo "FAIL: nothing installed"; exit 1; }

if [ -n "$python" ]; then
  # Where Debian's python3 looks for local installs.
  site=$(find "$prefix/lib" -path '*/dist-packages/tavox' -type d)
  [[ $site == "$prefix"/lib/python3.*/dist-packages/tavox ]] || { echo "FAIL: Python module in '$site'"; exit 1; }
  (cd / && env -u PYTHONDONTWRITEBYTECODE PYTHONPATH="$(dirname "$site")" "$python" -c 'import tavox; tavox.Application()')
  [ -d "$site/__pycache__" ] || { echo "FAIL: python3 wrote no byte-compiled files to test with"; exit 1; }
fi

cmake -DMANIFEST="$manifest" -P "$source/cmake/Uninstall.cmake" >/dev/null
left=$(find "$prefix" -mindepth 1 \( ! -type d -o -path '*tavox*' \))
if [ -n "$left" ]; then
  echo "FAIL: left behind:"
  echo "$left"
  exit 1
fi
echo "every installed file removed"
