# Sourced by the release tests, with `root` (the sources) and `work` (their
# scratch folder) set: the release is built in the scratch folder, failures are
# counted, and release() runs tools/release.
export PEW_BUILD_DIR=$work/build
out=$PEW_BUILD_DIR/release-out
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# tools/test has set the machine up: a test never runs apt.
export PEW_SKIP_SETUP=1
# tools/release with the password or PIN `secret` (UNSET: none) and arguments;
# sets code and output.
release() {
  local secret=$1
  shift
  if [ "$secret" = UNSET ]; then
    output=$(env -u PEW_SIGN_PASSWORD "$root/tools/release" "$@" 2>&1)
  else
    output=$(PEW_SIGN_PASSWORD=$secret "$root/tools/release" "$@" 2>&1)
  fi
  code=$?
}
