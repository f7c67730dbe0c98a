#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice: a normal build, and one with
# AddressSanitizer + UndefinedBehaviorSanitizer. Exits non-zero on any failure.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc)

bash "$repo/tools/deps.sh"

echo "== Normal build"
cmake -S "$repo" -B "$repo/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$repo/build" -j "$jobs"
ctest --test-dir "$repo/build" --output-on-failure -j "$jobs"

echo "== Sanitizer build (ASan + UBSan)"
cmake -S "$repo" -B "$repo/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOLVA_SANITIZE=ON \
    -DTOLVA_BUILD_BENCH=OFF >/dev/null
cmake --build "$repo/build-asan" -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS=suppressions="$repo/tests/lsan.supp" \
    ctest --test-dir "$repo/build-asan" --output-on-failure -j "$jobs"
