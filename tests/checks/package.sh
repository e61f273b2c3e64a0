#!/usr/bin/env bash
# The Debian package of a release build as a user gets it: exactly the program, its page
# and its documents, depending on zlib; unpacked with dpkg-deb -x, its orvex tells the
# package's version and builds an SFX file that its -t passes; lintian finds no error and
# man renders the page without a warning.
# Usage: package.sh BUILD_DIR DEB_NAME
set -uo pipefail
deb=$1/$2 doc=./usr/share/doc/orvex
fail() { echo "FAIL: $*"; exit 1; }
cmake --build "$1" --target package >/dev/null || fail "the package target failed"
work=$(mktemp -d /tmp/orvex-package.XXXXXX) && trap 'rm -rf "$work"' EXIT
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort | tr '\n' ' ')
[ "$files" = "./usr/bin/orvex $doc/README.md $doc/changelog.gz $doc/copyright ./usr/share/lintian/overrides/orvex ./usr/share/man/man1/orvex.1.gz " ] ||
  fail "the package holds $files"
[[ $(dpkg-deb -f "$deb" Depends) == *zlib1g* ]] || fail "no dependency on zlib1g"
orvex=$work/root/usr/bin/orvex
dpkg-deb -x "$deb" "$work/root" && mkdir "$work/src" && echo hello > "$work/src/a.txt" || fail "unpacking"
[ "$("$orvex" --version)" = "orvex $(dpkg-deb -f "$deb" Version)" ] || fail "orvex --version: $("$orvex" --version)"
"$orvex" -c -s "$work/src" "$work/out.exe" && "$orvex" -t "$work/out.exe" || fail "the unpacked orvex's SFX file"
warnings=$(MANWIDTH=80 man --warnings -l "$work/root/usr/share/man/man1/orvex.1.gz" 2>&1 >"$work/page") &&
  [ -z "$warnings" ] && grep -q '^SYNOPSIS' "$work/page" || fail "man -l: $warnings"
tags=$(lintian --fail-on error "$deb" 2>&1) || fail "lintian reports an error: $tags"
echo "lintian: ${tags:-no tags}"
