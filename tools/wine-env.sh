# Sourced by tools/test and tools/run: a private Wine prefix and HOME, an X display,
# and a wineserver that is already running before anything else starts.
#
#   pew_wine_start [--use-display]   sets WINEPREFIX, HOME, DISPLAY, PEW_WINE_DIR, PEW_DRIVE_D
#                                    and, as root, PEW_DRIVE_S
#   pew_wine_stop                    ends the wineserver and Xvfb, removes the prefix
#
# The prefix's Desktop and Documents are real folders inside it (Wine links them
# to $HOME otherwise), and d: is a folder of its own, so tests never write into
# a real home folder or the Linux root.
#
# With PEW_WINE_USER set (by root), every Wine program runs as that account: the
# folder, prefix and HOME are its own (Wine refuses a prefix of another owner),
# and wine and wineserver on PATH become small scripts that run the real ones
# through runuser. Root may write any file, so only an unprivileged account
# meets read-only files and folders as a Windows user does.

# How this host runs Wine's 32-bit (i386) programs: "native", or "emulated by QEMU
# x.y" where tools/setup-deps registered QEMU with binfmt_misc (a registered entry
# is tried before the kernel's own loader, so it wins wherever it is).
pew_i386_way() {
  local entry=/proc/sys/fs/binfmt_misc/qemu-i386 interpreter
  if [ -r "$entry" ] && grep -qx enabled "$entry"; then
    interpreter=$(sed -n 's/^interpreter //p' "$entry")
    echo "emulated by QEMU $("$interpreter" --version 2>/dev/null | sed -n '1s/.*version \([0-9.]*\).*/\1/p')"
  else
    echo native
  fi
}

# Runs one step of starting Wine, its output kept in the prefix's start log (a
# file: Wine's background services inherit it, and a pipe would keep ctest
# waiting for ever). When the step fails, says so with that output and the most
# likely cause, instead of ending silently.
pew_wine_step() {
  local what=$1 log="$PEW_WINE_DIR/wine-start.log"
  shift
  echo "\$ $*" >>"$log"
  "$@" </dev/null >>"$log" 2>&1 && return 0
  local status=$?
  echo "wine-env: $what failed (exit status $status); its output:" >&2
  sed 's/^/  /' "$log" | tail -n 20 >&2
  if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo "wine-env: likely cause: this host runs no 32-bit (i386) programs (\"$(/lib/ld-linux.so.2 --version 2>&1 | head -n1 | sed 's/.*: //')\")," >&2
    echo "  and wineserver and Wine's loader are such programs. tools/setup-deps sets up QEMU" >&2
    echo "  user emulation for them; run it (as root or with sudo) and read what it says." >&2
  elif [ "$status" -eq 126 ] || [ "$status" -eq 127 ]; then
    echo "wine-env: likely cause: a Wine program is missing or cannot be executed; run tools/setup-deps." >&2
  else
    echo "wine-env: likely cause: see the output above (32-bit code runs $(pew_i386_way) here)." >&2
  fi
  return "$status"
}

# Runs a command as PEW_WINE_USER when that is set, otherwise as is.
pew_as_wine_user() {
  if [ -n "${PEW_WINE_USER:-}" ]; then runuser -u "$PEW_WINE_USER" -- "$@"; else "$@"; fi
}

pew_wine_start() {
  local own_display=1
  if [ "${1:-}" = "--use-display" ] && [ -n "${DISPLAY:-}" ]; then own_display=0; fi

  # Inside a run that has its own prefix already (a test in a prefix of another
  # code page): the scripts made below must run the real wine, not the outer
  # run's scripts, which would call runuser a second time.
  if [ -n "${PEW_WINE_DIR:-}" ]; then PATH=${PATH//"$PEW_WINE_DIR/bin:"/}; fi
  PEW_WINE_DIR=$(mktemp -d /tmp/pewsterline-wine.XXXXXX)
  export PEW_WINE_DIR
  export HOME="$PEW_WINE_DIR/home"
  export WINEPREFIX="$PEW_WINE_DIR/prefix"
  export WINEDEBUG=-all
  # No Mono or Gecko installers at first boot; no Linux menu entries for our shortcuts.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  mkdir -p "$HOME" "$WINEPREFIX"
  if [ -n "${PEW_WINE_USER:-}" ]; then
    export PEW_WINE_USER
    mkdir -p "$PEW_WINE_DIR/bin"
    local tool
    for tool in wine wineserver; do
      # runuser sets HOME to the account's own; the rest of the environment stays.
      # A program of the account itself (a test that starts Wine from a shell)
      # has the real tool run as it is.
      printf '#!/bin/sh\n[ "$(id -un)" = "$PEW_WINE_USER" ] && exec %s "$@"\nexec runuser -u "$PEW_WINE_USER" -- env HOME="$HOME" %s "$@"\n' \
        "$(command -v "$tool")" "$(command -v "$tool")" >"$PEW_WINE_DIR/bin/$tool"
      chmod 755 "$PEW_WINE_DIR/bin/$tool"
    done
    export PATH="$PEW_WINE_DIR/bin:$PATH"
    chown -R "$PEW_WINE_USER:" "$PEW_WINE_DIR"
  fi

  PEW_XVFB_PID=""
  if [ "$own_display" -eq 1 ]; then
    local display_file="$PEW_WINE_DIR/display"
    Xvfb -displayfd 3 -screen 0 "${PEW_SCREEN:-1366x768x24}" -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
    PEW_XVFB_PID=$!
    local waited=0
    while [ ! -s "$display_file" ] && [ $waited -lt 100 ]; do sleep 0.1; waited=$((waited + 1)); done
    if [ ! -s "$display_file" ]; then echo "wine-env: Xvfb did not start" >&2; return 1; fi
    export DISPLAY=":$(head -n1 "$display_file")"
  fi

  # Started here, before anything that pipes our output: Wine's background
  # services inherit the stdout of whoever starts them, and ctest would wait for
  # ever on it.
  pew_wine_step "starting wineserver" wineserver -p || return 1
  pew_wine_step "creating the Wine prefix (wineboot -i)" wine wineboot -i || return 1
  # Every program of the prefix runs inside one Wine virtual desktop of the screen's
  # size. Wine is then the window manager: a maximised window really covers the
  # screen, as it does on Windows, which a bare X server does not do.
  local size=${PEW_SCREEN:-1366x768x24}
  size=${size%x*}
  pew_wine_step "setting the desktop" wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f || return 1
  pew_wine_step "setting the desktop's size" wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$size" /f || return 1
  # A program that crashes ends with its exception code, its backtrace on
  # stderr: Wine's crash dialog would wait for a click that no one gives.
  pew_wine_step "turning off the crash dialog" wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f || return 1
  # The desktop already running was made before the setting: start again.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  pew_wine_step "starting wineserver again" wineserver -p || return 1
  pew_wine_step "starting the Wine desktop (wineboot)" wine wineboot || return 1

  local user_dir="$WINEPREFIX/drive_c/users/${PEW_WINE_USER:-$(id -un)}"
  local folder
  for folder in Desktop Documents Downloads Music Pictures Videos; do
    if [ -L "$user_dir/$folder" ]; then rm "$user_dir/$folder"; pew_as_wine_user mkdir -p "$user_dir/$folder"; fi
  done
  export PEW_DRIVE_D="$PEW_WINE_DIR/drive-d"
  pew_as_wine_user mkdir -p "$PEW_DRIVE_D"
  pew_as_wine_user ln -sfn "$PEW_DRIVE_D" "$WINEPREFIX/dosdevices/d:"

  # s: is a drive with 768 KiB, too small for the installation: a file system
  # of its own (tmpfs), which only root may mount. Without it the tests that
  # need a full drive say that they could not try one.
  if [ "$(id -u)" -eq 0 ]; then
    local small="$PEW_WINE_DIR/drive-s"
    mkdir -p "$small"
    if mount -t tmpfs -o "size=768k,mode=0755,uid=$(id -u "${PEW_WINE_USER:-root}")" pewsterline-small "$small" 2>/dev/null; then
      export PEW_DRIVE_S="$small"
      pew_as_wine_user ln -sfn "$small" "$WINEPREFIX/dosdevices/s:"
    fi
  fi
}

pew_wine_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k 2>/dev/null || true; fi
  if [ -n "${PEW_DRIVE_S:-}" ]; then umount "$PEW_DRIVE_S" 2>/dev/null || true; fi
  if [ -n "${PEW_XVFB_PID:-}" ]; then kill "$PEW_XVFB_PID" 2>/dev/null || true; wait "$PEW_XVFB_PID" 2>/dev/null || true; fi
  if [ -n "${PEW_WINE_DIR:-}" ] && [ -z "${PEW_KEEP_WINE:-}" ]; then rm -rf "$PEW_WINE_DIR"; fi
}
