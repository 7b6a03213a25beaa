#!/usr/bin/env bash
# Builds the Debian package as scripts/package.sh does (lintian errors fail it) and checks that its dependencies
# were computed from the programs and that its launchers name the programs under /usr.
# Usage: package_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
NAVILONIX_BUILD_DIR=$(cd "$2" && pwd) "$1/scripts/package.sh" "$out"
deb=$(ls "$out"/navilonixole_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libsystemd0 libc6; do
    [[ "$depends" == *"$library ("* ]] || fail "no computed dependency on $library: $depends"
done
dpkg-deb -x "$deb" "$out/root"
grep -qx "Exec=/usr/bin/NavilonixServer --embedding" \
    "$out/root/usr/share/dbus-1/services/ole.CLSID_7166C02F_CFCE_4856_AB71_40F9329297BB.service" ||
    fail "the packaged service file does not start /usr/bin/NavilonixServer"
grep -qx "Exec=/usr/bin/NavilonixOle" "$out/root/usr/share/applications/ru.navilonix.NavilonixOle.desktop" ||
    fail "the packaged menu entry does not start /usr/bin/NavilonixOle"
for program in NavilonixOle NavilonixServer; do
    file "$out/root/usr/bin/$program" | grep -q ", stripped" || fail "$program is not stripped"
done
