#!/bin/sh
# Every FILE carries a valid SHA-256 Authenticode signature by SIGNER (a PEM certificate). A
# self-signed SIGNER (the test certificate) is the one trusted authority; a release one is
# checked against the system's authorities.
# Usage: check-signed.sh SIGNER FILE...
set -u
signer=$1
shift
trust=""
if [ "$(openssl x509 -in "$signer" -noout -subject)" = \
     "$(openssl x509 -in "$signer" -noout -issuer | sed 's/^issuer/subject/')" ]; then
  trust="-CAfile $signer"
fi
passed=0 failed=0
for file in "$@"; do
  out=$(osslsigncode verify $trust -in "$file" 2>&1)
  if [ $? -eq 0 ] && printf '%s\n' "$out" | grep -q 'Message digest algorithm *: SHA256' &&
     printf '%s\n' "$out" | grep -q '^Signature verification: ok'; then
    echo "signed: $file"
    passed=$((passed + 1))
  else
    printf '%s\n' "$out" | tail -5
    echo "FAIL: $file is not signed as it must be"
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
