#!/usr/bin/env bash
# Builds the whole test suite with AddressSanitizer (leaks included) and
# UBSan (g++, every finding fatal) into build-sanitize/ (or
# $TAVOX_SANITIZE_BUILD_DIR) and runs it, desktop window tests included
# (offscreen). The Python module stays off: its tests run inside an
# interpreter that is not instrumented.
# Then builds the tests of work on worker threads with ThreadSanitizer into
# build-tsan/ (or $TAVOX_TSAN_BUILD_DIR) and runs them: only those, so that
# it takes a few minutes. TAVOX_SANITIZE_ONLY=asan or =tsan runs one part.
set -euo pipefail
cd "$(dirname "$0")/.."

only="${TAVOX_SANITIZE_ONLY:-}"

if [[ -z $only || $only == asan ]]; then
  build="${TAVOX_SANITIZE_BUILD_DIR:-build-sanitize}"
  ui="${TAVOX_SANITIZE_UI:-ON}"
  flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
  # -O1 with line tables: quick to build, readable reports.
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DTAVOX_BUILD_UI="$ui" -DTAVOX_BUILD_PYTHON=OFF -DTAVOX_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" -j2

  export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1}"
  export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
  # Peak-memory checks measure the allocator, which AddressSanitizer replaces
  # (freed blocks wait in its quarantine); the normal test run keeps them.
  ctest --test-dir "$build" --output-on-failure -j2 --timeout 900 -E "peak_memory"
fi

if [[ -z $only || $only == tsan ]]; then
  tsan="${TAVOX_TSAN_BUILD_DIR:-build-tsan}"
  threaded=(tests/common/ordered_pipeline_test tests/engine/sample_spectrum_test tests/app/parallel_batch_test)
  cmake -S . -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
    -DCMAKE_CXX_FLAGS="-fsanitize=thread" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
    -DTAVOX_BUILD_UI=OFF -DTAVOX_BUILD_PYTHON=OFF -DTAVOX_BUILD_BENCH=OFF >/dev/null
  cmake --build "$tsan" -j2 --target "${threaded[@]##*/}"
  export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}"
  for test in "${threaded[@]}"; do
    "$tsan/$test"
  done
fi
