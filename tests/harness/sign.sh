#!/usr/bin/env bash
# Signs a Windows program for tests with the test authority's code-signing
# certificate (made by test-ca.sh when missing):
#   sign.sh DIR INPUT OUTPUT
set -euo pipefail
dir=${1:?usage: sign.sh DIR INPUT OUTPUT}
input=${2:?usage: sign.sh DIR INPUT OUTPUT}
output=${3:?usage: sign.sh DIR INPUT OUTPUT}
"$(dirname "$0")/test-ca.sh" "$dir"
mkdir -p "$(dirname "$output")"
rm -f "$output"
osslsigncode sign -certs "$dir/codesign.crt" -key "$dir/codesign.key" -n Quenlith -h sha256 \
  -in "$input" -out "$output" >/dev/null
