#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds everything, and runs
# every test: the full build (with Debian's hardening flags and warnings as
# errors) headless, then the core libraries once more with AddressSanitizer
# and UndefinedBehaviorSanitizer, and the threaded tests with
# ThreadSanitizer. Every pass runs even when an earlier one fails; the summary
# at the end names what failed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tests
jobs=$(nproc)

# Some tests act as a second user (nobody). They need what every system
# gives all users: a root folder they may enter and a writable /dev/null. A
# fresh system unpacked into a private folder (a chroot) can lack the first.
if [ "$(id -u)" -eq 0 ]; then
  [ "$(stat -c %a /)" = 755 ] || chmod 755 /
  [ "$(stat -c %a /dev/null)" = 666 ] || chmod 666 /dev/null
fi
failed=()

# ctest of one build folder; its failures are listed in the summary.
run_tests() {
  local dir=$1 name=$2; shift 2
  if ! (cd "$dir" && "$@"); then
    failed+=("$name: $(tr '\n' ' ' <"$dir/Testing/Temporary/LastTestsFailed.log" 2>/dev/null)")
  fi
}

# Every C++ file as the repository's .clang-format lays it out (clang-format
# 14, Debian 12's); `clang-format -i FILE` mends one. A few seconds.
if ! find . \( -path './build*' -o -path ./dist -o -path ./.git -o -name node_modules \) -prune -o \
    \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format --dry-run --Werror; then
  failed+=("format: the files above differ from .clang-format")
fi

# The main build, as scripts/build.sh makes it, with the compiler flags the
# Debian package is built with (scripts/package.sh) and warnings as errors,
# so a warning the package build would print fails here.
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZR417_BUILD_TESTS=ON -DZR417_BUILD_BENCH=ON \
  -DCMAKE_C_FLAGS="$(flags CFLAGS) $(flags CPPFLAGS) -Werror" \
  -DCMAKE_CXX_FLAGS="$(flags CXXFLAGS) $(flags CPPFLAGS) -Werror" \
  -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >/dev/null
cmake --build build -- -j"$jobs"
run_tests build "tests" env QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DZR417_CORE_ONLY=ON -DZR417_SANITIZE=ON -DZR417_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -- -j"$jobs"
run_tests build-asan "core tests under ASan+UBSan" env ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j"$jobs" -L core

# The tests whose threads meet (the read-out worker, the listener and the
# window over the keyboard session) once more under ThreadSanitizer, built at
# -O1 to stay quick. The skin generator draws with Qt's own thread pool, whose
# locks an uninstrumented Qt hides from the sanitizer: the build silences it.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
  -DZR417_TSAN=ON -DZR417_BUILD_BENCH=OFF >/dev/null
TSAN_OPTIONS=report_bugs=0 cmake --build build-tsan --target device_protocol_test device_link_test test_main_window \
  -- -j"$jobs"
run_tests build-tsan "threaded tests under TSan" env TSAN_OPTIONS=second_deadlock_stack=1 \
  ctest --output-on-failure -R '^(device_protocol_test|device_link_test|test_main_window)$'

if [ ${#failed[@]} -ne 0 ]; then
  echo "test: FAILED"
  printf '  %s\n' "${failed[@]}"
  exit 1
fi
echo "test: every pass succeeded"
