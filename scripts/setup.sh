#!/usr/bin/env bash
# Installs the Debian packages TAVOX needs (only those missing) and builds
# everything into build/ (or $TAVOX_BUILD_DIR); with --packages-only it stops
# after the packages. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  g++ cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev zlib1g-dev fonts-comic-neue fonts-liberation2
  libminizip-dev
  python3-dev pybind11-dev python3-numpy python3-openpyxl python3-pytest
  python3-dask python3-distributed python3-tqdm mypy
  python3-scipy
  python3-pandas python3-xarray python3-matplotlib python3-nbclient python3-ipykernel python3-numpydoc
  python3-venv python3-pip python3-setuptools python3-wheel ccache
  libfftw3-dev hyperfine
  time
  nlohmann-json3-dev
  libsndfile1-dev python3-soundfile
  clang-14 libclang-rt-14-dev clang-format-14
  scdoc dpkg-dev lintian shellcheck
  python3-sphinx python3-myst-parser python3-numpydoc furo
)

missing=()
for p in "${packages[@]}"; do
  [[ $(dpkg-query -W -f='${Status}' "$p" 2>/dev/null) == "install ok installed" ]] || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
[ "${1:-}" = "--packages-only" ] && exit 0

build="${TAVOX_BUILD_DIR:-build}"
# Further configure arguments, and the targets to build (every one when
# TAVOX_BUILD_TARGETS is empty; the demo names its own), split at blanks.
read -ra cmake_args <<<"${TAVOX_CMAKE_ARGS:-}"
read -ra targets <<<"${TAVOX_BUILD_TARGETS:-}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${TAVOX_BUILD_TYPE:-Release}" "${cmake_args[@]}"
# On every CPU.
cmake --build "$build" -j"$(nproc)" ${targets[@]:+--target "${targets[@]}"}
