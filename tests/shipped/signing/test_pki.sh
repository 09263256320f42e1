# A throwaway PKI for the signing tests, sourced (what the environment names for signing is forgotten). makePki DIR makes a root, a
# code-signing certificate under it, its key in a PKCS#12 file and a SoftHSM2 token, one whose days are past, a time-stamp authority's,
# and pkcs12Way and tokenWay, which sign (tools/sign.sh) through the file or the token.
unset "${!ZIBWIN32_SIGN_@}"
makePki() {
  rm -rf "$1" && mkdir -p "$1/tokens" && cd "$1" && touch index && echo 01 >serial && echo 01 >tsaserial && echo secret >password &&
  echo 1234 >pin && export SOFTHSM2_CONF=$1/softhsm2.conf && echo "directories.tokendir = $1/tokens" >softhsm2.conf &&
  printf '[ca]\ndefault_ca=d\n[d]\ndatabase=index\nnew_certs_dir=.\nserial=serial\ndefault_md=sha256\npolicy=p\n[p]\ncommonName=supplied\n[tsa]\ndefault_tsa=t\n[t]\nserial=%s\nsigner_cert=%s\nsigner_key=%s\nsigner_digest=sha256\ndefault_policy=1.2.3.4.1\ndigests=sha1,sha256\n' \
    "$1/tsaserial" "$1/tsa.pem" "$1/tsa.key" >openssl.cnf && openssl req -x509 -newkey rsa:2048 -nodes -keyout root.key -out root.pem \
    -days 2 -subj /CN=zibwin32-test-root -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null || return 1
  for name in signer/codeSigning/0/2 expired/codeSigning/-3/-2 tsa/critical,timeStamping/0/2; do  # extended key usage, valid from/to day
    IFS=/ read -r -a name <<<"$name" && set -- "$1" "${name[@]}"
    openssl req -newkey rsa:2048 -nodes -keyout "$2.key" -subj "/CN=zibwin32-test-$2" -out "$2.csr" 2>/dev/null &&
    openssl ca -batch -notext -config openssl.cnf -cert root.pem -keyfile root.key -in "$2.csr" -out "$2.pem" \
      -startdate "$(date -u -d "$4 days" +%Y%m%d%H%M%SZ)" -enddate "$(date -u -d "$5 days" +%Y%m%d%H%M%SZ)" \
      -extfile <(printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$3") 2>/dev/null || return 1
  done
  openssl pkcs12 -export -in signer.pem -inkey signer.key -passout file:password -out signer.p12 &&
  softhsm2-util --init-token --free --label zibwin32 --pin 1234 --so-pin 5678 >/dev/null &&
  softhsm2-util --import signer.key --token zibwin32 --label signer --id 01 --pin 1234 >/dev/null &&
  cd - >/dev/null && pkcs12Way=(ZIBWIN32_SIGN_PKCS12="$1/signer.p12" ZIBWIN32_SIGN_PASSWORD_FILE="$1/password" ZIBWIN32_SIGN_CA="$1/root.pem")
  tokenWay=(ZIBWIN32_SIGN_PKCS11_MODULE=/usr/lib/softhsm/libsofthsm2.so "ZIBWIN32_SIGN_KEY=pkcs11:token=zibwin32;object=signer;type=private" ZIBWIN32_SIGN_CERTS="$1/signer.pem" ZIBWIN32_SIGN_PASSWORD_FILE="$1/pin" ZIBWIN32_SIGN_CA="$1/root.pem")
}
