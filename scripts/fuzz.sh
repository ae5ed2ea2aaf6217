#!/usr/bin/env bash
# Builds the fuzzers with clang (libFuzzer, AddressSanitizer, UBSan) into
# build-fuzz/ (or $TAVOX_FUZZ_BUILD_DIR) and runs each for a bounded time,
# $TAVOX_FUZZ_SECONDS seconds (default 20). Fails on any finding; the input
# that failed is left in <build>/artifacts/<name>/ and belongs, once fixed, in
# fuzz/regressions/<name>/ so that the test suite replays it.
#   scripts/fuzz.sh [name...]   names: command_line range_value leading_number
#                               target_mask wildcard private_profile transform
set -euo pipefail
cd "$(dirname "$0")/.."

build="${TAVOX_FUZZ_BUILD_DIR:-build-fuzz}"
seconds="${TAVOX_FUZZ_SECONDS:-20}"
all=(command_line range_value leading_number target_mask wildcard private_profile transform)
names=("$@")
((${#names[@]})) || names=("${all[@]}")

CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAVOX_BUILD_FUZZERS=ON -DTAVOX_BUILD_TESTS=OFF -DTAVOX_BUILD_BENCH=OFF \
  -DTAVOX_BUILD_UI=OFF -DTAVOX_BUILD_PYTHON=OFF >/dev/null
cmake --build "$build" -j2 --target "${names[@]/#/fuzz_}"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
status=0
for name in "${names[@]}"; do
  work="$build/corpus/$name"
  artifacts="$build/artifacts/$name/"
  mkdir -p "$work" "$artifacts"
  echo "== fuzz_$name for ${seconds}s"
  # New inputs go to the build tree's corpus; the committed seeds are only read.
  if ! "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$artifacts" "$work" "fuzz/corpus/$name" \
      >"$build/fuzz_$name.log" 2>&1; then
    echo "fuzz_$name found a failure (log: $build/fuzz_$name.log, input in $artifacts):"
    grep -E "ERROR|SUMMARY|fuzz check failed|runtime error" "$build/fuzz_$name.log" | head -20 || true
    status=1
  else
    grep -E "stat::number_of_executed_units|stat::average_exec_per_sec" "$build/fuzz_$name.log" || true
    echo "corpus: $(find "$work" -type f | wc -l) inputs"
  fi
done
exit "$status"
