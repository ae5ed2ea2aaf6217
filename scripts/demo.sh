#!/usr/bin/env bash
# Builds TAVOX (scripts/setup.sh) and runs a real batch over the bundled
# sample signals: simple spectra with phase, centred, Hanning window, 1024
# samples wide. The samples are copied to build/demo/ first, and the spectra
# are written next to them. It ends with pictures of two of the spectra
# (--plot), written next to them as PNG files.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

build="${TAVOX_BUILD_DIR:-build}"
demo="$(pwd)/$build/demo"
rm -rf "$demo"
mkdir -p "$demo"
cp "$build"/samples/*.dat "$demo"/

echo
echo "\$ tavox fc h 1024 \"$demo/*.dat\" \"*out.*\""
status=0
# The terminal front end, also on a desktop.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
  "$build/ui/tavox" fc h 1024 "$demo/*.dat" "*out.*" || status=$?
echo "(exit status $status)"

echo
echo "Spectra written to $demo:"
ls -l "$demo"/*out.dat

# An output holds 512 magnitudes (bins 0-511) followed by 512 phases in degrees.
# Every stage reads its whole input (od stops after the magnitudes by itself),
# so no pipe closes early and nothing dies of SIGPIPE under pipefail.
strongest() {
  od -An -v -td2 -w2 -N 1024 "$1" |
    awk '{ printf "%d %d\n", NR - 1, $1 }' | sort -k2,2nr |
    awk -v n="$2" 'NR <= n { printf "  bin %4d  magnitude %6d\n", $1, $2 }'
}
for name in sine_bin64out.dat two_tonesout.dat; do
  echo
  echo "Strongest bins of $name:"
  strongest "$demo/$name" 3
done

# Pictures of the same two spectra: magnitudes on a linear scale for the
# sine, in dB for the two tones (a sample rate of 8000 Hz gives a Hz axis).
plot() {
  local input=$1
  shift
  echo "\$ tavox $* fc h 1024 \"$demo/$input\" \"*out.*\""
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    "$build/ui/tavox" --quiet "$@" fc h 1024 "$demo/$input" "*out.*" || status=$?
}
echo
plot sine_bin64.dat --plot
plot two_tones.dat --plot=db --rate=8000
echo
echo "Pictures of the spectra:"
for picture in sine_bin64out.dat.png two_tonesout.dat.png; do
  if [ -s "$demo/$picture" ]; then
    echo "  $demo/$picture"
  else
    echo "  $demo/$picture is missing"
    status=1
  fi
done
exit "$status"
