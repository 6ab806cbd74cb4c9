#!/usr/bin/env bash
# stptool encrypt/decrypt end to end: round trip, the sample envelope, and refusal of files that
# are not envelopes.
set -euo pipefail
stptool=$1
sample=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

printf 'Destination\tFileName\r\n0\tDemo.exe \xe4\xb8\xad\r\n' >"$work/plain.txt"
for cipher in 0 5 6; do
  for digest in 0 4; do
    "$stptool" encrypt --cipher $cipher --digest $digest --password 'p w' "$work/plain.txt" >"$work/env.txt"
    "$stptool" decrypt --password 'p w' "$work/env.txt" >"$work/back.txt"
    cmp -s "$work/plain.txt" "$work/back.txt" || fail "round trip cipher $cipher digest $digest"
  done
done

"$stptool" decrypt "$sample" >"$work/sample.txt" || fail "sample envelope does not open"
[ -s "$work/sample.txt" ] || fail "sample envelope opened to nothing"

expect_refusal() {
  local name=$1
  if "$stptool" decrypt "$work/$name" >"$work/out" 2>"$work/err"; then fail "$name accepted"; fi
  grep -qx 'envelope cannot be opened' "$work/err" || fail "$name: wrong message: $(cat "$work/err")"
}
head -c 9 "$sample" >"$work/truncated"
expect_refusal truncated
printf '\x00\x01\x02\x03\xff\xfe\x80\x81\x90\x91\x92\x93\x94' >"$work/binary"
expect_refusal binary
: >"$work/empty"
expect_refusal empty

if "$stptool" decrypt "$work/missing" 2>/dev/null; then fail "missing file accepted"; fi
"$stptool" decrypt --help | grep -q 'usage: stptool decrypt' || fail "decrypt --help"
"$stptool" encrypt --help | grep -q 'usage: stptool encrypt' || fail "encrypt --help"
echo "stptool envelope commands: all checks passed"
