#!/usr/bin/env bash
# Makes the sandbox's certificates in DIR: a CA for this run alone (ca.pem, ca.key), a leaf
# for the service's hosts (service.pem, service.key) and, when extra names are given, a leaf
# for them (extra.pem, extra.key), both signed by that CA.
#
# usage: make-certificates.sh DIR "SERVICE HOST..." ["EXTRA HOST..."]
set -euo pipefail

dir=$1
cd "$dir"
quiet() { "$@" >/dev/null 2>&1 || { echo "make-certificates: $* failed" >&2; "$@"; }; }

quiet openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
  -subj "/CN=Lumivo sandbox CA" -keyout ca.key -out ca.pem \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"

leaf() {
  local name=$1; shift
  local alt
  alt=$(printf 'DNS:%s,' "$@")
  quiet openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "/CN=$1" \
    -keyout "$name.key" -out "$name.csr"
  printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' \
    "${alt%,}" >"$name.ext"
  quiet openssl x509 -req -in "$name.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
    -out "$name.pem" -extfile "$name.ext"
  rm -f "$name.csr" "$name.ext"
}

# shellcheck disable=SC2086 # lists of names
leaf service $2
if [ -n "${3:-}" ]; then
  # shellcheck disable=SC2086
  leaf extra $3
fi
