#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice: a normal build, and one with
# AddressSanitizer + UndefinedBehaviorSanitizer. Exits non-zero on any failure.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# One job more than cores keeps both busy while the other waits on the disk or the linker.
jobs=$(( $(nproc) + 1 ))

bash "$repo/tools/deps.sh"

echo "== Normal build"
# Optimised as the benchmarks want it; no debug info, which costs a quarter of the compile time here.
cmake -S "$repo" -B "$repo/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" >/dev/null
cmake --build "$repo/build" -j "$jobs"
ctest --test-dir "$repo/build" --output-on-failure -j "$(nproc)"

echo "== Sanitizer build (ASan + UBSan)"
# Line tables are all the sanitizer reports need.
cmake -S "$repo" -B "$repo/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1" \
    -DTOLVA_SANITIZE=ON -DTOLVA_BUILD_BENCH=OFF >/dev/null
cmake --build "$repo/build-asan" -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS=suppressions="$repo/tests/lsan.supp":print_suppressions=0 \
    ctest --test-dir "$repo/build-asan" --output-on-failure -j "$(nproc)"

echo "== Fuzz targets (clang, libFuzzer + ASan + UBSan): build and a short run of each from its saved corpus"
CC=clang CXX=clang++ cmake -S "$repo" -B "$repo/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTOLVA_BUILD_FUZZ=ON -DTOLVA_SANITIZE=ON -DTOLVA_BUILD_TESTS=OFF -DTOLVA_BUILD_BENCH=OFF >/dev/null
cmake --build "$repo/build-fuzz" --target fuzz_loaders fuzz_storage
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/loaders" "$scratch/storage"
# Loaders: a single allocation above 8 MB, or an input that takes over 2 s, counts as a finding.
"$repo/build-fuzz/fuzz/fuzz_loaders" -max_total_time=20 -rss_limit_mb=512 -malloc_limit_mb=8 -timeout=2 \
    -print_final_stats=1 "$scratch/loaders" "$repo/fuzz/corpus/loaders" 2>&1 | tail -n 12
# Storage: the same bytes through the real files (in /dev/shm when there is one); 20 s, so that both
# runs stay within 40 s.
"$repo/build-fuzz/fuzz/fuzz_storage" -max_total_time=20 -rss_limit_mb=512 -malloc_limit_mb=8 -timeout=5 \
    -print_final_stats=1 "$scratch/storage" "$repo/fuzz/corpus/storage" 2>&1 | tail -n 12
echo "fuzz: no findings"
