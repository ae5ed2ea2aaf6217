#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh left in build/ (or
# $TAVOX_BUILD_DIR): lintian reports no error, the package holds and declares
# what a user needs, and its contents work when unpacked into a throw-away
# root: a batch over the bundled samples in the terminal and under the
# desktop module, the self-test when the program has one, the Python module
# imported by /usr/bin/python3, the manual page and the completion. Installs
# nothing on the machine.
set -euo pipefail
cd "$(dirname "$0")/.."

out="${TAVOX_BUILD_DIR:-build}"
mapfile -t debs < <(find "$out" -maxdepth 1 -name 'tavox_*.deb')
if ((${#debs[@]} != 1)); then
  echo "package-check: expected one tavox_*.deb in $out/, found ${#debs[@]}; run scripts/package.sh" >&2
  exit 2
fi
deb=${debs[0]}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() {
  echo "package-check: $*" >&2
  exit 1
}
step() { echo "package-check: $*"; }

step "lintian $deb"
lintian --fail-on error "$deb"

step "contents and dependencies"
dpkg-deb -x "$deb" "$root"
for path in usr/bin/tavox usr/share/man/man1/tavox.1.gz usr/share/bash-completion/completions/tavox \
  usr/share/applications/tavox.desktop usr/share/icons/hicolor/scalable/apps/tavox.svg \
  usr/lib/python3/dist-packages/tavox/__init__.py usr/share/doc/tavox/copyright usr/share/doc/tavox/changelog.gz \
  usr/share/tavox/samples/sine_bin64.dat usr/share/doc/tavox/html/index.html \
  usr/share/doc/tavox/html/reference/cli.html usr/share/doc/tavox/html/reference/python.html; do
  [ -e "$root/$path" ] || fail "the package holds no /$path"
done
module=$(find "$root/usr/lib" -name libtavox_desktop.so)
[ -n "$module" ] || fail "the package holds no desktop module"
[ -n "$(find "$root/usr/lib" -name libtavox_plot.so)" ] || fail "the package holds no plot module"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libsndfile1 python3-numpy 'python3 (>='; do
  grep -qF "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
dpkg-deb -I "$deb" prerm >/dev/null || fail "the package has no prerm"
# Only what the package lists may stay behind on removal: nothing under /etc,
# /var or /usr/local, nothing that a maintainer script creates.
outside=$(find "$root" -mindepth 1 -maxdepth 1 ! -name usr)
[ -z "$outside" ] || fail "files outside /usr: ${outside//"$root"/}"
[ ! -e "$root/usr/local" ] || fail "files in /usr/local"

step "a batch over the samples, in the terminal"
tavox="$root/usr/bin/tavox"
work="$root/work"
mkdir "$work"
cp "$root"/usr/share/tavox/samples/*.dat "$work"/
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$tavox" fc h 1024 "$work/*.dat" "*out.*" >"$root/run.txt" || status=$?
cat "$root/run.txt"
((status == 0)) || fail "the batch exited with status $status"
grep -qF 'Kalmira [dokončeno - 100%]' "$root/run.txt" || fail "the batch did not report completion"
# 512 magnitudes and 512 phases; the tone of amplitude 8000 sits on bin 64.
[ "$(stat -c %s "$work/sine_bin64out.dat")" -eq 2048 ] || fail "sine_bin64out.dat has the wrong size"
bin64=$(od -An -v -td2 -j 128 -N 2 "$work/sine_bin64out.dat" | tr -d ' ')
[ "$bin64" = 8000 ] || fail "bin 64 of the sine reads $bin64, not 8000"

step "a picture of a spectrum with --plot, in the terminal"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$tavox" --plot e h 1024 "$work/sine_bin64.dat" "*.plot" \
  >"$root/plot.txt" 2>&1 || status=$?
((status == 0)) || fail "the batch with --plot exited with status $status: $(cat "$root/plot.txt")"
[ "$(head -c 8 "$work/sine_bin64.plot.png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] ||
  fail "--plot wrote no PNG picture"

step "the same batch under the desktop module (offscreen)"
rm -f "$work"/*out.dat
status=0
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$root" \
  "$tavox" e h 1024 "$work/*.dat" "*out.*" >"$root/desktop.txt" 2>&1 || status=$?
((status == 0)) || fail "the desktop batch exited with status $status: $(cat "$root/desktop.txt")"
! grep -q 'could not be loaded' "$root/desktop.txt" || fail "$(cat "$root/desktop.txt")"
[ "$(stat -c %s "$work/sine_bin64out.dat")" -eq 1024 ] || fail "the desktop batch wrote no spectrum"

if [[ $("$tavox" --help) == *--self-test* ]]; then
  step "tavox --self-test"
  "$tavox" --self-test
fi

step "--help names the manual page and the HTML documentation the package holds"
help=$("$tavox" --help)
[[ ${help##*$'\n'} == "More in man tavox and in /usr/share/doc/tavox/html/index.html" ]] ||
  fail "the last line of --help does not name the HTML documentation: ${help##*$'\n'}"

step "the Python module, imported by /usr/bin/python3 from /"
python_dir="$root/usr/lib/python3/dist-packages"
/usr/bin/python3 -c 'import sys; sys.exit("/usr/lib/python3/dist-packages" not in sys.path)' ||
  fail "/usr/bin/python3 does not search /usr/lib/python3/dist-packages"
(cd / && PYTHONPATH="$python_dir" PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 -c \
  'import sys, tavox; print(tavox.Application()); assert tavox.__file__.startswith(sys.argv[1]), tavox.__file__' \
  "$python_dir") || fail "import tavox failed"

step "the manual page and the completion"
warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
  "$root/usr/share/man/man1/tavox.1.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the manual page renders with warnings: $warnings"
bash -c 'source "$1" && complete -p tavox' _ "$root/usr/share/bash-completion/completions/tavox" >/dev/null ||
  fail "the completion does not load"

step "all checks passed for $deb"
