#!/usr/bin/env bash
# Installs what is missing, builds Tolva and starts it in the current directory (where it keeps YEARS/).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

bash "$repo/tools/deps.sh"
cmake -S "$repo" -B "$repo/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLVA_BUILD_BENCH=OFF >/dev/null
cmake --build "$repo/build" --target tolva

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "Tolva is a desktop program and there is no display here (DISPLAY and WAYLAND_DISPLAY are unset)."
    echo "To run it on a virtual display:  xvfb-run -s '-screen 0 1600x1000x24' $repo/build/tolva"
    exit 1
fi
exec "$repo/build/tolva" "$@"
