#!/usr/bin/env bash
# Builds Corvanex and runs every test: fuzz targets briefly, the unit tests
# under AddressSanitizer and UndefinedBehaviorSanitizer, the engine and
# worker tests under ThreadSanitizer, then the full suite (unit, process,
# end-to-end and widget tests) on the normal build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
fuzz_seconds=${CX_FUZZ_SECONDS:-15}

echo "== fuzz targets (${fuzz_seconds}s each)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCX_FUZZ=ON -DCX_BUILD_UI=OFF -DCX_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$jobs"
for target in build-fuzz/tests/fuzz/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="build-fuzz/corpus/$name"
  mkdir -p "$corpus"
  seeds="tests/fuzz/seeds/$name"
  [ -d "$seeds" ] || seeds=""
  "$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
    "$corpus" $seeds 2>"build-fuzz/$name.log" || { tail -50 "build-fuzz/$name.log"; exit 1; }
  echo "$name: $(ls "$corpus" | wc -l) corpus entries, no crash"
done

echo "== sanitizer build (ASan + UBSan)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCX_SANITIZE=ON -DCX_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest -j"$jobs" --output-on-failure --timeout 300 -L unit)

echo "== ThreadSanitizer build (engine and camera workers)"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCX_TSAN=ON -DCX_BUILD_UI=OFF \
  -DCX_BUILD_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target cx_engine_tests cx_acquisition_tests
# Only the engine and worker suites are built here, so ctest runs just them.
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest -j"$jobs" --output-on-failure --timeout 300 --no-tests=error -E "_NOT_BUILT")

echo "== full suite"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
cd build && ctest -j"$jobs" --output-on-failure --timeout 300
