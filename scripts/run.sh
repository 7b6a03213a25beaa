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
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: starting under the offscreen platform." >&2
    export QT_QPA_PLATFORM=offscreen
fi
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && [ ! -S "${XDG_RUNTIME_DIR:-/nonexistent}/bus" ]; then
    # No session bus (e.g. a bare console login): run the console inside a session bus of its own.
    exec dbus-run-session -- build/NavilonixOle
fi
exec build/NavilonixOle
