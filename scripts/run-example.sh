#!/usr/bin/env bash
# Builds everything, packs the bundled examples/ folder into an SFX file with a hidden
# command-line build of the 64-bit builder, runs that SFX file under wine64 and lists
# what it extracted, after listing it with the Linux orvex. (The 32-bit release build lands
# in build/win32/bin.)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
for preset in host win64 win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
done

bin=build/win64/bin
if [ ! -f "$bin/orvex.exe" ]; then
  echo "built: $(ls build/win64/bin build/win32/bin | tr '\n' ' ')"
  echo "The builder does not exist yet; nothing to pack."
  exit 0
fi

env=build/example-wine
scripts/wine-env.sh start "$env"
trap 'scripts/wine-env.sh stop "$env"' EXIT
out=build/example
rm -rf "$out"
mkdir -p "$out/extracted"
run() { scripts/wine-run.sh "$env" "$@"; }

winpath() { echo "Z:$(realpath -m "$1" | tr / '\\')"; }
# A hidden build: extract to a custom folder, no success box, replace an old target.
run "$bin/orvex.exe" -h -c -o -fm "$(winpath examples)" "$(winpath "$out/example-sfx.exe")" "$(winpath "$out/extracted")"
echo "SFX file: $out/example-sfx.exe ($(stat -c %s "$out/example-sfx.exe") bytes)"
echo "what it holds, read on Linux without running it (build/host/bin/orvex -l):"
build/host/bin/orvex -l "$out/example-sfx.exe"
run "$out/example-sfx.exe" -s || true
echo "extracted to $out/extracted:"
(cd "$out/extracted" && find . -type f -printf '%8s  %p\n' | sort -k2)
