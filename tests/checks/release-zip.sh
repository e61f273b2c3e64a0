#!/usr/bin/env bash
# The Windows release archive: orvex.exe as built and the README as Windows text; the
# same bytes from a second build of the same commit, with orvex.exe linked anew.
# Usage: release-zip.sh BUILD_DIR ZIP ORVEX_EXE
set -uo pipefail
fail() { echo "FAIL: $*"; exit 1; }
cmake --build "$1" --target release-zip >/dev/null && first=$(sha256sum < "$2") || fail "the release-zip target failed"
python3 -c 'import sys, zipfile
z = zipfile.ZipFile(sys.argv[1]); text = z.read("README.txt")
assert z.namelist() == ["orvex.exe", "README.txt"] and z.read("orvex.exe") == open(sys.argv[2], "rb").read()
assert text.startswith(b"# Orvex\r\n") and b"\n" not in text.replace(b"\r\n", b"")' "$2" "$3" || fail "its content"
sleep 2 && rm -f "$3" "$2"
cmake --build "$1" --target release-zip >/dev/null || fail "the second build failed"
[ "$(sha256sum < "$2")" = "$first" ] || fail "a second build of the same commit gave other bytes"
echo "$(basename "$2"): $(stat -c %s "$2") bytes, the same from both builds"
