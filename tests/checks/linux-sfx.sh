#!/usr/bin/env bash
# An SFX file built by the Linux orvex with -x64 extracts under Wine byte for byte and
# launches its program with its parameters; and the same tree built by the Linux orvex
# and by orvex.exe under Wine gives the same archive (options record to terminator), the
# 10-byte InstanceId apart; the Linux orvex tests, lists and restores both files alike.
# Usage: linux-sfx.sh WINE_ENV_DIR ORVEX_EXE HOST_ORVEX PROBE_EXE
set -uo pipefail
envdir=$1 builder=$2 host=$3 probe=$4
run() { "$(dirname "$0")/../../scripts/wine-run.sh" "$envdir" "$@"; }
fail() { echo "FAIL: $*"; exit 1; }
win() { printf 'Z:%s' "${1//\//\\}"; }
[ -x "$host" ] || { echo "$host is missing (build the host preset): the Linux orvex was not tried"; exit 77; }
# Stored times are local times: both builders in one zone, one that is not UTC.
export TZ=Europe/Berlin
work=$(mktemp -d /tmp/orvex-linux-sfx.XXXXXX)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work" || exit 1

mkdir -p src/nested/deeper/deepest src/empty src/tools
printf 'deep\r\n' > src/nested/deeper/deepest/leaf.txt
: > src/zero.bin
head -c 9437184 /dev/urandom > src/one-chunk.bin
head -c 9437185 /dev/urandom > src/one-chunk-and-a-byte.bin
printf 'keep me' > src/read-only.txt
printf 'dot' > src/.dotted
printf 'caf\xc3\xa9' > "src/nested/$(printf 'caf\xc3\xa9 \xe2\x82\xac\xc3\xbc.txt')"
cp "$probe" src/tools/probe.exe
touch -d '2021-03-04 05:06:07.89' src/read-only.txt src/nested/deeper
touch -d '2019-07-01 23:59:59.99' src/zero.bin
chmod 444 src/read-only.txt
switches=(-mf -fm -s -dn -o -c)
params='one "two words"'

"$host" -x64 "${switches[@]}" src linux.exe src/tools/probe.exe "$(win "$work/x")\\" "$params" ||
  fail "the Linux build ended with status $?"
run "$builder" -h "${switches[@]}" "$(win "$work/src")" "$(win "$work/windows.exe")" \
  "$(win "$work/src/tools/probe.exe")" "$(win "$work/x")\\" "$params" || fail "orvex.exe ended with status $?"

# The archive starts where the extractor finds it: the end of the head's last raw section.
same_archives() {
python3 - "$1" "$2" <<'PY'
import struct, sys
def archive(path):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count, optional = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    end = 0
    for i in range(count):
        size, pointer = struct.unpack_from("<II", data, pe + 24 + optional + 40 * i + 16)
        if size:
            end = max(end, pointer + size)
    part = bytearray(data[end:])
    part[391:401] = b"#" * 10  # the InstanceId
    return bytes(part)
a, b = archive(sys.argv[1]), archive(sys.argv[2])
if a != b:
    first = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))
    print(f"{len(a)} and {len(b)} bytes, first difference at archive byte {first}")
    sys.exit(1)
print(f"archives identical apart from the InstanceId: {len(a)} bytes")
PY
}
same_archives linux.exe windows.exe || fail "the archives differ"
# The strong layout from both builders, also alike.
"$host" -x64 -zs "${switches[@]}" src linux-strong.exe src/tools/probe.exe "$(win "$work/x")\\" "$params" ||
  fail "the strong Linux build ended with status $?"
run "$builder" -h -zs "${switches[@]}" "$(win "$work/src")" "$(win "$work/windows-strong.exe")" \
  "$(win "$work/src/tools/probe.exe")" "$(win "$work/x")\\" "$params" || fail "orvex.exe -zs ended with status $?"
same_archives linux-strong.exe windows-strong.exe || fail "the strong archives differ"

# Names of five scripts, composed and decomposed, a folder 300 characters deep, a name of
# 255 units, texts beyond code page 1252: the same strong archive from both builders; the
# default layout refused by both.
long=$(printf 'd%.0s' {1..50}) deep=names/$long/$long/$long/$long/$long/$long
mkdir -p "$deep" && printf deep > "$deep/leaf.txt" && printf n > "names/$(printf 'n%.0s' {1..251}).txt"
for name in café Привет Ελληνικά 日本語 😀 straße STRASSE $'e\xcc\x81'; do
  printf '%s' "$name" > "names/$name.txt"
done
cp "$probe" names/run.exe
"$host" -x64 -o -c names linux-zd.exe 2>/dev/null
linux=$?
run "$builder" -h -q -o -c "$(win "$work/names")" "$(win "$work/windows-zd.exe")" 2>/dev/null
[ "$linux $?" = "2 2" ] || fail "the default layout took names beyond the code page ($linux)"
"$host" -x64 -zs -o -c -mf -fm names linux-zs.exe names/run.exe 'C:\Ω\' '日本 é' &&
  run "$builder" -h -q -zs -o -c -mf -fm "$(win "$work/names")" "$(win "$work/windows-zs.exe")" \
    "$(win "$work/names/run.exe")" 'C:\Ω\' '日本 é' || fail "a strong build of Unicode names ended with status $?"
same_archives linux-zs.exe windows-zs.exe || fail "the strong archives of Unicode names differ"

# Each elevation choice, reproducible: the same file from both builders, checksum
# included; pefile reads it and its 32-bit twin back, and orvex -l names the level.
version=$(sed -n 's/^project(Orvex VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")
for choice in un:asInvoker uh:highestAvailable ua:requireAdministrator; do
  level=${choice#*:} flags=(-r -c -o -mf "-${choice%%:*}")
  "$host" -x64 "${flags[@]}" src/nested $level.exe src/nested/deeper/deepest/leaf.txt &&
    "$host" "${flags[@]}" src/nested $level-32.exe src/nested/deeper/deepest/leaf.txt &&
    run "$builder" -h "${flags[@]}" "$(win "$work/src/nested")" "$(win "$work/$level-win.exe")" \
      "$(win "$work/src/nested/deeper/deepest/leaf.txt")" && cmp $level.exe $level-win.exe || fail "$level builds"
  for sfx in $level.exe $level-32.exe; do
    found=$(/usr/bin/python3 "$(dirname "$0")/../resources/pe_check.py" --sfx $sfx $level "$version") &&
      [ -z "$found" ] && "$host" -l $sfx | grep -qx "elevation: $level" || fail "$sfx: $found"
  done
done

# Both files look alike to the Linux orvex: whole, every item listed, the tree restored.
items=$(find src -mindepth 1 | wc -l)
for sfx in linux windows linux-strong windows-strong; do
  "$host" -t $sfx.exe >/dev/null || fail "orvex -t $sfx.exe"
  count=$("$host" -l --json $sfx.exe | python3 -c 'import json, sys; print(len(json.load(sys.stdin)["entries"]))')
  [ "$count" = "$items" ] || fail "orvex -l --json $sfx.exe lists $count entries for $items items"
  "$host" -x $sfx.exe "from-$sfx" >/dev/null || fail "orvex -x $sfx.exe"
  diff -r src "from-$sfx" || fail "orvex -x $sfx.exe restored another tree"
done

# Both layouts, extracted by the head under Wine.
for sfx in linux linux-strong; do
  rm -rf x report.txt
  ORVEX_PROBE_REPORT=$(win "$work/report.txt") run $sfx.exe || fail "$sfx.exe ended with status $?"
  for _ in $(seq 100); do [ -f report.txt ] && break; sleep 0.1; done
  [ -f report.txt ] || fail "the program launched by $sfx.exe wrote no report"
  args=$(tail -n +3 report.txt | tr -d '\r')
  [ "$args" = "$(printf '[one]\n[two words]')" ] || { cat report.txt; fail "the program got other parameters"; }
  diff -r src x || fail "the tree extracted by $sfx.exe differs from the source"
  echo "$sfx.exe extracted the tree byte for byte and launched its program with [one] [two words]"
done

# The Unicode tree through the head under Wine, into a custom folder beyond the code page,
# and back through orvex -x: names and bytes as they were.
"$host" -x64 -zs "${switches[@]}" names unicode.exe names/run.exe "$(win "$work/x-Ω")\\" '日本 é' ||
  fail "the strong build of Unicode names ended with status $?"
run unicode.exe || fail "unicode.exe ended with status $?"
diff -r names x-Ω || fail "the Unicode tree extracted by the head differs from the source"
"$host" -x unicode.exe from-unicode >/dev/null && diff -r names from-unicode ||
  fail "orvex -x unicode.exe restored another tree"
echo "unicode.exe extracted the Unicode tree byte for byte, names as they were"
