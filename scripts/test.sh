#!/usr/bin/env bash
# Builds Corvanex and runs every test, building each configuration once:
#   1. one clang build with AddressSanitizer and UndefinedBehaviorSanitizer
#      (no widgets): the fuzz targets, run briefly two at a time, and the
#      unit tests;
#   2. the engine and worker tests under ThreadSanitizer;
#   3. the normal build: the program and every test that needs it (process,
#      end-to-end, fault, widget and allocation tests; the unit tests ran in
#      step 1, under the sanitizers), then the Debian packages installed,
#      run and removed (scripts/package_test.sh).
# Debug information is line tables only (-g1): enough for every stack a
# sanitizer or a failing test prints, and a third less compiling. The
# sanitizer build is optimised (-O1) so the fuzzers run many inputs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
fuzz_seconds=${CX_FUZZ_SECONDS:-15}
started=$SECONDS
stage() { echo "== $1 (at $((SECONDS - started)) s)"; }

stage "sanitizer build (clang, ASan + UBSan): fuzz targets and unit tests"
CC=clang CXX=clang++ cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" \
  -DCX_FUZZ=ON -DCX_BUILD_UI=OFF -DCX_BUILD_BENCH=OFF >/dev/null
cmake --build build-sanitize -j"$jobs"

stage "fuzz targets (${fuzz_seconds} s each, ${jobs} at a time)"
fuzz_one() {
  local target=$1 name corpus seeds
  name=$(basename "$target")
  corpus="build-sanitize/corpus/$name"
  mkdir -p "$corpus"
  seeds="tests/fuzz/seeds/$name"
  [ -d "$seeds" ] || seeds=""
  if ! "$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
      "$corpus" $seeds 2>"build-sanitize/$name.log"; then
    tail -50 "build-sanitize/$name.log"
    echo "$name: FAILED"
    return 1
  fi
  echo "$name: $(ls "$corpus" | wc -l) corpus entries, no crash"
}
export -f fuzz_one
export fuzz_seconds
find build-sanitize/tests/fuzz -maxdepth 1 -name 'fuzz_*' -type f -perm -u+x | sort |
  xargs -P "$jobs" -I{} bash -c 'fuzz_one {}'

stage "unit tests under ASan + UBSan"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest -j"$jobs" --output-on-failure --timeout 300 --no-tests=error -L unit)

stage "ThreadSanitizer build (engine and camera workers)"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" \
  -DCX_TSAN=ON -DCX_BUILD_UI=OFF -DCX_BUILD_BENCH=OFF >/dev/null
cmake --build build-tsan -j"$jobs" --target cx_engine_tests cx_acquisition_tests
# Only the engine and worker suites are built here, so ctest runs just them.
(cd build-tsan && CX_TEST_CAMSIM="$PWD/../build-sanitize/tools/simulator/cx-camsim" \
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest -j"$jobs" --output-on-failure --timeout 300 --no-tests=error -E "_NOT_BUILT")

stage "normal build: the program, its process, widget and allocation tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
  -DCX_UNIT_TESTS=OFF >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest -j"$jobs" --output-on-failure --timeout 300)

stage "Debian packages"
bash scripts/package_test.sh
stage "all passed"
