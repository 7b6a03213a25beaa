#!/usr/bin/env bash
# Configures and builds everything into ./build (warnings are errors here, so a warning never lands).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNAVILONIX_WERROR=ON >/dev/null
cmake --build build -j2
