#!/usr/bin/env bash
# Sets up everything and runs every test: the format check, the build with warnings as errors,
# all tests (unit, integration, end to end) under a virtual display and a private session bus,
# then the unit tests again built with AddressSanitizer and UndefinedBehaviorSanitizer, then
# every fuzz target, built with clang, replaying its corpus and regressions once, and last the
# project on Debian 13 in a root of its own (scripts/test-debian13.sh: the build, the unit
# tests, the fuzzers and the roads in GIMP 3).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/check-format.sh

jobs=$(nproc)

cmake -S . -B build -G Ninja -DLUMIVO_WERROR=ON
ninja -C build -j"$jobs"
# One display and one session bus for the whole run; tests that need more start it themselves.
bash scripts/virtual-display.sh ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-sanitize -G Ninja -DLUMIVO_WERROR=ON -DLUMIVO_SANITIZE=ON \
    -DLUMIVO_UNIT_ONLY=ON -DLUMIVO_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
ninja -C build-sanitize -j"$jobs" lumivo_unit_tests
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-sanitize -L unit --output-on-failure -j"$jobs"

# The fuzz targets link the programs' own libraries, so a target that no longer builds fails
# here rather than rotting unseen.
cmake -S . -B build-fuzz -G Ninja -DLUMIVO_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
ninja -C build-fuzz -j"$jobs" lumivo_fuzzers
ctest --test-dir build-fuzz -L fuzz --output-on-failure -j"$jobs"

# Where the Debian 13 root can't be made or entered (a user without subordinate ids, say), the
# steps are skipped with the reason.
status=0
bash scripts/test-debian13.sh || status=$?
if [ "$status" = 77 ]; then
  echo "test.sh: the Debian 13 steps were skipped (the reason is above)"
elif [ "$status" != 0 ]; then
  exit "$status"
fi
