#!/usr/bin/env bash
# Installs what is missing, builds the three presets and runs every test: host unit tests
# (with sanitizers), the Windows tests of the win64 build under wine64, and the checks of
# the win32 release build. Screenshots land in build/win64/screenshots.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh || exit 1

jobs=$(nproc)
for preset in host win64 win32; do
  cmake --preset "$preset" >/dev/null || exit 1
  cmake --build --preset "$preset" -j"$jobs" || exit 1
done

status=0
ctest --preset host -j"$jobs" || status=1
# One at a time: the Windows tests share one screen, and tests that read message boxes or
# sample pixels must not have another test's window on top of theirs.
ctest --preset win64 -j1 || status=1
ctest --preset win32 -j"$jobs" -V | grep -E "bytes stripped|imports:|FAIL|tests passed|tests failed" || status=1
[ $status -eq 0 ] && echo "all tests passed" || echo "some tests failed"
exit $status
