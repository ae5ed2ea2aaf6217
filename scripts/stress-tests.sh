#!/usr/bin/env bash
# Runs the test suite of build/ (or $TAVOX_BUILD_DIR) round after round while
# CPU-bound processes load the machine, to find tests that fail by chance, and
# prints each failure: the round, the CTest test and the failed cases from its
# output. Builds nothing (scripts/setup.sh does). Exits 1 when a test failed.
#
#   scripts/stress-tests.sh [--rounds N] [--filter REGEX] [--python] [--load N] [--jobs N]
#
#   --rounds N      rounds of the suite (default 20)
#   --filter REGEX  only the CTest tests whose names match (ctest -R)
#   --python        the Python tests too (python_*), left out by default
#   --load N        CPU-bound processes beside the tests (default 2)
#   --jobs N        tests at once (default 4)
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  echo "stress-tests: $1" >&2
  echo "usage: scripts/stress-tests.sh [--rounds N] [--filter REGEX] [--python] [--load N] [--jobs N]" >&2
  exit 2
}
number() {
  [[ $2 =~ ^[0-9]+$ ]] || usage "$1 needs a whole number, not '$2'"
}

rounds=20 filter="" python=0 load=2 jobs=4
while (($#)); do
  case $1 in
    --rounds | --load | --jobs | --filter)
      (($# >= 2)) || usage "$1 needs a value"
      [[ $1 == --filter ]] || number "$1" "$2"
      declare "${1#--}=$2"
      shift 2
      ;;
    --python)
      python=1
      shift
      ;;
    *) usage "unknown argument '$1'" ;;
  esac
done
((rounds >= 1 && jobs >= 1)) || usage "--rounds and --jobs must be at least 1"

build="${TAVOX_BUILD_DIR:-build}"
[ -f "$build/CTestTestfile.cmake" ] || usage "no test suite in $build/; build it with scripts/setup.sh"
selection=()
[ -z "$filter" ] || selection+=(-R "$filter")
((python)) || selection+=(-E '^python_')

load_pids=()
stop_load() {
  ((${#load_pids[@]} == 0)) || kill "${load_pids[@]}" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap stop_load EXIT
trap 'exit 130' INT TERM
for ((i = 0; i < load; i++)); do
  yes >/dev/null &
  load_pids+=($!)
done

logs="$build/stress-tests"
rm -rf "$logs"
mkdir -p "$logs"
echo "stress-tests: $rounds rounds of ctest -j$jobs ${selection[*]} beside $load CPU-bound processes; logs in $logs/"
failures=0
for ((round = 1; round <= rounds; round++)); do
  log="$logs/round-$round.log"
  if ctest --test-dir "$build" --output-on-failure -j"$jobs" --timeout 600 "${selection[@]}" >"$log" 2>&1; then
    echo "round $round: passed"
    rm -f "$log"
    continue
  fi
  # The summary lines of CTest ("  12 - name (Failed)"), then the cases that
  # GoogleTest ("[  FAILED  ] ...") and pytest ("FAILED file::case") named.
  mapfile -t failed < <(awk '/^The following tests FAILED:/ { listed = 1; next }
    listed && sub(/^[ \t]+[0-9]+ - /, "")' "$log")
  mapfile -t cases < <(awk '/^\[  FAILED  \] [^ ]+\.[^ ,]+/ { sub(/,$/, "", $4); print $4 }
    /^FAILED [^ ]+::/ { print $2 }' "$log" | sort -u)
  if ((${#failed[@]} == 0)); then failed=("ctest itself failed; see the log"); fi
  echo "round $round: ${#failed[@]} failed (log: $log)"
  printf '  FAILED %s\n' "${failed[@]}"
  ((${#cases[@]} == 0)) || printf '    %s\n' "${cases[@]}"
  failures=$((failures + ${#failed[@]}))
done
if ((failures)); then
  echo "stress-tests: $failures failures in $rounds rounds"
  exit 1
fi
echo "stress-tests: $rounds rounds passed"
