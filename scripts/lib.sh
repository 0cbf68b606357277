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

# wine_prefix_with_com1 LINK LOGDIR: makes the wine prefix $WINEPREFIX with
# COM1 on the path LINK and leaves its wine server running, with $priority
# (see realtime_priority). The key
# HKLM\Software\Wine\Ports maps COM1 (wine rewrites the dosdevices links),
# and is read when the server starts: the server is started again after it.
# The server is started apart, its output in LOGDIR, so that no later
# program (ctest) keeps it as its own.
wine_prefix_with_com1() {
  mkdir -p "$WINEPREFIX"
  wineserver -p >"$2/wineserver.log" 2>&1
  timeout 300 wineboot -i >"$2/wineboot.log" 2>&1
  timeout 60 wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$1" /f >/dev/null
  wineserver -k
  wineserver -w
  # shellcheck disable=SC2086
  ${priority:-} wineserver -p >"$2/wineserver.log" 2>&1
  timeout 120 wineboot >>"$2/wineboot.log" 2>&1
}
