#!/usr/bin/env bash
# Installs what is missing, builds everything, and runs every test: the full
# build headless, then the core libraries once more with AddressSanitizer and
# UndefinedBehaviorSanitizer. Every pass runs even when an earlier one fails;
# the summary at the end names what failed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tests
jobs=$(nproc)
failed=()

# ctest of one build folder; its failures are listed in the summary.
run_tests() {
  local dir=$1 name=$2; shift 2
  if ! (cd "$dir" && "$@"); then
    failed+=("$name: $(tr '\n' ' ' <"$dir/Testing/Temporary/LastTestsFailed.log" 2>/dev/null)")
  fi
}

scripts/build.sh
run_tests build "tests" env QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DZR417_CORE_ONLY=ON -DZR417_SANITIZE=ON -DZR417_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -- -j"$jobs"
run_tests build-asan "core tests under ASan+UBSan" env ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" -L core

if [ ${#failed[@]} -ne 0 ]; then
  echo "test: FAILED"
  printf '  %s\n' "${failed[@]}"
  exit 1
fi
echo "test: every pass succeeded"
