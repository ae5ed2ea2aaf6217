#!/usr/bin/env bash
# Builds the Debian package of TAVOX: installs what is missing (setup.sh's
# packages), configures a build folder of its own (build-package/, or
# $TAVOX_PACKAGE_BUILD_DIR) for /usr with Debian's build flags and without
# tests or benchmarks, builds it and runs cpack. The package lands in build/
# (or $TAVOX_BUILD_DIR) as tavox_<version>_<architecture>.deb:
#   sudo apt-get install ./build/tavox_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --packages-only

package_build="${TAVOX_PACKAGE_BUILD_DIR:-build-package}"
out="${TAVOX_BUILD_DIR:-build}"
# Further configure arguments, split at blanks.
read -ra cmake_args <<<"${TAVOX_CMAKE_ARGS:-}"

# The hardening flags (stack protector, fortified functions, read-only
# relocations bound at start) with which Debian builds its own packages; the
# project's optimisation flags come after them and win.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake -S . -B "$package_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTAVOX_BUILD_UI=ON -DTAVOX_BUILD_PYTHON=ON -DTAVOX_BUILD_TESTS=OFF -DTAVOX_BUILD_BENCH=OFF \
  -DTAVOX_INSTALL_HTML_DOCS=ON \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" \
  "${cmake_args[@]}"
cmake --build "$package_build" -j2
# The HTML documentation the package ships in /usr/share/doc/tavox/html.
TAVOX_BUILD_DIR="$package_build" TAVOX_DOCS_NO_BUILD=1 scripts/docs.sh
# As Debian's own packages do, its scripts link to the same files of
# libjs-sphinxdoc (which the package depends on) rather than repeat them:
# relative links, from /usr/share/doc/tavox/html/_static.
for script in "$package_build"/docs/html/_static/*.js; do
  name=$(basename "$script")
  if cmp -s "$script" "/usr/share/javascript/sphinxdoc/1.0/$name"; then
    ln -sfn "../../../../javascript/sphinxdoc/1.0/$name" "$script"
  fi
done

rm -f "$package_build"/tavox_*.deb
(cd "$package_build" && cpack -G DEB)
mkdir -p "$out"
rm -f "$out"/tavox_*.deb
cp "$package_build"/tavox_*.deb "$out"/
echo "Package: $(ls "$out"/tavox_*.deb)"
