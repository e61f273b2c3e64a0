#!/usr/bin/env bash
# The Windows release archive: orvex.exe as built and the README with Windows line ends,
# and the same bytes from a second build of the same commit, orvex.exe linked anew.
# Usage: release-zip.sh BUILD_DIR ZIP ORVEX_EXE
set -uo pipefail
build=$1 zip=$2 program=$3
fail() { echo "FAIL: $*"; exit 1; }
cmake --build "$build" --target release-zip >/dev/null || fail "the release-zip target failed"
first=$(sha256sum < "$zip")
python3 - "$zip" "$program" <<'PY' || fail "the archive's content"
import sys, zipfile
archive = zipfile.ZipFile(sys.argv[1])
assert archive.namelist() == ["orvex.exe", "README.txt"], archive.namelist()
assert archive.read("orvex.exe") == open(sys.argv[2], "rb").read(), "another orvex.exe"
readme = archive.read("README.txt")
assert readme.startswith(b"# Orvex\r\n") and b"\n" not in readme.replace(b"\r\n", b""), "not Windows text"
PY
sleep 2
rm -f "$program" "$zip"
cmake --build "$build" --target release-zip >/dev/null || fail "the second build failed"
[ "$(sha256sum < "$zip")" = "$first" ] || fail "a second build of the same commit gave other bytes"
echo "$(basename "$zip"): $(stat -c %s "$zip") bytes, the same from both builds"
