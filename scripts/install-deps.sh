#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing NavilonixOle need (only those missing), and generates
# the Russian and English UTF-8 locales that the locale tests run under.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev libgl-dev libsystemd-dev
    libgtest-dev libgmock-dev googletest
    dbus dbus-bin dbus-daemon systemd openssh-client openssh-server
    fonts-dejavu-core fonts-liberation2 clang-format
    # Qt's platform plugins and its own translations (standard dialogs in the session's language)
    qt6-qpa-plugins qt6-translations-l10n
    # installing, validating and packaging: menu entries, AppStream data, manual pages, the Debian package
    desktop-file-utils appstream man-db dpkg-dev file lintian
    # the Russian and English locales the locale tests run under (generated below)
    locales
)
locales=(ru_RU.UTF-8 en_US.UTF-8)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# `locale -a` names ru_RU.UTF-8 as ru_RU.utf8.
missing_locales=()
for l in "${locales[@]}"; do
    if ! locale -a 2>/dev/null | grep -qix "${l%%.*}.utf-\?8"; then
        missing_locales+=("$l")
    fi
done
if [ ${#missing_locales[@]} -gt 0 ]; then
    echo "Generating locales: ${missing_locales[*]}"
    for l in "${missing_locales[@]}"; do
        if grep -q "^# *${l} UTF-8" /etc/locale.gen; then
            "${sudo_cmd[@]}" sed -i "s/^# *${l} UTF-8/${l} UTF-8/" /etc/locale.gen
        elif ! grep -q "^${l} UTF-8" /etc/locale.gen; then
            echo "${l} UTF-8" | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
        fi
    done
    "${sudo_cmd[@]}" locale-gen
fi

# openssh-server is here only for the test that runs its own sshd on a port of its own; the system's SSH service
# that installing it enables is switched off again, so that the machine listens on no new port.
if [[ " ${missing[*]} " == *" openssh-server "* ]] && [ -d /run/systemd/system ]; then
    "${sudo_cmd[@]}" systemctl disable --now ssh.service ssh.socket >/dev/null 2>&1 || true
fi
