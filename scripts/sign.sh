#!/bin/sh
# Signs what Quillo ships with one identity, Authenticode with SHA-256 (osslsigncode 2.7 or
# later, which also signs MSIX packages).
#   sign.sh --certificate DIR     makes sure DIR/signer.pem is the signing certificate
#   sign.sh DIR FILE...           signs each FILE in place
# The certificate is QUILLO_SIGN_PFX (a PKCS#12 file, its password QUILLO_SIGN_PASSWORD) when
# set: a release. Otherwise a test certificate made once in DIR and kept there (never commit
# it): "CN=Quillo Test, O=Quillo, C=KR", quillo-test.key / signer.pem, and QuilloTest.cer for
# testers to trust. No timestamp server is reachable from the build machine, so signatures
# carry no timestamp: they stay valid as long as the certificate does.
set -eu
certificate_only=""
if [ "${1:-}" = --certificate ]; then
  certificate_only=1
  shift
fi
[ $# -ge 1 ] || { echo "usage: sign.sh [--certificate] DIR [FILE...]" >&2; exit 2; }
dir=$1
shift
mkdir -p "$dir"

need() {
  command -v "$1" >/dev/null 2>&1 || { echo "sign.sh: $1 is missing: run scripts/setup.sh" >&2; exit 1; }
}
need openssl

# Writes a file atomically, so that a build stopped halfway never leaves half a certificate.
put() { mv -f "$1.tmp" "$1"; }

if [ -n "${QUILLO_SIGN_PFX:-}" ]; then
  [ -f "$QUILLO_SIGN_PFX" ] || { echo "sign.sh: no file $QUILLO_SIGN_PFX" >&2; exit 1; }
  # The signing certificate itself (not its issuers), which the manifest's publisher names.
  # Older PKCS#12 files need OpenSSL's legacy algorithms.
  for legacy in "" -legacy; do
    if printf '%s' "${QUILLO_SIGN_PASSWORD:-}" |
       openssl pkcs12 $legacy -in "$QUILLO_SIGN_PFX" -passin stdin -nokeys -clcerts \
         -out "$dir/signer.pem.tmp" 2>/dev/null; then
      break
    fi
  done
  [ -s "$dir/signer.pem.tmp" ] || { echo "sign.sh: cannot read $QUILLO_SIGN_PFX (password?)" >&2; exit 1; }
  if ! cmp -s "$dir/signer.pem.tmp" "$dir/signer.pem" 2>/dev/null; then put "$dir/signer.pem"; fi
  rm -f "$dir/signer.pem.tmp"
elif [ ! -f "$dir/quillo-test.key" ] || [ ! -f "$dir/signer.pem" ]; then
  echo "sign.sh: no QUILLO_SIGN_PFX: making a test certificate in $dir"
  # The subject in encoding order: Windows spells it most specific first, "CN=Quillo Test, O=Quillo, C=KR".
  (umask 077 && openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 3650 \
     -subj "/C=KR/O=Quillo/CN=Quillo Test" \
     -addext "basicConstraints=critical,CA:FALSE" \
     -addext "keyUsage=critical,digitalSignature" \
     -addext "extendedKeyUsage=codeSigning" \
     -keyout "$dir/quillo-test.key.tmp" -out "$dir/signer.pem.tmp" 2>/dev/null)
  openssl x509 -in "$dir/signer.pem.tmp" -outform DER -out "$dir/QuilloTest.cer.tmp"
  put "$dir/quillo-test.key"
  put "$dir/QuilloTest.cer"
  put "$dir/signer.pem"
fi
[ -n "$certificate_only" ] && exit 0

need osslsigncode
version=$(osslsigncode --version 2>/dev/null | sed -n '1s/^osslsigncode \([0-9]*\)\.\([0-9]*\).*/\1 \2/p')
major=${version% *} minor=${version#* }
if [ -z "$version" ] || [ "$major" -lt 2 ] || { [ "$major" -eq 2 ] && [ "$minor" -lt 7 ]; }; then
  echo "sign.sh: osslsigncode 2.7 or later is needed (MSIX): run scripts/setup.sh" >&2
  exit 1
fi
for file in "$@"; do
  [ -f "$file" ] || { echo "sign.sh: no file $file" >&2; exit 1; }
  # A file signed before (a build that did not relink it) is signed afresh, not twice.
  osslsigncode remove-signature -in "$file" -out "$file.unsigned" >/dev/null 2>&1 &&
    mv -f "$file.unsigned" "$file" || rm -f "$file.unsigned"
  if [ -n "${QUILLO_SIGN_PFX:-}" ]; then
    # Private from its first byte: made afresh (a leftover keeps its mode) under a umask that
    # lets no one else read it.
    rm -f "$dir/.password"
    (umask 077 && printf '%s' "${QUILLO_SIGN_PASSWORD:-}" > "$dir/.password")
    status=0
    osslsigncode sign -h sha256 -n Quillo -pkcs12 "$QUILLO_SIGN_PFX" -readpass "$dir/.password" \
      -in "$file" -out "$file.signed" >/dev/null || status=$?
    rm -f "$dir/.password"
  else
    status=0
    osslsigncode sign -h sha256 -n Quillo -certs "$dir/signer.pem" -key "$dir/quillo-test.key" \
      -in "$file" -out "$file.signed" >/dev/null || status=$?
  fi
  if [ "$status" -ne 0 ]; then
    rm -f "$file.signed"
    echo "sign.sh: signing $file failed" >&2
    exit 1
  fi
  mv -f "$file.signed" "$file"
  echo "sign.sh: signed $file (SHA-256, no timestamp)"
done
