#!/usr/bin/env bash
# Makes the README's pictures under docs/ from the screenshots the Windows tests take:
# runs the tests that take them (unless --no-tests), then scales each down and strips
# what would change from run to run (PNG time chunks, metadata).
# Usage: scripts/readme-pictures.sh [--no-tests]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
shots=$root/build/win64/screenshots
cd "$root"
if [ "${1-}" != "--no-tests" ]; then
  cmake --build --preset win64 -j2 >/dev/null
  ctest --preset win64 -R '^(win_ui_tests|win_sfxwindow_en|win_sfxwindow_ru)$' --output-on-failure
fi
mkdir -p docs
# screenshot  picture  greatest width
while read -r shot picture width; do
  [ -f "$shots/$shot" ] || { echo "missing $shots/$shot: run the tests that take it" >&2; exit 1; }
  convert "$shots/$shot" -resize "${width}x>" -colors 64 -strip -define png:exclude-chunks=date,time "docs/$picture"
  echo "docs/$picture"
done <<'LIST'
main-initial.png main-window.png 560
progress-mid-build.png progress-window.png 420
sfxwindow-en-50.png extractor-en.png 320
sfxwindow-ru-50.png extractor-ru.png 320
sfxwindow-en-overwrite-prompt.png overwrite-prompt.png 420
LIST
