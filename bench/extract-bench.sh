#!/usr/bin/env bash
# Builds the win64 preset into BUILD (default build/win64), makes the benchmark folder
# once and measures the extraction of its SFX file against plain zlib under wine64.
# Usage: bench/extract-bench.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/win64}
cmake --preset win64 -B "$build" >/dev/null
cmake --build "$build" -j2 --target orvex bench_extract
data=$build/bench-data
if [ ! -f "$data/big.dat" ]; then
  rm -rf "$data"
  python3 bench/make-folder.py "$data/src"
  touch "$data/big.dat"
fi
env=$build/bench-wine
scripts/wine-env.sh start "$env"
trap 'scripts/wine-env.sh stop "$env"' EXIT
winpath() { echo "Z:$(realpath -m "$1" | tr / '\\')"; }
scripts/wine-run.sh "$env" "$build/bin/bench_extract.exe" "$(winpath "$data/src")" "$(winpath "$data/extract")"
