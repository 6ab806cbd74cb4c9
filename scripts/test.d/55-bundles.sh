#!/usr/bin/env bash
# The publishers' bundles (scripts/bundle): each holds exactly what it should, and the unpacked
# Linux bundle builds, verifies, describes and signs a setup on its own, away from the source
# tree. Signing uses a throwaway certificate made here; `osslsigncode verify` checks the result.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/../.." && pwd)}
cd "$root"
bash scripts/bundle >/dev/null
dist=build/dist

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

stubs=(setup-stub.exe uninst-stub.exe)
expected_linux=(tavrel-setup-linux-x86_64/README.md tavrel-setup-linux-x86_64/bin/stptool)
for s in "${stubs[@]}"; do expected_linux+=("tavrel-setup-linux-x86_64/share/tavrel-setup/$s"); done
expected_windows=(tavrel-setup-windows/README.txt tavrel-setup-windows/stptool.exe)
for s in "${stubs[@]}"; do expected_windows+=("tavrel-setup-windows/$s"); done

actual=$(tar -tzf "$dist/tavrel-setup-linux-x86_64.tar.gz" | grep -v '/$' | sort)
wanted=$(printf '%s\n' "${expected_linux[@]}" | sort)
[ "$actual" = "$wanted" ] || fail "Linux bundle holds:"$'\n'"$actual"$'\n'"expected:"$'\n'"$wanted"
actual=$(unzip -Z1 "$dist/tavrel-setup-windows.zip" | grep -v '/$' | sort)
wanted=$(printf '%s\n' "${expected_windows[@]}" | sort)
[ "$actual" = "$wanted" ] || fail "Windows bundle holds:"$'\n'"$actual"$'\n'"expected:"$'\n'"$wanted"
echo "bundles hold: ${stubs[*]}, stptool, README"

# Unpacked in a temporary folder, used from a product folder elsewhere, with a PATH that leads to
# nothing of the source tree.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tar -xzf "$dist/tavrel-setup-linux-x86_64.tar.gz" -C "$work"
unzip -q "$dist/tavrel-setup-windows.zip" -d "$work"
tool=$work/tavrel-setup-linux-x86_64/bin/stptool
grep -q 'stptool build' "$work/tavrel-setup-linux-x86_64/README.md" || fail "README lacks stptool build"
cmp -s "$work/tavrel-setup-linux-x86_64/share/tavrel-setup/setup-stub.exe" \
  "$work/tavrel-setup-windows/setup-stub.exe" || fail "the two bundles carry different setup stubs"
bash tests/e2e/make-product.sh "$work/product" "$work/tavrel-setup-windows/stptool.exe"
(
  cd "$work/product"
  mkdir -p "$work/out"
  env -i PATH=/usr/bin:/bin HOME="$work" "$tool" build product.ini -o "$work/out/setup.exe" \
    >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "the bundled stptool cannot build"; }
  "$tool" verify "$work/out/setup.exe" >/dev/null || fail "the bundled build is not sound"
  "$tool" info "$work/out/setup.exe" >"$work/info.txt"
)
grep -q $'^1005\tDisplayNameCn\t西风笔记$' "$work/info.txt" || fail "product strings: $(cat "$work/info.txt")"
echo "the unpacked Linux bundle builds a setup: $(stat -c %s "$work/out/setup.exe") bytes"

echo "-- stptool build --sign"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Zephyr Test Publisher" \
  -keyout "$work/key.pem" -out "$work/cert.pem" >"$work/openssl.log" 2>&1
printf 'zephyr-pass\n' >"$work/pass.txt"
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" \
  -passout file:"$work/pass.txt" >>"$work/openssl.log" 2>&1
sign() {  # OUTPUT PASSWORD_FILE: builds and signs with the bundled tool
  (cd "$work/product" && "$tool" build product.ini -o "$1" --sign "$work/cert.pfx" \
    --sign-password-file "$2" >"$work/sign.log" 2>&1)
}
sign "$work/out/signed.exe" "$work/pass.txt" || { cat "$work/sign.log"; fail "build --sign failed"; }
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/out/signed.exe" >"$work/verify.log" 2>&1 ||
  { cat "$work/verify.log"; fail "the signature does not verify"; }
"$tool" verify "$work/out/signed.exe" >/dev/null || fail "the signed setup's package is not sound"
printf 'wrong\n' >"$work/wrong.txt"
if sign "$work/out/wrong.exe" "$work/wrong.txt"; then fail "signing with a wrong password succeeded"; fi
[ ! -e "$work/out/wrong.exe" ] || fail "a failed signing left its output file"
grep -q 'osslsigncode could not sign' "$work/sign.log" || fail "no message: $(cat "$work/sign.log")"
(cd "$work/product" && "$tool" build product.ini -o "$work/out/x.exe" --sign "$work/none.pfx" \
  >"$work/sign.log" 2>&1) && fail "signing with a missing certificate succeeded"
grep -q 'none.pfx is not a file' "$work/sign.log" || fail "no message: $(cat "$work/sign.log")"
[ ! -e "$work/out/x.exe" ] || fail "a refused signing left its output file"
echo "signed setup verifies with osslsigncode; wrong password and missing certificate refused"
