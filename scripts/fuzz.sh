#!/usr/bin/env bash
# Fuzzes the extractor's archive reader with libFuzzer (clang, ASan + UBSan) on arbitrary
# bytes appended to the built extractor head.
#   scripts/fuzz.sh [SECONDS] [BUILD_DIR] [HEAD]
# Inputs that crash are left as crash-* in BUILD_DIR/fuzz-out; `scripts/fuzz.sh keep`
# merges the working corpus into the regression corpus (tests/extractor/corpus) that
# host_extractor_tests replays.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=$root/tests/extractor/corpus

if [ "${1:-}" = keep ]; then
  build=$(realpath -m "${2:-$root/build/fuzz}")
  mkdir -p "$build/fuzz-keep"
  # Only inputs that reach new code, small enough to keep in the repository.
  "$build/bin/fuzz_archive" -merge=1 -max_len=8192 "$build/fuzz-keep" "$build/fuzz-corpus" >/dev/null 2>&1
  for f in "$build"/fuzz-keep/*; do
    name=fuzz-$(basename "$f" | cut -c1-16)
    cp "$f" "$corpus/$name"
  done
  (cd "$corpus" && ls | grep -v '^index.txt$' | sort) >"$corpus/index.txt"
  echo "regression corpus: $(wc -l <"$corpus/index.txt") inputs"
  exit 0
fi

seconds=${1:-600}
build=$(realpath -m "${2:-$root/build/fuzz}")
head=${3:-}
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DORVEX_TARGET=host -DORVEX_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target fuzz_archive make_fuzz_seeds >/dev/null
mkdir -p "$build/fuzz-corpus" "$build/fuzz-seeds" "$build/fuzz-out"
"$build/bin/make_fuzz_seeds" "$build/fuzz-seeds"
if [ -n "$head" ]; then export ORVEX_FUZZ_HEAD=$(realpath "$head"); fi
cd "$build/fuzz-out"
"$build/bin/fuzz_archive" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=4096 -print_final_stats=1 \
  "$build/fuzz-corpus" "$build/fuzz-seeds" "$corpus"
