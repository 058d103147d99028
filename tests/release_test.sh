#!/usr/bin/env bash
# tools/release end to end, with a throwaway self-signed code-signing
# certificate made here (no network).
#
#   release_test.sh signed  <source folder> <payload folder> <scratch folder>
#     an unsigned and a signed release that check out (sha256sum -c,
#     osslsigncode verify), the signed one the built installer plus the
#     signature, the password never on a command line, one changed byte
#     failing both checks; leaves the signed installer in
#     <scratch>/signed/PewsterlineSetup.exe for the test that installs it.
#   release_test.sh refused <source folder> <payload folder> <scratch folder>
#     a bad certificate, a wrong or missing password, a signature without a
#     time stamp unasked, a time-stamp server that does not answer and a
#     mis-sized payload file each fail the command with a message that says
#     so and leave no release file, not even an earlier one.
# (release_token_test.sh signs through a token, time-stamped.)
set -uo pipefail
[ $# -eq 4 ] || { echo "usage: release_test.sh signed|refused <source> <payload> <scratch>" >&2; exit 2; }
what=$1 root=$2 payload=$3 work=$4

source "$(dirname "$0")/release_common.sh"

# Flips the lowest bit of the byte in the middle of `file`.
change_one_byte() {
  local at=$(($(stat -c %s "$1") / 2)) byte
  byte=$(od -An -tu1 -j "$at" -N1 "$1" | tr -d ' ')
  printf "\\$(printf %03o $((byte ^ 1)))" | dd of="$1" bs=1 seek="$at" conv=notrunc status=none
}

keys=$work/keys
rm -rf "$keys" && mkdir -p "$keys"
password="a throwaway password"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Pewsterline Release Test" \
  -addext "keyUsage=digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -keyout "$keys/key.pem" -out "$keys/certificate.pem" 2>/dev/null &&
PEW_TEST_PASSWORD=$password openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/certificate.pem" \
  -passout env:PEW_TEST_PASSWORD -out "$keys/signer.p12" || { echo "FAIL: no test certificate"; exit 1; }

case "$what" in
signed)
  # osslsigncode does not write over an earlier output.
  rm -rf "$work/signed" "$work/stripped.exe"
  release UNSET --payload "$payload"
  if [ "$code" -ne 0 ] || ! grep -q "UNSIGNED" <<<"$output"; then
    fail "the unsigned release was not made, or not called unsigned (exit $code):"$'\n'"$output"
  elif ! (cd "$out" && sha256sum -c --quiet SHA256SUMS); then
    fail "the unsigned release does not match its SHA256SUMS"
  elif ! grep -q '^compiler .*GCC' "$out/TOOLCHAIN" || ! grep -q '^binutils .*GNU ld' "$out/TOOLCHAIN" ||
       ! grep -q '^mingw-w64 runtime: mingw-w64-i686-dev [0-9]' "$out/TOOLCHAIN" || ! grep -q "toolchain" <<<"$output"; then
    fail "the release does not name the toolchain that built it"
  elif osslsigncode verify -in "$out/PewsterlineSetup.exe" >/dev/null 2>&1; then
    fail "the unsigned release verifies as signed"
  fi

  # osslsigncode through a wrapper that records its command lines, where any
  # user could read a password in the process list.
  mkdir -p "$work/bin"
  printf '#!/bin/sh\necho "$*" >>"%s"\nexec %s "$@"\n' "$work/bin/command-lines" "$(command -v osslsigncode)" \
    >"$work/bin/osslsigncode"
  chmod +x "$work/bin/osslsigncode"
  rm -f "$work/bin/command-lines"
  PATH=$work/bin:$PATH release "$password" --payload "$payload" --sign "$keys/signer.p12" --no-timestamp
  installer=$out/PewsterlineSetup.exe
  if [ "$code" -ne 0 ] || ! grep -q "signer .*CN *= *Pewsterline Release Test" <<<"$output"; then
    fail "the signed release was not made, or does not name its signer (exit $code):"$'\n'"$output"
  elif ! grep -q "warning: signed without a time stamp" <<<"$output" || ! grep -q "NO TIME STAMP" <<<"$output"; then
    fail "a release signed without a time stamp was made without a warning:"$'\n'"$output"
  elif ! (cd "$out" && sha256sum -c --quiet SHA256SUMS); then
    fail "the signed release does not match its SHA256SUMS"
  elif ! osslsigncode verify -CAfile "$keys/certificate.pem" -in "$installer" >/dev/null 2>&1; then
    fail "the signed release does not verify"
  elif ! osslsigncode remove-signature -in "$installer" -out "$work/stripped.exe" >/dev/null 2>&1 ||
       ! cmp -s "$work/stripped.exe" "$PEW_BUILD_DIR/release/PewsterlineSetup.exe"; then
    fail "without its signature the signed release is not the installer that was built"
  else
    mkdir -p "$work/signed"
    cp "$installer" "$work/signed/PewsterlineSetup.exe"
    cp "$installer" "$work/changed.exe"
    change_one_byte "$work/changed.exe"
    if osslsigncode verify -CAfile "$keys/certificate.pem" -in "$work/changed.exe" >/dev/null 2>&1; then
      fail "the signature still verifies after one byte was changed"
    fi
    if sed 's/PewsterlineSetup.exe$/changed.exe/' "$out/SHA256SUMS" |
         (cd "$work" && sha256sum -c --quiet -) >/dev/null 2>&1; then
      fail "the checksum still checks after one byte was changed"
    fi
  fi
  if [ ! -s "$work/bin/command-lines" ]; then
    fail "osslsigncode was not run through its wrapper"
  elif grep -qF "$password" "$work/bin/command-lines"; then
    fail "the password was on osslsigncode's command line"
  fi
  ;;

refused)
  rm -rf "$work/payload" && cp -r "$payload" "$work/payload"
  printf x >>"$work/payload/help/index.htm"
  cp "$keys/certificate.pem" "$keys/not-pkcs12.p12"
  # name | password | arguments | what the message must say
  cases=(
    "bad certificate|$password|--sign $keys/not-pkcs12.p12 --no-timestamp|not-pkcs12.p12 is not a PKCS#12 file"
    "wrong password|not the password|--sign $keys/signer.p12 --no-timestamp|PEW_SIGN_PASSWORD is not the password of"
    "no password|UNSET|--sign $keys/signer.p12 --no-timestamp|set PEW_SIGN_PASSWORD"
    "no time stamp asked for|$password|--sign $keys/signer.p12|a signed release needs a time stamp"
    "a time-stamp server that does not answer|$password|--sign $keys/signer.p12 --timestamp http://127.0.0.1:9|the time-stamp server http://127.0.0.1:9 did not countersign"
    "mis-sized payload file|$password|--payload $work/payload --sign $keys/signer.p12 --no-timestamp|payload/help/index.htm: is 388 bytes, but the catalogue lists 387"
  )
  for row in "${cases[@]}"; do
    IFS='|' read -r name pass arguments expected <<<"$row"
    # An earlier, complete release, which must not be taken for this one.
    mkdir -p "$out" && echo earlier >"$out/PewsterlineSetup.exe" && echo earlier >"$out/SHA256SUMS"
    # shellcheck disable=SC2086 # the arguments hold no blanks
    release "$pass" --payload "$payload" $arguments
    if [ "$code" -eq 0 ]; then
      fail "$name: the release was made:"$'\n'"$output"
    elif ! grep -qF "$expected" <<<"$output" || ! grep -q "no release was made" <<<"$output"; then
      fail "$name: the message does not say '$expected' and that no release was made:"$'\n'"$output"
    fi
    leftovers=$(find "$PEW_BUILD_DIR" -maxdepth 2 \( -path "$out/*" -o -name 'release-out.partial*' \))
    [ -z "$leftovers" ] || fail "$name: release files were left: $leftovers"
  done
  ;;
*)
  echo "usage: release_test.sh signed|refused <source> <payload> <scratch>" >&2
  exit 2
  ;;
esac

[ "$failures" -eq 0 ] || exit 1
echo "release_test $what: all checks passed"
