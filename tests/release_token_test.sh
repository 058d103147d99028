#!/usr/bin/env bash
# tools/release signing through a PKCS#11 token and time-stamped, with real
# components and no network: a software token (SoftHSM2) initialised here in
# the scratch folder with a key generated in it, and an RFC 3161 time-stamping
# authority on 127.0.0.1 (openssl ts behind a few lines of Python's HTTP
# server), started and stopped here.
#
#   release_token_test.sh <source folder> <payload folder> <scratch folder>
#
# The release verifies with its time stamp, the PIN never on a command line;
# a wrong PIN leaves no release. Exits 77 (skipped) where a package that the
# token needs is missing.
set -uo pipefail
[ $# -eq 3 ] || { echo "usage: release_token_test.sh <source> <payload> <scratch>" >&2; exit 2; }
root=$1 payload=$2 work=$3

source "$(dirname "$0")/release_common.sh"

module=/usr/lib/softhsm/libsofthsm2.so
for tool in softhsm2-util pkcs11-tool osslsigncode python3; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (tools/setup-deps installs it)"; exit 77; }
done
[ -r "$module" ] || { echo "SKIP: SoftHSM2's module $module is missing"; exit 77; }
engines=$(openssl version -e | sed 's/^ENGINESDIR: "\(.*\)"$/\1/')
[ -r "$engines/pkcs11.so" ] || { echo "SKIP: OpenSSL's PKCS#11 engine is missing (libengine-pkcs11-openssl)"; exit 77; }

# A token of its own.
token=$work/token
rm -rf "$token" && mkdir -p "$token/objects"
printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$token/objects" \
  >"$token/softhsm2.conf"
export SOFTHSM2_CONF=$token/softhsm2.conf
pin=246810
# The test's own throwaway PIN may stand on these command lines; the release's never does.
softhsm2-util --init-token --free --label pewsterline --pin "$pin" --so-pin 135791 >/dev/null &&
pkcs11-tool --module "$module" --token-label pewsterline --login --pin "$pin" \
  --keypairgen --key-type rsa:2048 --id 01 --label signer >/dev/null 2>&1 &&
openssl req -new -x509 -days 2 -subj "/CN=Pewsterline Token Test" -addext "keyUsage=digitalSignature" \
  -addext "extendedKeyUsage=codeSigning" -engine pkcs11 -keyform engine \
  -key "pkcs11:token=pewsterline;object=signer;type=private;pin-value=$pin" \
  -out "$token/certificate.pem" >/dev/null 2>&1 &&
pkcs11-tool --module "$module" --token-label pewsterline --login --pin "$pin" \
  --write-object "$token/certificate.pem" --type cert --id 01 --label signer >/dev/null 2>&1 ||
  { echo "FAIL: the test token could not be made"; exit 1; }

# A time-stamping authority of its own: a root, a certificate for time stamps
# under it, openssl ts for the replies and an HTTP server for the requests.
tsa=$work/tsa
rm -rf "$tsa" && mkdir -p "$tsa"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Pewsterline Test Time-Stamp Root" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" \
  -keyout "$tsa/root.key" -out "$tsa/root.pem" >/dev/null 2>&1 &&
openssl req -new -newkey rsa:2048 -nodes -subj "/CN=Pewsterline Test Time-Stamp Authority" \
  -keyout "$tsa/tsa.key" -out "$tsa/tsa.csr" >/dev/null 2>&1 &&
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=critical,timeStamping\n' \
  >"$tsa/tsa.ext" &&
openssl x509 -req -in "$tsa/tsa.csr" -CA "$tsa/root.pem" -CAkey "$tsa/root.key" -CAcreateserial -days 2 \
  -extfile "$tsa/tsa.ext" -out "$tsa/tsa.pem" >/dev/null 2>&1 || { echo "FAIL: no test time-stamp authority"; exit 1; }
echo 01 >"$tsa/serial"
printf '%s\n' "[ tsa ]" "default_tsa = local" "[ local ]" "serial = $tsa/serial" "signer_cert = $tsa/tsa.pem" \
  "certs = $tsa/tsa.pem" "signer_key = $tsa/tsa.key" "signer_digest = sha256" \
  "default_policy = 1.3.6.1.4.1.99999.1" "digests = sha256, sha384, sha512" "accuracy = secs:1" \
  "ordering = no" "tsa_name = no" "ess_cert_id_chain = no" "ess_cert_id_alg = sha256" >"$tsa/ts.cnf"
python3 "$root/tests/support/time_stamp_server.py" "$tsa/ts.cnf" "$tsa/tsa.key" "$tsa/tsa.pem" \
  >"$tsa/port" 2>"$tsa/server.log" &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null' EXIT
for _ in $(seq 300); do [ -s "$tsa/port" ] && break; sleep 0.1; done
[ -s "$tsa/port" ] || { echo "FAIL: the time-stamp service did not start"; exit 1; }
url=http://127.0.0.1:$(cat "$tsa/port")

key="pkcs11:token=pewsterline;object=signer;type=private"
certificate="pkcs11:token=pewsterline;object=signer;type=cert"
# osslsigncode through a wrapper that records its command lines, where any
# user could read a PIN in the process list.
mkdir -p "$work/bin"
printf '#!/bin/sh\necho "$*" >>"%s"\nexec %s "$@"\n' "$work/bin/command-lines" "$(command -v osslsigncode)" \
  >"$work/bin/osslsigncode"
chmod +x "$work/bin/osslsigncode"
rm -f "$work/bin/command-lines"
PATH=$work/bin:$PATH release "$pin" --payload "$payload" --token "$module" --key "$key" --cert "$certificate" \
  --timestamp "$url" --timestamp-ca "$tsa/root.pem"
installer=$out/PewsterlineSetup.exe
if [ "$code" -ne 0 ] || ! grep -q "signer .*CN *= *Pewsterline Token Test" <<<"$output" ||
   ! grep -q "time stamp .* from $url (verified)" <<<"$output"; then
  fail "the release signed through the token was not made, or does not name its signer and time stamp (exit $code):"$'\n'"$output"
else
  verified=$(osslsigncode verify -CAfile "$token/certificate.pem" -TSA-CAfile "$tsa/root.pem" -in "$installer" 2>&1)
  if ! grep -q '^Signature verification: ok' <<<"$verified" ||
     ! grep -q '^Timestamp Server Signature verification: ok' <<<"$verified" ||
     ! grep -qE 'Timestamp time:|The signature is timestamped:' <<<"$verified"; then
    fail "the release signed through the token does not verify with its time stamp:"$'\n'"$verified"
  else
    echo "osslsigncode verify of the release signed through the token:"
    grep -E 'Message digest algorithm|Signature verification|Timestamp time|timestamped|Timestamp Server|Subject:|Hash Algorithm' \
      <<<"$verified" | sed 's/^/  /'
  fi
  (cd "$out" && sha256sum -c --quiet SHA256SUMS) || fail "the token-signed release does not match its SHA256SUMS"
fi
if [ ! -s "$work/bin/command-lines" ]; then
  fail "osslsigncode was not run through its wrapper"
elif grep -qF "$pin" "$work/bin/command-lines"; then
  fail "the PIN was on osslsigncode's command line"
fi

# A wrong PIN: no release, not even an earlier one.
mkdir -p "$out" && echo earlier >"$out/PewsterlineSetup.exe"
release 975310 --payload "$payload" --token "$module" --key "$key" --cert "$certificate" --timestamp "$url" \
  --timestamp-ca "$tsa/root.pem"
if [ "$code" -eq 0 ] || ! grep -q "PEW_SIGN_PASSWORD is not the PIN of the token" <<<"$output" ||
   ! grep -q "no release was made" <<<"$output"; then
  fail "a wrong PIN did not fail saying so (exit $code):"$'\n'"$output"
fi
leftovers=$(find "$PEW_BUILD_DIR" -maxdepth 2 \( -path "$out/*" -o -name 'release-out.partial*' \))
[ -z "$leftovers" ] || fail "a wrong PIN left release files: $leftovers"

[ "$failures" -eq 0 ] || exit 1
echo "release_token_test: all checks passed"
