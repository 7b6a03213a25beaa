#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing NavilonixOle need (only those missing).
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev libgl-dev libsystemd-dev
    libgtest-dev libgmock-dev googletest
    dbus dbus-bin dbus-daemon systemd
    fonts-dejavu-core fonts-liberation2 clang-format
    # Qt's platform plugins and its own translations (standard dialogs in the session's language)
    qt6-qpa-plugins qt6-translations-l10n
    # installing, validating and packaging: menu entries, AppStream data, manual pages, the Debian package
    desktop-file-utils appstream man-db dpkg-dev file lintian
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
