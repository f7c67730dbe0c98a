#!/usr/bin/env bash
# Builds the Debian package of Tolva into build/package/; with --install also installs it with apt-get
# (which pulls in what it depends on), so that `tolva` and `man tolva` work system-wide.
# Remove it again with: sudo apt-get remove tolva
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

bash "$repo/tools/deps.sh"
cmake -S "$repo" -B "$repo/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLVA_BUILD_BENCH=OFF >/dev/null
cmake --build "$repo/build" --target tolva tolva-cli tolva_packaging
rm -rf "$repo/build/package"
(cd "$repo/build" && cpack -G DEB -B "$repo/build/package" >/dev/null)
deb=$(ls "$repo"/build/package/tolva_*.deb)
echo "$deb"
if command -v lintian >/dev/null; then
    lintian --fail-on error "$deb"
fi
if [ "${1:-}" = "--install" ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "$deb"
fi
