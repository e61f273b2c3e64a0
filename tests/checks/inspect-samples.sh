#!/usr/bin/env bash
# Reads the SFX files that the Windows tests kept with the Linux orvex, whatever head they
# carry: each must test whole and list as JSON with its entries and its launch target.
# Usage: inspect-samples.sh ORVEX SAMPLES_DIR
set -uo pipefail
orvex=$1 samples=$2
[ -x "$orvex" ] || { echo "FAIL: $orvex is missing (build the host preset)"; exit 1; }
files=$(ls "$samples"/*.exe 2>/dev/null | grep -v -e '\.source\.exe$' -e '/head\.exe$')
[ -n "$files" ] || { echo "no samples in $samples: the tests that keep them did not run"; exit 77; }
status=0
for f in $files; do
  "$orvex" -t "$f" || { echo "FAIL: orvex -t $f"; status=1; }
  "$orvex" -l --json "$f" | python3 -c '
import json, sys
listing = json.load(sys.stdin)
assert listing["status"] == 0 and listing["entries"], listing
assert listing["options"]["mode"] != "launch" or listing["options"]["launchTarget"], listing["options"]
print(sys.argv[1], len(listing["entries"]), "entries")' "$(basename "$f")" || { echo "FAIL: orvex -l --json $f"; status=1; }
done
exit $status
