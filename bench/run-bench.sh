#!/usr/bin/env bash
# Builds the win64 preset into BUILD (default build/win64), makes the benchmark folder
# once and measures, under wine64 and against plain zlib in the same run, either a hidden
# build of it (`build`: with one compressing thread and with all cores, then the same for
# a tree of 10,000 files of 1 to 64 KiB) or the extraction of its SFX file and of the tree's
# (`extract`).
# `build` then measures the Linux orvex on both trees against plain zlib on Linux, built
# without sanitizers in BUILD/linux-orvex (the host preset's build carries them).
# `compress` sets both layouts against 7-Zip and the installer compiler's solid LZMA on
# both trees (bench/compress-bench.sh; it installs 7zip and nsis when missing).
# Usage: bench/run-bench.sh [build|extract|compress] [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-build}
build=${2:-build/win64}
case "$what" in
  build) program=bench_build output=out.exe ;;
  extract) program=bench_extract output=extract ;;
  compress) program=sfxhead output= ;;
  *) echo "usage: $0 [build|extract|compress] [BUILD]" >&2; exit 2 ;;
esac
cmake --preset win64 -B "$build" >/dev/null
cmake --build "$build" -j2 --target orvex "$program"
data=$build/bench-data
if [ ! -f "$data/big.dat" ]; then
  rm -rf "$data"
  python3 bench/make-folder.py "$data/src"
  touch "$data/big.dat"
fi
if [ ! -f "$data/small.done" ]; then
  rm -rf "$data/small"
  python3 bench/make-folder.py "$data/small" small
  touch "$data/small.done"
fi
env=$build/bench-wine
scripts/wine-env.sh start "$env"
trap 'scripts/wine-env.sh stop "$env"' EXIT
winpath() { echo "Z:$(realpath -m "$1" | tr / '\\')"; }
linux=$build/linux-orvex
if [ "$what" = compress ]; then
  cmake -S . -B "$linux" -DORVEX_SANITIZE=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$linux" -j2 --target orvex
  bench/compress-bench.sh "$linux/bin/orvex" "$env" "$data"
  exit 0
fi
echo "== the benchmark folder"
scripts/wine-run.sh "$env" "$build/bin/$program.exe" "$(winpath "$data/src")" "$(winpath "$data/$output")"
echo "== 10,000 files of 1 to 64 KiB"
scripts/wine-run.sh "$env" "$build/bin/$program.exe" "$(winpath "$data/small")" "$(winpath "$data/small.$output")"
if [ "$what" = build ]; then
  cmake -S . -B "$linux" -DORVEX_SANITIZE=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$linux" -j2 --target orvex
  for tree in src small; do
    echo
    echo "== the Linux orvex: $tree"
    python3 bench/linux-bench.py "$linux/bin/orvex" "$data/$tree" "$data/linux-$tree.exe"
  done
fi
