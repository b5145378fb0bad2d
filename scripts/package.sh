#!/usr/bin/env bash
# Builds the Debian package dist/zr417-keyboard_<version>_amd64.deb in its own
# build folder (build-deb/: Debian's optimisation and hardening flags, no
# tests) and
# checks it with lintian.
#   scripts/package.sh               build and check the package
#   scripts/package.sh --fresh-check  also install it on a brand-new Debian 12
#                                     (../shared/tools/fresh-debian-check, as
#                                     root), run it there and remove it again
set -euo pipefail
cd "$(dirname "$0")/.."
fresh=../shared/tools/fresh-debian-check
case "${1:-}" in
  "") ;;
  --fresh-check)
    # The tool lives beside the repository, not in it: say so before building.
    if [ ! -x "$fresh" ]; then
      echo "package: --fresh-check needs $fresh, a tool outside this repository;" \
        "without it, build and check the package with scripts/package.sh alone" >&2
      exit 2
    fi ;;
  *) echo "usage: scripts/package.sh [--fresh-check]" >&2; exit 2 ;;
esac
scripts/setup.sh --package

# Debian's own compiler and linker flags (-O2, fortify, stack protector,
# relro, now). RelWithDebInfo adds nothing to them (-O2 -g -DNDEBUG), so the
# programs are compiled exactly as the test command compiles them with
# warnings as errors (scripts/test.sh); Release would add -O3, under which
# GCC 12 warns where -O2 does not.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZR417_BUILD_TESTS=OFF -DZR417_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build build-deb -- -j"$(nproc)"
rm -rf build-deb/package
(cd build-deb && cpack -G DEB -B package >/dev/null)
mkdir -p dist
deb=$(ls build-deb/package/zr417-keyboard_*_amd64.deb)
rm -f dist/zr417-keyboard_*_amd64.deb
mv "$deb" dist/
deb=dist/$(basename "$deb")
echo "package: $deb"
dpkg-deb -f "$deb" Package Version Depends Recommends

# Errors fail the build; warnings are shown.
lintian --fail-on error "$deb"
echo "package: lintian found no errors"

if [ "${1:-}" = --fresh-check ]; then
  # The check runs from a clone of the committed HEAD.
  "$fresh" --copy "$deb" -- tests/packaging/fresh_install_check.sh
fi
