#!/usr/bin/env bash
# Installs what is missing, builds, registers the demo tracking server for D-Bus activation and starts the
# console. Connect then attaches to the running server or has the session bus start it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
if [ -x build/NavilonixServer ]; then
    build/NavilonixServer --register
fi
# The console is a window: without a graphical session it would run where nobody sees it. A platform chosen on
# purpose (QT_QPA_PLATFORM=offscreen, say) is respected.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    cat >&2 <<'MESSAGE'
The console needs a graphical session, and neither DISPLAY nor WAYLAND_DISPLAY is set.
Run ./scripts/run.sh from a terminal of your desktop; over ssh, log in with X11 forwarding (ssh -X host);
on a machine without a screen, use a virtual one: xvfb-run ./scripts/run.sh (package xvfb).
The console is built; ./scripts/test.sh runs the tests without a display.
MESSAGE
    exit 1
fi
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && [ ! -S "${XDG_RUNTIME_DIR:-/nonexistent}/bus" ]; then
    # No session bus (e.g. a bare console login): run the console inside a session bus of its own.
    exec dbus-run-session -- build/NavilonixOle
fi
exec build/NavilonixOle
