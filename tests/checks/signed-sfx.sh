#!/usr/bin/env bash
# An SFX file signed after building, with a throw-away certificate: the signature verifies,
# the extractor under Wine and the Linux orvex read past the certificate table that now
# follows the terminator, and one flipped byte of the archive breaks the signature.
# Usage: signed-sfx.sh WINE_ENV_DIR ORVEX_EXE HOST_ORVEX
set -uo pipefail
envdir=$1 builder=$2 host=$3
run() { "$(dirname "$0")/../../scripts/wine-run.sh" "$envdir" "$@"; }
fail() { echo "FAIL: $*"; exit 1; }
win() { printf 'Z:%s' "${1//\//\\}"; }
for tool in openssl osslsigncode; do
  command -v $tool >/dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
done
work=$(mktemp -d /tmp/orvex-signed.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir -p src/sub
printf 'hello\r\n' > src/a.txt
head -c 300000 /dev/urandom > src/sub/b.bin

# Silent, into a folder of its own, so that running it shows what it extracted.
run "$builder" -h -q -o -s -fm "$(win "$work/src")" "$(win "$work/out.exe")" "$(win "$work/x")\\" ||
  fail "the build"
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj "/CN=Orvex test signer" \
  2>/dev/null || fail "no certificate"
osslsigncode sign -certs cert.pem -key key.pem -n "Orvex test" -h sha256 -in out.exe -out signed.exe >/dev/null ||
  fail "signing"
osslsigncode verify -in signed.exe -CAfile cert.pem >verify.log 2>&1 || { cat verify.log; fail "verifying"; }
[ "$(stat -c %s signed.exe)" -gt "$(stat -c %s out.exe)" ] || fail "no certificate table was appended"

run signed.exe || fail "the signed SFX file ended with status $?"
cmp src/a.txt x/a.txt && cmp src/sub/b.bin x/sub/b.bin || fail "the signed SFX file extracted other files"

# Inside the last entry's compressed content, well before the terminator and the signature.
cp signed.exe tampered.exe
offset=$(($(stat -c %s out.exe) - 1000))
byte=$(od -An -tu1 -j "$offset" -N1 tampered.exe)
printf "$(printf '\\%03o' $((byte ^ 1)))" | dd of=tampered.exe bs=1 seek="$offset" conv=notrunc status=none
cmp -s signed.exe tampered.exe && fail "the byte was not flipped"
osslsigncode verify -in tampered.exe -CAfile cert.pem >tampered.log 2>&1 && fail "a changed archive still verifies"

[ -x "$host" ] || { echo "$host is missing (build the host preset): the Linux orvex was not tried"; exit 77; }
"$host" -t signed.exe || fail "orvex -t on the signed SFX file"
echo "signed, verified, extracted and read; the changed copy fails verification"
