#!/usr/bin/env bash
# Builds the Debian package of the console and the demo server and checks it with lintian (any error fails).
# Usage: scripts/package.sh [OUTPUT_DIR]   (default: build/package; NAVILONIX_BUILD_DIR names another build
# folder than build). Install the package with
#     sudo apt-get install ./build/package/navilonixole_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
build=${NAVILONIX_BUILD_DIR:-build}
out=$(realpath -m "${1:-$build/package}")
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNAVILONIX_WERROR=ON >/dev/null
fi
# Only what the package holds: the programs and the compressed manual pages and changelog.
cmake --build "$build" -j2 --target NavilonixOle NavilonixServer navilonix_data >/dev/null
mkdir -p "$out"
rm -f "$out"/navilonixole_*.deb
(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log" >&2; exit 1; }
deb=$(ls "$out"/navilonixole_*.deb)
status=0
lintian --fail-on error "$deb" >"$out/lintian.log" 2>&1 || status=$?
grep -v "root privileges" "$out/lintian.log" || true
if [ "$status" -ne 0 ]; then
    echo "lintian reports errors in $deb" >&2
    exit 1
fi
echo "$deb: $(stat -c %s "$deb") bytes, installed size $(dpkg-deb -f "$deb" Installed-Size) KiB"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
