#!/usr/bin/env bash
# A test certificate authority made on the spot, with a code-signing
# certificate and a TLS server certificate for "localhost", all in DIR (in
# the build tree; never committed):
#   test-ca.sh DIR
# Existing files are kept, so the step is quick after the first run.
set -euo pipefail
dir=${1:?usage: test-ca.sh DIR}
mkdir -p "$dir"
[ -f "$dir/server.crt" ] && exit 0

issue() {  # NAME SUBJECT EXTENSIONS
  openssl req -newkey rsa:2048 -nodes -subj "$2" -keyout "$dir/$1.key" -out "$dir/$1.csr" 2>/dev/null
  printf '%b' "$3" >"$dir/$1.ext"
  openssl x509 -req -in "$dir/$1.csr" -CA "$dir/ca.crt" -CAkey "$dir/ca.key" -CAcreateserial \
    -days 30 -extfile "$dir/$1.ext" -out "$dir/$1.crt" 2>/dev/null
}

openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Quenlith Test Root" \
  -keyout "$dir/ca.key" -out "$dir/ca.crt" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
issue codesign "/CN=Quenlith Test Signing" \
  'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n'
issue server "/CN=localhost" \
  'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\nsubjectAltName=DNS:localhost\n'
