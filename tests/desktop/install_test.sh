#!/usr/bin/env bash
# Installs the build folder into a temporary prefix and checks what a desktop gets: both programs, valid menu
# entries and AppStream data naming the installed programs, icons, manual pages, and a D-Bus service file through
# which a session bus of the test's own starts the installed server. Also checks that the console refuses to
# start without a graphical session. Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
server_pid=
cleanup() {
    if [ -n "$server_pid" ]; then kill -TERM "$server_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# A prefix with a blank would be refused (see the next check); this one has none but is unlike the default.
prefix="$work/prefix-1"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log" >&2; fail "install"; }

bus_name=ole.CLSID_7166C02F_CFCE_4856_AB71_40F9329297BB
service="$prefix/share/dbus-1/services/$bus_name.service"
for f in bin/NavilonixOle bin/NavilonixServer \
    share/applications/ru.navilonix.NavilonixOle.desktop share/applications/ru.navilonix.NavilonixServer.desktop \
    share/icons/hicolor/scalable/apps/ru.navilonix.NavilonixOle.svg \
    share/icons/hicolor/scalable/apps/ru.navilonix.NavilonixServer.svg \
    share/icons/hicolor/48x48/apps/ru.navilonix.NavilonixOle.png \
    share/metainfo/ru.navilonix.NavilonixOle.metainfo.xml \
    share/man/man1/NavilonixOle.1.gz share/man/man1/NavilonixServer.1.gz \
    "share/dbus-1/services/$bus_name.service"; do
    [ -s "$prefix/$f" ] || fail "not installed: $f"
done
[ -x "$prefix/bin/NavilonixOle" ] && [ -x "$prefix/bin/NavilonixServer" ] || fail "programs not executable"

# The launchers name the installed programs.
for app in NavilonixOle NavilonixServer; do
    entry="$prefix/share/applications/ru.navilonix.$app.desktop"
    desktop-file-validate "$entry" || fail "desktop-file-validate $entry"
    grep -qx "Exec=$prefix/bin/$app" "$entry" || fail "$entry: Exec does not name $prefix/bin/$app"
    grep -qx "StartupWMClass=$app" "$entry" || fail "$entry: no StartupWMClass=$app"
    grep -q "^Name=.*НавиЛОКС" "$entry" || fail "$entry: no Russian name"
done
appstreamcli validate --no-net --no-color "$prefix/share/metainfo/ru.navilonix.NavilonixOle.metainfo.xml" ||
    fail "appstreamcli validate"
grep -qx "Exec=$prefix/bin/NavilonixServer --embedding" "$service" || fail "service file: $(cat "$service")"
grep -qx "Name=$bus_name" "$service" || fail "service file names another bus name"
for page in NavilonixOle NavilonixServer; do
    LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$prefix/share/man/man1/$page.1.gz" >"$work/$page.txt" 2>"$work/$page.err"
    grep -q "^NAME" "$work/$page.txt" || fail "manual page $page does not render"
    [ ! -s "$work/$page.err" ] || fail "manual page $page renders with warnings: $(cat "$work/$page.err")"
done

# A prefix whose path the launchers could not name is refused before anything is written there.
if cmake --install "$build" --prefix "$work/with blank" >"$work/blank.log" 2>&1; then
    fail "an install prefix with a blank was accepted"
fi
grep -q "choose a prefix without them" "$work/blank.log" || fail "no clear reason for refusing the prefix"
[ ! -e "$work/with blank" ] || fail "files written into a refused prefix"

# Without a graphical session the console says so and fails instead of running unseen.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/NavilonixOle" >"$work/nodisplay.out" 2>&1 ||
    status=$?
[ "$status" -ne 0 ] || fail "the console started without a graphical session"
grep -q "DISPLAY" "$work/nodisplay.out" || fail "no clear message without a display: $(cat "$work/nodisplay.out")"

# Activation: a session bus that knows only the installed service folder starts the installed server for the
# first call to its name.
cat >"$work/session.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <servicedir>$prefix/share/dbus-1/services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
  <limit name="service_start_timeout">60000</limit>
</busconfig>
CONF
cat >"$work/activate.sh" <<'ACTIVATE'
set -euo pipefail
name=$1 exe=$2 out=$3
dbus-send --session --print-reply --reply-timeout=60000 --dest="$name" /ole/Object \
    ole.IID_9E428CC6_35AE_4899_A9BA_34CE991495D6.get_CurrentVersion >"$out/version"
pid=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.GetConnectionUnixProcessID string:"$name" | awk '/uint32/ {print $2}')
echo "$pid" >"$out/pid"
readlink "/proc/$pid/exe" >"$out/exe"
# The server leaves the bus and exits on SIGTERM.
kill -TERM "$pid"
for _ in $(seq 1 200); do
    kill -0 "$pid" 2>/dev/null || exit 0
    sleep 0.05
done
echo "the activated server did not exit on SIGTERM" >&2
exit 1
ACTIVATE
env -u DISPLAY -u WAYLAND_DISPLAY XDG_DATA_HOME="$work/data" HOME="$work/home" \
    dbus-run-session --config-file="$work/session.conf" -- bash "$work/activate.sh" "$bus_name" \
    "$prefix/bin/NavilonixServer" "$work" || fail "activation of the installed server"
grep -q "string \"" "$work/version" || fail "no version from the activated server: $(cat "$work/version")"
[ "$(cat "$work/exe")" = "$prefix/bin/NavilonixServer" ] ||
    fail "the bus started $(cat "$work/exe"), not the installed server"
[ -d "$work/data/NavilonixServer/Groups" ] || fail "the activated server did not use its work directory"
echo "installed into $prefix: files, launchers, validators, activation and the no-display message are right"
