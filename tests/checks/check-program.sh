#!/usr/bin/env bash
# Checks one built Windows program: its file format, the Windows GUI subsystem, its
# stripped size against a budget and, when DLLs are named, that it imports no others.
# Usage: check-program.sh TOOLPREFIX FILE FORMAT MAX_BYTES [ALLOWED_DLL...]
set -euo pipefail
prefix=$1 file=$2 format=$3 budget=$4
shift 4
name=$(basename "$file")
fail() { echo "FAIL $name: $*"; exit 1; }

# grep reads to the end: an early exit (-q) can kill objdump mid-write and fail the pipe.
"$prefix-objdump" -f "$file" | grep "file format $format" >/dev/null || fail "not $format"
"$prefix-objdump" -p "$file" | grep 'Subsystem.*(Windows GUI)' >/dev/null || fail "not a Windows GUI program"

stripped=$(mktemp)
trap 'rm -f "$stripped"' EXIT
"$prefix-strip" -o "$stripped" "$file"
size=$(stat -c %s "$stripped")
echo "$name ($format): $size bytes stripped, budget $budget"
[ "$size" -le "$budget" ] || fail "$size bytes is over the budget of $budget"

if [ $# -gt 0 ]; then
  imports=$("$prefix-objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p' | sort -u)
  echo "imports: $(echo $imports)"
  for dll in $imports; do
    ok=0
    for allowed in "$@"; do [ "${dll,,}" = "${allowed,,}" ] && ok=1; done
    [ $ok -eq 1 ] || fail "imports $dll"
  done
fi
echo "ok"
