#!/usr/bin/env bash
# Builds the fuzzers with clang (libFuzzer, AddressSanitizer, UBSan) into
# build-fuzz/ (or $TAVOX_FUZZ_BUILD_DIR) and runs each of them.
#
#   scripts/fuzz.sh [name...]   names: command_line range_value leading_number
#                               target_mask wildcard private_profile transform
#                               options sound_file sigmf_meta
#
# Two ways to run:
# - Fixed (TAVOX_FUZZ_FIXED=1, what CI uses): each fuzzer starts from the
#   committed seeds and regressions only, with seed $TAVOX_FUZZ_SEED (default 1)
#   and a fixed number of runs per fuzzer (times $TAVOX_FUZZ_RUNS_SCALE,
#   default 1). The same commit, cloned to the same folder, always gives the
#   same result (the fuzzers hold the source paths, so another folder may
#   give another corpus).
# - Random (default): each fuzzer runs $TAVOX_FUZZ_SECONDS seconds (default 20)
#   with a random seed and keeps what it finds in <build>/corpus/<name>/, so
#   that long runs (TAVOX_FUZZ_SECONDS=600) build on earlier ones.
#
# Either way the script fails on any finding. The input that failed is left in
# <build>/artifacts/<name>/; once the fault is fixed it belongs in
# fuzz/regressions/<name>/, where the test suite replays it on every run.
set -euo pipefail
cd "$(dirname "$0")/.."

build="${TAVOX_FUZZ_BUILD_DIR:-build-fuzz}"
seconds="${TAVOX_FUZZ_SECONDS:-20}"
fixed="${TAVOX_FUZZ_FIXED:-0}"
seed="${TAVOX_FUZZ_SEED:-1}"
scale="${TAVOX_FUZZ_RUNS_SCALE:-1}"
# Runs of each fuzzer in the fixed mode: about 15 s each on a 2-core machine.
declare -A fixed_runs=(
  [command_line]=12000 [range_value]=300000 [leading_number]=250000 [target_mask]=150000
  [wildcard]=250000 [private_profile]=3000 [transform]=3000 [options]=100000
  [sound_file]=20000 [sigmf_meta]=20000
)
all=(command_line range_value leading_number target_mask wildcard private_profile transform options sound_file
  sigmf_meta)
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
  artifacts="$build/artifacts/$name/"
  mkdir -p "$artifacts"
  inputs=("fuzz/corpus/$name")
  [ -d "fuzz/regressions/$name" ] && inputs+=("fuzz/regressions/$name")
  if [ "$fixed" = 1 ]; then
    # A fresh working corpus every time, so nothing of an earlier run counts.
    work="$build/fixed-corpus/$name"
    rm -rf "$work"
    runs=$((${fixed_runs[$name]} * scale))
    # Nothing may depend on the clock or on where the heap lies: no corpus
    # reload or allocator purge on a timer, no RSS thread (a malloc limit
    # instead), and, where the kernel allows it, no address randomisation
    # (vectorised loops take other paths at other alignments).
    limits=(-seed="$seed" -runs="$runs" -reload=0 -purge_allocator_interval=-1 -rss_limit_mb=0 -malloc_limit_mb=2048)
    # The environment and the arguments lie on the stack, whose addresses the
    # comparisons a fuzzer traces may hold: both are the same on every machine.
    launcher=(env -i PATH=/usr/bin:/bin ASAN_OPTIONS="$ASAN_OPTIONS" UBSAN_OPTIONS="$UBSAN_OPTIONS")
    setarch "$(uname -m)" -R true 2>/dev/null && launcher+=(setarch "$(uname -m)" -R)
    echo "== fuzz_$name, seed $seed, $runs runs"
  else
    work="$build/corpus/$name"
    limits=(-max_total_time="$seconds" -rss_limit_mb=2048)
    launcher=()
    echo "== fuzz_$name for ${seconds}s"
  fi
  mkdir -p "$work"
  # New inputs go to the working corpus; the committed inputs are only read.
  if ! "${launcher[@]}" "$build/fuzz/fuzz_$name" "${limits[@]}" -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$artifacts" "$work" "${inputs[@]}" \
      >"$build/fuzz_$name.log" 2>&1; then
    echo "fuzz_$name found a failure (log: $build/fuzz_$name.log, input in $artifacts):"
    grep -m 20 -E "ERROR|SUMMARY|fuzz check failed|runtime error" "$build/fuzz_$name.log" || true
    status=1
  else
    grep -E "stat::number_of_executed_units|stat::average_exec_per_sec" "$build/fuzz_$name.log" || true
    # The names are content hashes: equal digests mean equal corpora.
    echo "corpus: $(find "$work" -type f | wc -l) inputs, digest $(find "$work" -mindepth 1 -maxdepth 1 -printf '%f\n' | sort | md5sum | cut -c1-12)"
  fi
done
exit "$status"
