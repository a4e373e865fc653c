#!/usr/bin/env bash
# Signs Windows programs for tests with a code-signing certificate from a test
# certificate authority made on the spot (keys live only in the build tree):
#   sign.sh DIR INPUT OUTPUT
# creates DIR/ca.crt, DIR/codesign.crt and their keys when missing.
set -euo pipefail
dir=${1:?usage: sign.sh DIR INPUT OUTPUT}
input=${2:?usage: sign.sh DIR INPUT OUTPUT}
output=${3:?usage: sign.sh DIR INPUT OUTPUT}
mkdir -p "$dir"

if [ ! -f "$dir/codesign.crt" ]; then
  openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Quenlith Test Root" \
    -keyout "$dir/ca.key" -out "$dir/ca.crt" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
  openssl req -newkey rsa:2048 -nodes -subj "/CN=Quenlith Test Signing" \
    -keyout "$dir/codesign.key" -out "$dir/codesign.csr" 2>/dev/null
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$dir/codesign.ext"
  openssl x509 -req -in "$dir/codesign.csr" -CA "$dir/ca.crt" -CAkey "$dir/ca.key" -CAcreateserial \
    -days 30 -extfile "$dir/codesign.ext" -out "$dir/codesign.crt" 2>/dev/null
fi

mkdir -p "$(dirname "$output")"
rm -f "$output"
osslsigncode sign -certs "$dir/codesign.crt" -key "$dir/codesign.key" -n Quenlith -h sha256 \
  -in "$input" -out "$output" >/dev/null
