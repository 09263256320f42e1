#!/usr/bin/env bash
# Signs what a release ships, FOLDER/*/zibwin32.dll and FOLDER/*/zibhost.exe,
# with Authenticode: SHA-256 and page hashes, the description "zibwin32", the
# web address in ZIBWIN32_SIGN_URL and an RFC 3161 time stamp from the server
# in ZIBWIN32_SIGN_TIMESTAMP, each where one is named. The key lies
#   in a PKCS#12 file: ZIBWIN32_SIGN_PKCS12, its password in
#     ZIBWIN32_SIGN_PASSWORD_FILE;
#   or in a token: ZIBWIN32_SIGN_PKCS11_MODULE (its PKCS#11 module),
#     ZIBWIN32_SIGN_KEY (the key's pkcs11: URI), ZIBWIN32_SIGN_CERTS (the
#     certificate, then its chain), the PIN in ZIBWIN32_SIGN_PASSWORD_FILE.
# Every signed image is verified against the roots in ZIBWIN32_SIGN_CA (the
# system's unless named). With nothing named it signs nothing and says so; a
# problem stops it, named. It speaks on standard error alone.
# usage: sign.sh FOLDER
set -uo pipefail
folder=$1
say() { echo "sign: $*" >&2; }
stop() { say "stopped: $*"; exit 1; }
pkcs12=${ZIBWIN32_SIGN_PKCS12:-}
module=${ZIBWIN32_SIGN_PKCS11_MODULE:-}
key=${ZIBWIN32_SIGN_KEY:-}
certs=${ZIBWIN32_SIGN_CERTS:-}
password=${ZIBWIN32_SIGN_PASSWORD_FILE:-}
stamp=${ZIBWIN32_SIGN_TIMESTAMP:-}
token=$module$key$certs

if [ -z "$pkcs12$token$password" ]; then
  say "no certificate named (ZIBWIN32_SIGN_PKCS12, or ZIBWIN32_SIGN_PKCS11_MODULE):" \
      "the images are unsigned"
  exit 0
fi
if [ -n "$pkcs12" ] && [ -n "$token" ]; then
  stop "a PKCS#12 file (ZIBWIN32_SIGN_PKCS12) and a token" \
       "(ZIBWIN32_SIGN_PKCS11_*, _KEY, _CERTS) both named"
fi
if [ -n "$pkcs12" ]; then
  needed=(PASSWORD_FILE PKCS12)
else
  needed=(PASSWORD_FILE PKCS11_MODULE KEY CERTS)
fi
missing=
for name in "${needed[@]}"; do
  variable=ZIBWIN32_SIGN_$name
  [ -n "${!variable:-}" ] || missing+=" $variable"
done
[ -z "$missing" ] || stop "missing:$missing"
for file in "$password" "${pkcs12:-$module}" ${certs:+"$certs"}; do
  [ -r "$file" ] || stop "no such file: $file"
done
if [ -n "$pkcs12" ]; then
  way=(-pkcs12 "$pkcs12")
  certificate=$(openssl pkcs12 -in "$pkcs12" -passin "file:$password" -nokeys -clcerts \
                2>/dev/null) || stop "$pkcs12 does not open with the password in $password"
else
  way=(-pkcs11module "$module" -key "$key" -certs "$certs")
  certificate=$(cat "$certs")
fi

# The certificate signs code and is within its dates.
x509() { openssl x509 -noout "$@" <<<"$certificate" 2>/dev/null; }
subject=$(x509 -subject | sed "s/^subject=//")
[ -n "$subject" ] || stop "no certificate in ${pkcs12:-$certs}"
uses=$(x509 -ext keyUsage,extendedKeyUsage)
if ! grep -q "Digital Signature" <<<"$uses" || ! grep -q "Code Signing" <<<"$uses"; then
  stop "the certificate ($subject) is not one for code signing (digital signature, code signing)"
fi
until=$(x509 -enddate | cut -d= -f2)
x509 -checkend 0 >/dev/null || stop "the certificate ($subject) expired on $until"
from=$(date -d "$(x509 -startdate | cut -d= -f2)" +%s)
[ "$from" -le "$(date +%s)" ] || stop "the certificate ($subject) is not valid yet"
[ -n "$stamp" ] ||
  say "no time stamp (ZIBWIN32_SIGN_TIMESTAMP): the signatures end with the certificate, on $until"

options=(-h sha256 -ph -n zibwin32)
[ -z "${ZIBWIN32_SIGN_URL:-}" ] || options+=(-i "$ZIBWIN32_SIGN_URL")
[ -z "$stamp" ] || options+=(-ts "$stamp")
roots=()
ca=${ZIBWIN32_SIGN_CA:-}
[ -z "$ca" ] || roots=(-CAfile "$ca" -TSA-CAfile "$ca")
# Each image is signed into a copy beside it, and the copy verified; only once
# every copy verifies do they replace the images, so that a step that stops
# leaves every image as it was.
images=("$folder"/*/zibwin32.dll "$folder"/*/zibhost.exe)
trap 'rm -f "${images[@]/%/.signed}"' EXIT
for image in "${images[@]}"; do
  name=${image#"$folder"/}
  if ! errors=$(osslsigncode sign "${way[@]}" -readpass "$password" "${options[@]}" \
                -in "$image" -out "$image.signed" 2>&1 >/dev/null); then
    case $errors in
      *"PIN incorrect"*) why="the token refuses the PIN in $password" ;;
      *"object not found"*) why="the token holds no key $key" ;;
      *"timestamping failed"*) why="no time stamp from $stamp" ;;
      *) why=$(grep -v '^Engine' <<<"$errors" | head -1) ;;
    esac
    stop "$name: $why"
  fi
  osslsigncode verify "${roots[@]}" -in "$image.signed" >/dev/null 2>&1 ||
    stop "$name: the signature does not verify"
done
for image in "${images[@]}"; do
  mv "$image.signed" "$image"
  say "signed ${image#"$folder"/} ($subject${stamp:+, time-stamped}), verified"
done
