#!/usr/bin/env bash
# Installs what is missing, builds everything, and runs every test: the full
# build headless, then the core libraries once more with AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)

scripts/build.sh
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs")

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DZR417_CORE_ONLY=ON -DZR417_SANITIZE=ON -DZR417_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -- -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" -L core)
