#!/usr/bin/env bash
# Sizes, build times and extraction times of one tree packed four ways, in one run: the
# Linux orvex's default layout and its strong layout (-zs), 7-Zip's default .7z (with the
# size of 7-Zip's smallest Windows SFX module, 27,648 bytes, added: Debian's 7zip carries
# none) and the installer compiler's solid LZMA. Builds run natively on all cores, the
# extraction of every Windows file silently under Wine. Installs 7zip and nsis when missing.
# Usage: bench/compress-bench.sh ORVEX WINE_ENV_DIR DATA_DIR [TREE...] (run by run-bench.sh
# compress; the trees default to src and small)
set -euo pipefail
orvex=$(realpath "$1") env=$2 data=$(realpath "$3")
shift 3
trees=("$@")
[ $# -gt 0 ] || trees=(src small)
scripts=$(realpath "$(dirname "$0")/../scripts")
if ! command -v 7zz >/dev/null || ! command -v makensis >/dev/null; then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq 7zip nsis >/dev/null
fi
sfx_module=27648
winpath() { echo "Z:$(realpath -m "$1" | tr / '\\')"; }
# Runs a command under GNU time: sets wall (s) and peak (MiB), and status.
measure() {
  status=0
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>"$work/stderr" || status=$?
  read -r wall kib < <(tail -n 1 "$work/time") || true
  peak=$((${kib:-0} / 1024))
}
work=$(mktemp -d /tmp/orvex-compress.XXXXXX)
trap 'rm -rf "$work"' EXIT
for tree in "${trees[@]}"; do
  source=$data/$tree
  files=$(find "$source" -type f | wc -l)
  bytes=$(du -sb "$source" | cut -f1)
  echo
  echo "== $tree: $files files, $bytes bytes"
  printf '%-8s %12s %7s %8s %9s %10s %11s %7s\n' way bytes ratio build/s build-MiB extract/s extract-MiB vs-7z
  declare -A size=() build=() memory=() extract=() xmemory=()
  out=$work/x
  for way in default strong; do
    switches=(-x64 -c -o -s -oo -fm)
    [ $way = strong ] && switches+=(-zs)
    measure "$orvex" "${switches[@]}" "$source" "$work/$way.exe" "$(winpath "$out")\\"
    size[$way]=$(stat -c %s "$work/$way.exe") build[$way]=$wall memory[$way]=$peak
    rm -rf "$out"
    measure "$scripts/wine-run.sh" "$env" "$work/$way.exe"
    if [ $status = 0 ] && diff -rq "$source" "$out" >/dev/null; then extract[$way]=$wall xmemory[$way]=$peak;
    else extract[$way]="status $status" xmemory[$way]=-; fi
    rm -rf "$out"
  done
  rm -f "$work/7z.7z"
  measure 7zz a -t7z -bd "$work/7z.7z" "$source/."
  size[7z]=$(($(stat -c %s "$work/7z.7z") + sfx_module)) build[7z]=$wall memory[7z]=$peak
  extract[7z]="no module" xmemory[7z]=-
  cat >"$work/nsis.nsi" <<NSI
SetCompressor /SOLID lzma
Target amd64-unicode
OutFile "$work/nsis.exe"
InstallDir "\$TEMP\\nsis-bench"
RequestExecutionLevel user
SilentInstall silent
Section
SetOutPath "\$INSTDIR"
File /r "$source/*"
SectionEnd
NSI
  measure makensis -V1 "$work/nsis.nsi"
  size[nsis]=$(stat -c %s "$work/nsis.exe") build[nsis]=$wall memory[nsis]=$peak
  measure "$scripts/wine-run.sh" "$env" "$work/nsis.exe" /S "/D=$(winpath "$out")"
  if [ $status = 0 ] && diff -rq "$source" "$out" >/dev/null; then extract[nsis]=$wall xmemory[nsis]=$peak;
  else extract[nsis]="status $status" xmemory[nsis]=-; fi
  rm -rf "$out"
  for way in default strong 7z nsis; do
    printf '%-8s %12s %7s %8s %9s %10s %11s %7s\n' "$way" "${size[$way]}" \
      "$(python3 -c "print(f'{${size[$way]} / $bytes:.4f}')")" "${build[$way]}" "${memory[$way]}" \
      "${extract[$way]}" "${xmemory[$way]}" "$(python3 -c "print(f'{${size[$way]} / ${size[7z]}:.4f}')")"
  done
  echo "strong - (7-Zip + module): $((size[strong] - size[7z])) bytes; build time strong / 7-Zip:" \
    "$(python3 -c "print(f'{${build[strong]} / ${build[7z]}:.2f}')")"
  unset size build memory extract xmemory
done
