# Installs Debian packages through apt, for the scripts that need some: sourced,
# it defines pew_apt_install. A mirror in the middle of a sync serves an index
# whose size does not match its Release file; apt-get update then exits 100 and
# goes on without that index. That is a warning here, not the end: the install
# usually works with the indexes apt has. Only a failed install stops.

# pew_apt_install WHO [-t SUITE] PACKAGE...
# WHO names the script in its messages. Returns non-zero after saying why.
pew_apt_install() {
  local who=$1 target=()
  shift
  if [ "${1:-}" = -t ]; then target=(-t "$2"); shift 2; fi
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
  # sudo drops most of the environment: the variable goes through env, after it.
  local apt=($sudo env DEBIAN_FRONTEND=noninteractive apt-get -o Acquire::Retries=3)
  local log pin=/etc/apt/preferences.d/pewsterline-missing-index
  log=$(mktemp "${TMPDIR:-/tmp}/pew-apt.XXXXXX")

  echo "$who: installing $*; apt takes a minute or two" >&2
  if ! "${apt[@]}" update -qq >"$log" 2>&1; then
    echo "$who: warning: apt-get update failed; trying once more" >&2
    if ! "${apt[@]}" update -qq >"$log" 2>&1; then
      echo "$who: warning: apt-get update failed again; going on with the indexes apt has:" >&2
      grep '^E: ' "$log" | sed 's/^/  /' >&2 || true
    fi
  fi
  # "suite arch" of every index that could not be fetched.
  local missing_indexes
  missing_indexes=$(sed -n 's|.*Failed to fetch [^ ]*/dists/\([^/ ]*\)/[^/ ]*/binary-\([^/ ]*\)/.*|\1 \2|p' "$log" |
    sort -u)

  # -q, not -qq: when the install fails, the log says which dependency broke.
  if "${apt[@]}" install -y -q "${target[@]}" "$@" >"$log" 2>&1; then
    rm -f "$log"
    return 0
  fi

  # Multi-arch libraries must be at one version in every architecture. Without
  # one architecture's index of a suite, apt knows the newer versions of that
  # suite for the other architecture only, and says "held broken packages".
  # With that suite pinned low, both come from the suites that apt has whole.
  local suite arch library
  while read -r suite arch; do
    [ -n "$suite" ] || continue
    library=$(pew_apt_split_library "$log")
    echo "$who: the $arch index of $suite could not be downloaded (a mirror sync in progress?)" >&2
    if [ -n "$library" ]; then
      echo "  so the candidates of multi-arch libraries differ between the architectures" >&2
      echo "  ($library), which must be at one version." >&2
    fi
    echo "$who: installing again with $suite pinned low, for this install only" >&2
    printf 'Package: *\nPin: release n=%s\nPin-Priority: 100\n' "$suite" | $sudo tee "$pin" >/dev/null
    local installed=0
    "${apt[@]}" install -y -q "${target[@]}" "$@" >"$log" 2>&1 && installed=1
    $sudo rm -f "$pin"
    if [ "$installed" = 1 ]; then
      rm -f "$log"
      return 0
    fi
    break
  done <<<"$missing_indexes"

  echo "$who: apt-get install failed for: $*" >&2
  echo "  apt's last lines:" >&2
  tail -n 12 "$log" | sed 's/^/    /' >&2
  if [ -n "$missing_indexes" ]; then
    echo "  indexes that could not be downloaded: $(echo $missing_indexes | sed 's/\([^ ]*\) \([^ ]*\)/\1 (\2)/g')" >&2
    echo "  A mirror in the middle of a sync serves them again within an hour or so: run this again then," >&2
    echo "  or point apt at another mirror." >&2
  fi
  echo "  On a machine prepared by hand, PEW_SKIP_SETUP=1 skips the set-up." >&2
  rm -f "$log"
  return 1
}

# The first library that the failed install in LOG could not take whose
# candidates differ between the architectures: "zlib1g: amd64
# 1:1.2.13.dfsg-1+deb12u1, i386 1:1.2.13.dfsg-1". Empty when there is none.
pew_apt_split_library() {
  local log=$1 native other name ours theirs
  native=$(dpkg --print-architecture)
  for name in $(sed -n 's/.*Depends: \([^ :]*\)[^ ]* .*but it is not going to be installed.*/\1/p' "$log" |
                sort -u | head -n 20); do
    ours=$(apt-cache policy "$name:$native" 2>/dev/null | sed -n 's/^ *Candidate: //p')
    for other in $(dpkg --print-foreign-architectures); do
      theirs=$(apt-cache policy "$name:$other" 2>/dev/null | sed -n 's/^ *Candidate: //p')
      if [ -n "$ours" ] && [ -n "$theirs" ] && [ "$theirs" != "(none)" ] && [ "$ours" != "$theirs" ]; then
        echo "$name: $native $ours, $other $theirs"
        return
      fi
    done
  done
}
