#!/usr/bin/env bash
# Fuzzes with libFuzzer (clang, ASan + UBSan) either the extractor's archive reader, on
# arbitrary bytes appended to the built extractor head, or the builder's PE resource
# editor, on arbitrary bytes taken as an image to rewrite and as an icon source.
#   scripts/fuzz.sh [archive|resources] [SECONDS] [BUILD_DIR] [HEAD]
# Inputs that crash are left as crash-* in BUILD_DIR/fuzz-out; `scripts/fuzz.sh
# [archive|resources] keep` merges the working corpus into the target's regression corpus
# (tests/extractor/corpus, tests/resources/corpus) that the host tests replay.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=archive
case "${1:-}" in archive | resources) target=$1; shift ;; esac
if [ "$target" = archive ]; then
  corpus=$root/tests/extractor/corpus
  max_len=65536 keep_len=8192
else
  corpus=$root/tests/resources/corpus
  # Whole programs as seeds (cut to max_len); only small inputs are kept in the repository.
  max_len=131072 keep_len=16384
fi

if [ "${1:-}" = keep ]; then
  build=$(realpath -m "${2:-$root/build/fuzz}")
  rm -rf "$build/fuzz-keep-$target"
  mkdir -p "$build/fuzz-keep-$target" "$corpus"
  # Only inputs that reach new code, small enough to keep in the repository.
  "$build/bin/fuzz_$target" -merge=1 -max_len=$keep_len "$build/fuzz-keep-$target" "$build/fuzz-corpus-$target" \
    >/dev/null 2>&1
  for f in "$build/fuzz-keep-$target"/*; do
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
cmake --build "$build" -j2 --target "fuzz_$target" make_fuzz_seeds >/dev/null
seeds=$build/fuzz-seeds-$target
mkdir -p "$build/fuzz-corpus-$target" "$seeds" "$build/fuzz-out" "$corpus"
if [ "$target" = archive ]; then
  "$build/bin/make_fuzz_seeds" "$seeds"
else
  # The heads built here, the tests' fixtures, and Wine's own programs.
  wine=/usr/lib/x86_64-linux-gnu/wine
  for f in "$root"/build/win{64,32}/bin/{sfxhead,res_fixture_full,res_fixture_broken,res_fixture_bare}.exe \
           "$wine"/{x86_64,i386}-windows/{regedit,notepad,taskmgr}.exe; do
    [ -f "$f" ] && cp "$f" "$seeds/$(echo "$f" | tr / _)"
  done
fi
if [ -n "$head" ]; then export ORVEX_FUZZ_HEAD=$(realpath "$head"); fi
cd "$build/fuzz-out"
"$build/bin/fuzz_$target" -max_total_time="$seconds" -max_len=$max_len -rss_limit_mb=4096 -print_final_stats=1 \
  "$build/fuzz-corpus-$target" "$seeds" "$corpus"
