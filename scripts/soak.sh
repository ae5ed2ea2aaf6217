#!/usr/bin/env bash
# Soak runs: batches far larger than the test suite's, with what they used.
# Runs the tavox of build/ (or $TAVOX_BUILD_DIR; builds nothing) and exits 1
# when a section's checks fail.
#
#   scripts/soak.sh [--files N] [SECTION...]
#
#   --files N    inputs of the largest batch (default 1000000; CI runs 10000)
#
# Needs /usr/bin/time (Debian package time).
#
# Sections (every one when none is named):
#   many-files   batches of N/10 and N inputs of 128 samples in one folder on
#                tmpfs (/dev/shm, else $TMPDIR), each with a JSON Lines report
#                and at most 32 open descriptors. Checks that every output is
#                whole, that the report is valid JSON Lines that names every
#                file, and that the peak resident memory stays below 200 MB;
#                prints the peak memory, the processor and wall-clock times
#                and the processor time per file of both sizes. tmpfs keeps a
#                page per file: inputs and outputs take 8 KiB a file (8 GB for
#                a million).
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  echo "soak: $1" >&2
  echo "usage: scripts/soak.sh [--files N] [many-files]" >&2
  exit 2
}

files=1000000
sections=()
while (($#)); do
  case $1 in
    --files)
      (($# >= 2)) || usage "--files needs a value"
      [[ $2 =~ ^[0-9]+$ && $2 -ge 10 ]] || usage "--files needs a whole number of at least 10, not '$2'"
      files=$2
      shift 2
      ;;
    many-files) sections+=("$1") && shift ;;
    *) usage "unknown argument '$1'" ;;
  esac
done
((${#sections[@]})) || sections=(many-files)

tavox="$PWD/${TAVOX_BUILD_DIR:-build}/ui/tavox"
[[ -x $tavox ]] || usage "no program at $tavox (scripts/setup.sh builds it)"
[[ -x /usr/bin/time ]] || usage "no /usr/bin/time (Debian package time)"
base=/dev/shm
[[ -d $base && -w $base ]] || base="${TMPDIR:-/tmp}"
work=$(mktemp -d "$base/tavox-soak.XXXXXX")
trap 'rm -rf "$work"' EXIT
failed=0

fail() {
  echo "soak: FAILED: $1" >&2
  failed=1
}

# Writes `count` inputs of 128 samples (256 bytes) named s0000000.dat on into `folder`.
make_inputs() {
  python3 - "$1" "$2" <<'EOF'
import os, random, sys
folder, count = sys.argv[1], int(sys.argv[2])
os.makedirs(folder)
noise = random.Random(1).randbytes(256 * 64)
for i in range(count):
    fd = os.open(os.path.join(folder, "s%07d.dat" % i), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
    start = (i % 64) * 256
    os.write(fd, noise[start:start + 256])
    os.close(fd)
EOF
}

# Runs a command with at most 32 open descriptors and its standard output
# discarded; prints its exit status, peak resident memory (KiB), user and
# system processor seconds and wall-clock seconds. GNU time measures it: a
# child forked from a larger process (Python) would count that process's
# memory as its own peak.
measure() {
  (
    ulimit -n 32
    exec /usr/bin/time -f '%x %M %U %S %e' -o "$work/measured" "$@" >/dev/null
  ) || true
  cat "$work/measured"
}

# Checks the report of a batch of `count` files that all went well (code
# 1101); prints why not.
check_report() {
  python3 - "$1" "$2" <<'EOF'
import json, sys
path, count = sys.argv[1], int(sys.argv[2])
lines = open(path, "rb").read().split(b"\n")
if lines[-1] != b"":
    sys.exit("the report does not end with a line break")
objects = [json.loads(line) for line in lines[:-1]]
files = [o for o in objects if o.get("type") == "file"]
if len(files) != count or any(o["code"] != 1101 or len(o["outputs"]) != 1 for o in files):
    sys.exit("the report names %d files, not %d that went well" % (len(files), count))
if len({o["input"] for o in files}) != count:
    sys.exit("the report names a file twice")
totals = objects[-1]
if totals.get("type") != "totals" or (totals["files"], totals["done"], totals["failed"]) != (count, count, 0):
    sys.exit("the totals are %r" % totals)
EOF
}

many_files() {
  local size count status rss user system wall whole
  local -a perFile=() peaks=()
  for size in $((files / 10)) "$files"; do
    count=$size
    rm -rf "$work/in"
    make_inputs "$work/in" "$count"
    read -r status rss user system wall < <(measure "$tavox" "--report=$work/report.jsonl" \
      e p 128 "$work/in/*.dat" "*.out")
    echo "many-files: $count files: exit $status, peak $rss KiB, processor ${user} s user" \
      "+ ${system} s system, ${wall} s on the clock"
    ((status == 0)) || fail "$count files: exit status $status"
    ((rss < 200 * 1024)) || fail "$count files: peak resident memory $rss KiB, not below 200 MB"
    whole=$(find "$work/in" -name '*.out' -size 128c -printf . | wc -c)
    ((whole == count)) || fail "$count files: $whole whole outputs"
    check_report "$work/report.jsonl" "$count" || fail "$count files: the report"
    peaks+=("$rss")
    perFile+=("$(python3 -c "print('%.2f' % (($user + $system) * 1e6 / $count))")")
  done
  rm -rf "$work/in"
  echo "many-files: processor time per file: ${perFile[0]} us at $((files / 10)) files," \
    "${perFile[1]} us at $files files (the start of the program counts more in the smaller batch)"
  echo "many-files: peak memory per file beyond the smaller batch:" \
    "$(((peaks[1] - peaks[0]) * 1024 / (files - files / 10))) bytes"
}

for section in "${sections[@]}"; do
  case $section in
    many-files) many_files ;;
  esac
done
exit "$failed"
