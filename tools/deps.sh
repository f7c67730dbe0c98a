#!/usr/bin/env bash
# Installs the Debian 12 packages Tolva needs to build, run and test; does nothing when all are present.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libqt6svg6 qt6-qpa-plugins libgl-dev
    libbenchmark-dev clang libclang-rt-14-dev
    fonts-liberation locales-all
    xvfb xauth
    libical-dev qt6-svg-dev python3-icalendar khal tzdata
    libx11-dev desktop-file-utils appstream poppler-utils
    radicale python3-caldav openssl
    qtkeychain-qt6-dev gnome-keyring dbus dbus-x11 libsecret-tools
    python3 librsvg2-bin groff-base dpkg-dev lintian
    python3-dbusmock
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
