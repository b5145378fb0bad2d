#!/usr/bin/env bash
# Installs what is missing, then configures and builds into build/ (runtime
# files in build/bin).
#   scripts/build.sh              the programs, the tests and the benchmarks
#   scripts/build.sh --programs   the programs only (no test libraries needed)
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in
  "") with=ON; scripts/setup.sh --tests ;;
  --programs) with=OFF; scripts/setup.sh ;;
  *) echo "usage: scripts/build.sh [--programs]" >&2; exit 2 ;;
esac
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZR417_BUILD_TESTS=$with -DZR417_BUILD_BENCH=$with >/dev/null
cmake --build build -- -j"$(nproc)"
