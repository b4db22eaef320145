#!/usr/bin/env bash
# Makes a certificate authority for one test run and a server certificate it signed for
# 127.0.0.1 and localhost, in DIR:
#   ca.pem          the authority's certificate: the only one a test client trusts
#   server.pem      the server certificate (for the service's tls_certificate)
#   server-key.pem  its private key (for tls_private_key)
# Nothing is added to the machine's trust store.
set -euo pipefail
dir=${1:?usage: make-test-ca.sh DIR}
mkdir -p "$dir"
cd "$dir"

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quillet test CA" \
  -keyout ca-key.pem -out ca.pem \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -keyout server-key.pem -out server.csr 2>/dev/null
cat >server.ext <<'EXT'
basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=IP:127.0.0.1,DNS:localhost
EXT
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca-key.pem -CAcreateserial -days 2 \
  -extfile server.ext -out server.pem 2>/dev/null
rm -f server.csr server.ext ca.srl
