# shellcheck shell=sh
# Shell functions the scripts in this folder share; sourced, not run:
#   . "$(dirname "$0")/lib.sh"

# install_missing_packages PACKAGE...: installs those of the Debian packages
# that are not installed yet, through sudo when not root; does nothing when
# all are there. Returns 1 with a message when they cannot be installed.
install_missing_packages() {
  missing=""
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      missing="$missing $package"
    fi
  done
  [ -z "$missing" ] && return 0

  echo "Installing:$missing"
  if [ "$(id -u)" -eq 0 ]; then
    sudo=""
  elif command -v sudo >/dev/null 2>&1; then
    sudo="sudo"
  else
    echo "These packages are missing and there is no sudo to install them:$missing" >&2
    return 1
  fi
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q || {
    echo "apt-get update did not work" >&2
    return 1
  }
  # shellcheck disable=SC2086
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing || {
    echo "Could not install:$missing" >&2
    return 1
  }
}

# start_sim PROGRAM LINK [OPTION...]: starts the simulated unit line PROGRAM
# (dimlet-sim) in the background with --link LINK and the options, sets
# sim_pid, and waits up to 5 s for the link to appear. Its output goes where
# the call's does. Returns 1 with a message when the simulator ends first or
# makes no link in time.
start_sim() {
  sim_program=$1
  sim_link=$2
  shift 2
  "$sim_program" --link "$sim_link" "$@" &
  sim_pid=$!
  tries=0
  until [ -L "$sim_link" ]; do
    if ! kill -0 "$sim_pid" 2>/dev/null; then
      echo "The simulator ended before it made its link $sim_link." >&2
      return 1
    fi
    tries=$((tries + 1))
    if [ "$tries" -gt 50 ]; then
      echo "The simulator made no link at $sim_link within 5 s." >&2
      return 1
    fi
    sleep 0.1
  done
}

# stop_sim: ends the simulator that start_sim started, if it still runs.
stop_sim() {
  if [ -n "${sim_pid:-}" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=""
  fi
}

# realtime_priority: sets $priority to the command that runs a program with
# real-time priority (chrt -f 1) where the system allows it (root, or an
# rtprio limit), else to nothing: the Linux simulator's own priority, not
# above it, so that neither end holds the other back. The Linux simulator takes it by itself; wine
# maps no Windows priority to it, and on a busy machine a program under wine
# was held back mid-frame for longer than a unit waits between two bytes.
realtime_priority() {
  priority=""
  if chrt -f 1 true 2>/dev/null; then priority="chrt -f 1"; fi
}

# start_virtual_screen WORK: a virtual 1280x800 X screen (Xvfb, on a display
# number of its own choosing) with openbox on it; sets DISPLAY, xvfb_pid and
# wm_pid (stop_virtual_screen ends them). WORK is a folder for their logs.
start_virtual_screen() {
  Xvfb -screen 0 1280x800x24 -nolisten tcp -displayfd 3 3>"$1/display" 2>"$1/xvfb.log" &
  xvfb_pid=$!
  tries=0
  until [ -s "$1/display" ]; do
    tries=$((tries + 1))
    [ "$tries" -le 100 ] || { echo "Xvfb did not start" >&2; return 1; }
    sleep 0.1
  done
  DISPLAY=":$(cat "$1/display")"
  export DISPLAY
  openbox >"$1/openbox.log" 2>&1 &
  wm_pid=$!
}

stop_virtual_screen() {
  for pid in ${wm_pid:-} ${xvfb_pid:-}; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  wm_pid=""
  xvfb_pid=""
}

# window_titled TITLE [SECONDS]: prints the id of a visible window with
# exactly that title, waiting up to SECONDS (default 60) for it; returns 1
# when none came.
window_titled() {
  tries=0
  while :; do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    tries=$((tries + 1))
    [ "$tries" -le $((${2:-60} * 10)) ] || return 1
    sleep 0.1
  done
}

# new_wine_prefix: makes the empty wine prefix WINEPREFIX names (removing
# what was there), with wine's own fonts, with COM1, COM2 (and COM3) mapped to the paths given as
# arguments (HKLM\Software\Wine\Ports, read when the wine server starts;
# without them wine gives the machine's own serial ports), and leaves its
# wine server running, with $priority (see realtime_priority). The server is
# started apart, its output in LOG, so that no later program (ctest) keeps
# it as its own.
#   new_wine_prefix LOG [COM1-PATH [COM2-PATH [COM3-PATH]]]
new_wine_prefix() {
  log=$1
  shift
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineserver -p >>"$log" 2>&1
  timeout 300 wineboot -i >>"$log" 2>&1
  # Debian's wine looks for its own fonts (fonts-wine) at a path it cannot
  # open ("<its data folder>\../fonts"), and falls back to the machine's
  # (a serif face for the system's dialog font). Linked into the prefix's
  # Fonts folder they are found as Windows' own: the prefix has the faces
  # any other wine has (MS Sans Serif, Tahoma).
  for font in /usr/share/wine/fonts/*; do
    [ -e "$font" ] && ln -sf "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
  done
  n=1
  for path in "$@"; do
    timeout 60 wine reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /t REG_SZ /d "$path" /f >>"$log" 2>&1
    n=$((n + 1))
  done
  wineserver -k
  wineserver -w
  # shellcheck disable=SC2086
  ${priority:-} wineserver -p >>"$log" 2>&1
  timeout 120 wineboot >>"$log" 2>&1
}

# windows_folder NAME: the Linux path of the Windows folder in the environment
# variable NAME (APPDATA, LOCALAPPDATA) of the prefix WINEPREFIX names. Wine's
# output goes through a file: a wine server it starts would hold a pipe open.
windows_folder() {
  wineserver -p >/dev/null 2>&1 </dev/null || true  # already running
  folder_file=$(mktemp)
  timeout 60 wine cmd /c echo "%$1%" >"$folder_file" 2>/dev/null </dev/null || true
  winepath -u "$(tr -d '\r' <"$folder_file")" 2>/dev/null
  rm -f "$folder_file"
}
