#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (unit, console, integration over a private D-Bus).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
export QT_QPA_PLATFORM=offscreen
# The locales are installed above: a test that needs one fails rather than skips when it is missing.
export NAVILONIX_REQUIRE_LOCALES=1
cd build
ctest --output-on-failure -j2 --timeout 300
