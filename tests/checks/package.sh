#!/usr/bin/env bash
# The Debian package of a release build as a user gets it: made by the package target,
# holding exactly the program, its page and its documents, unpacked with dpkg-deb -x; the
# unpacked orvex builds an SFX file that its own -t passes and tells the package's
# version; lintian finds no error and man renders the page without a warning.
# Usage: package.sh BUILD_DIR DEB_NAME
set -uo pipefail
build=$1 deb=$1/$2
fail() { echo "FAIL: $*"; exit 1; }
cmake --build "$build" --target package >/dev/null || fail "the package target failed"
work=$(mktemp -d /tmp/orvex-package.XXXXXX)
trap 'rm -rf "$work"' EXIT

files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort | tr '\n' ' ')
doc=./usr/share/doc/orvex
expected="./usr/bin/orvex $doc/README.md $doc/changelog.gz $doc/copyright ./usr/share/lintian/overrides/orvex ./usr/share/man/man1/orvex.1.gz "
[ "$files" = "$expected" ] || fail "the package holds $files"
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *zlib1g* ]] || fail "no dependency on zlib1g: $depends"

dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb -x"
orvex=$work/root/usr/bin/orvex
[ "$("$orvex" --version)" = "orvex $(dpkg-deb -f "$deb" Version)" ] || fail "orvex --version: $("$orvex" --version)"
mkdir -p "$work/src/sub"
printf 'hello\n' > "$work/src/sub/a.txt"
"$orvex" -c -s "$work/src" "$work/out.exe" || fail "the unpacked orvex did not build"
"$orvex" -t "$work/out.exe" || fail "orvex -t refused the SFX file it built"

page=$work/root/usr/share/man/man1/orvex.1.gz
warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >"$work/page.txt") || fail "man -l: $warnings"
[ -z "$warnings" ] || fail "man -l warns: $warnings"
grep -q '^SYNOPSIS' "$work/page.txt" || fail "man -l rendered no SYNOPSIS"

tags=$(lintian --fail-on error "$deb" 2>&1) || fail "lintian reports an error: $tags"
echo "lintian: ${tags:-no tags}"
echo "package $deb: whole"
