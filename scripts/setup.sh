#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test. Quiet and quick when
# everything is already present: apt-get only runs for packages that are missing.
set -euo pipefail

packages=(
  cmake g++ make
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  libz-mingw-w64-dev zlib1g-dev
  lzma-dev  # the LZMA coder's C sources, compiled into every preset
  googletest
  wine wine64
  xvfb xauth x11-utils imagemagick
  fonts-ipafont-gothic  # Japanese glyphs for the windows under a Japanese system locale
  clang libclang-rt-14-dev
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  file
  osslsigncode openssl  # signing an SFX file in the tests
  wine32:i386 qemu-user-static  # the 32-bit release programs: directly, or emulated
  python3-pefile  # an independent reader of the PE files the resource editor writes
  time  # GNU time: the peak memory of the Linux orvex in the benchmark
  dpkg-dev help2man man-db lintian python3  # the release: its Debian package, manual page and zip
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
# A mirror in the middle of a sync fails one list now and then; what the others give is
# enough when the install below succeeds.
$sudo apt-get update -qq >/dev/null || echo "setup: some package lists could not be refreshed" >&2
install() { $sudo apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }
install "${missing[@]}" && exit 0
# The 32-bit Wine loader needs i386 libraries of exactly the amd64 versions, which a half
# synced mirror may not have yet. Everything else is installed, and the test runner then
# reports the 32-bit end-to-end set as skipped, with the reason, in its last lines.
others=()
for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || others+=("$p"); done
[ ${#others[@]} -lt ${#missing[@]} ] || exit 1
[ ${#others[@]} -eq 0 ] || install "${others[@]}" || exit 1
echo "setup: wine32:i386 cannot be installed from the package lists of today: the 32-bit programs cannot run" >&2
