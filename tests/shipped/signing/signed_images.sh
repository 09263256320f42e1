#!/usr/bin/env bash
# The build's DLL and demo host signed as a release signs them (tools/sign.sh), by a PKI made afresh in WORK (a PKCS#12 file, a token, the
# file time-stamped on loopback), checked as the checks say.   usage: signed_images.sh PRESET WORK   (from the source tree)
set -u
preset=$1 bin=build/$1/bin work=$(realpath -m "$2") failed=0 && pki=$work/pki root=$work/pki/root.pem
check() { if eval "$2"; then echo "ok: $1"; else echo "FAIL: $1"; failed=1; fi; }
source tests/shipped/signing/test_pki.sh && rm -rf "$work" && makePki "$pki" || { echo "FAIL: the test PKI cannot be made"; exit 1; }
python3 tests/shipped/signing/tsa.py "$pki/openssl.cnf" 2 120 >"$work/tsa" & for _ in $(seq 50); do [ -s "$work/tsa" ] || sleep 0.1; done
for way in pkcs12 token stamped; do
  declare -n signing=${way/stamped/pkcs12}Way && mkdir -p "$work/$way/arch" && cp "$bin"/{zibwin32.dll,zibhost.exe} "$work/$way/arch/"
  stamp= && [ $way != stamped ] || stamp=ZIBWIN32_SIGN_TIMESTAMP=http://127.0.0.1:$(cat "$work/tsa")
  check "$way: signed" 'env "${signing[@]}" $stamp tools/sign.sh "$work/$way" 2>&1'
  for signed in "$work/$way/arch/"*; do
    check "$way: ${signed##*/} verifies, time stamp and all, and is the build's without its signature" \
      'osslsigncode verify -CAfile "$root" -TSA-CAfile "$root" -in "$signed" >"$work/log" && { [ $way != stamped ] ||
       grep -q "^Timestamp Server Signature verification: ok" "$work/log"; } &&
       osslsigncode remove-signature -in "$signed" -out "$signed.0" >/dev/null && cmp "$signed.0" "$bin/${signed##*/}"'
  done
done
dll=$work/pkcs12/arch/zibwin32.dll size=$(stat -c %s "$bin/zibwin32.dll") && source tests/shipped/pe_sections.sh
for at in 2 $(sectionsOf "$dll" | awk '{ print $4 + 1 }') $((size - 1)) $((size + 100)); do
  cp "$dll" "$work/changed.dll" && printf "\\x$(printf %02x $((0x$(od -An -tx1 -j "$at" -N1 "$dll" | tr -d ' ') ^ 0xff)))" | dd of="$work/changed.dll" bs=1 seek="$at" conv=notrunc 2>/dev/null
  check "a byte changed at $at of $size fails" '! osslsigncode verify -CAfile "$root" -in "$work/changed.dll" >/dev/null 2>&1'
done
check "the protections hold, SignSecurely among them" 'ZIBWIN32_REPORT= tests/shipped/protections.sh "$dll" "$bin/zibwin32.pdb" | grep "^BA2022 .* pass "'
"build/$preset/wine-server" check && check "the signed host calls the signed DLL under Wine" '"build/$preset/wine-run" "$work/stamped/arch/zibhost.exe" --list | grep -q ^zibWin32' || echo "not run: Wine"

# Bad input stops a release of the build, named, and leaves the release's folder as it was.
release() { local -n signing=${way}Way; env "${signing[@]}" $change tools/release.sh --out "$work/release" "$preset"; }
way=pkcs12 change= && check "a signed release" 'release >/dev/null 2>&1' && before=$(ls -lR --full-time "$work/release")
while IFS='|' read -r way change said; do
  check "$way $change: the release stops: $said" '! printed=$(release 2>&1 >/dev/null) && grep -qF -- "$said" <<<"$printed" &&
    [ "$(ls -lR --full-time "$work/release")" = "$before" ] || ! echo "$printed"'
done <<EOF
pkcs12|ZIBWIN32_SIGN_PKCS12=$pki/missing.p12|no such file: $pki/missing.p12
token|ZIBWIN32_SIGN_PKCS11_MODULE=$pki/missing.so|no such file: $pki/missing.so
token|ZIBWIN32_SIGN_KEY=pkcs11:token=zibwin32;object=missing;type=private|holds no key pkcs11:token=zibwin32;object=missing
pkcs12|ZIBWIN32_SIGN_PASSWORD_FILE=$pki/pin|does not open with the password in $pki/pin
token|ZIBWIN32_SIGN_PASSWORD_FILE=$pki/password|refuses the PIN in $pki/password
token|ZIBWIN32_SIGN_CERTS=$root|zibwin32-test-root) is not one for code signing
token|ZIBWIN32_SIGN_CERTS=$pki/expired.pem|zibwin32-test-expired) expired on
pkcs12|ZIBWIN32_SIGN_TIMESTAMP=http://127.0.0.1:9|no time stamp from http://127.0.0.1:9
token|ZIBWIN32_SIGN_PKCS12=$pki/signer.p12|a PKCS#12 file (ZIBWIN32_SIGN_PKCS12) and a token
pkcs12|ZIBWIN32_SIGN_PASSWORD_FILE=|missing: ZIBWIN32_SIGN_PASSWORD_FILE
EOF
exit $failed
