#!/usr/bin/env bash
# Runs the Windows build's programs under Wine, beside Linux hub simulators.
#
#   wine-harness.sh setup              make the Wine prefix, keep its server up,
#                                      start the simulator service (and an
#                                      Xvfb when there is no DISPLAY)
#   wine-harness.sh run PROGRAM [ARG]  run a Windows program in that prefix
#   wine-harness.sh teardown           stop the service and the server, remove
#                                      the prefix
#
# The prefix is VEXAL_WINEPREFIX (made once per test run: 6-16 s, 0.7 GB);
# VEXAL_HUBSIM names the Linux vexal-hubsim that Windows programs ask the
# simulator service (scripts/hubsim-broker.py) to start: they find it through
# VEXAL_HUBSIM_BROKER=127.0.0.1:<port>, which `run` sets. CTest's fixture
# wine_prefix calls setup and teardown (cmake/Windows.cmake); a later stage
# can call the same three steps by hand.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
prefix=${VEXAL_WINEPREFIX:?VEXAL_WINEPREFIX names the Wine prefix}
# 32-bit programs: VEXAL_WINE=/usr/lib/wine/wine (Debian's wine32) and
# VEXAL_WINEARCH=win32, in a prefix of their own.
wine=${VEXAL_WINE:-/usr/lib/wine/wine64}
wineserver=${VEXAL_WINESERVER:-/usr/lib/wine/wineserver}
export WINEPREFIX=$prefix WINEARCH=${VEXAL_WINEARCH:-win64} WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers: nothing here needs them.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
broker_pid=$prefix/.vexal-broker.pid
broker_port=$prefix/.vexal-broker.port
xvfb_pid=$prefix/.vexal-xvfb.pid
xvfb_display=$prefix/.vexal-xvfb.display

# Windows need an X display: the caller's, or an Xvfb of this run's own.
stop_xvfb() {
  if [ -f "$xvfb_pid" ]; then
    local pid
    pid=$(cat "$xvfb_pid")
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
    fi
    rm -f "$xvfb_pid" "$xvfb_display"
  fi
}

stop_broker() {
  if [ -f "$broker_pid" ]; then
    local pid
    pid=$(cat "$broker_pid")
    # Only the service this harness started, by its own process id.
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    fi
    rm -f "$broker_pid" "$broker_port"
  fi
}

remove_prefix() {
  stop_broker
  if [ -d "$prefix" ]; then
    # The server of this prefix first: it holds files in it open.
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
    stop_xvfb
    rm -rf "$prefix"
  fi
}

case "${1:-}" in
setup)
  remove_prefix
  mkdir -p "$prefix"
  start=$SECONDS
  if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
    # -displayfd: the server picks a free display and writes its number.
    exec 5>"$xvfb_display"
    Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp </dev/null >"$prefix/.vexal-xvfb.log" 2>&1 &
    echo $! >"$xvfb_pid"
    exec 5>&-
    for _ in $(seq 100); do [ -s "$xvfb_display" ] && break; sleep 0.05; done
    [ -s "$xvfb_display" ] || { cat "$prefix/.vexal-xvfb.log"; echo "Xvfb did not start"; exit 1; }
  fi
  if [ -s "$xvfb_display" ]; then
    export DISPLAY=:$(tr -d '\n' <"$xvfb_display")
  fi
  # Persistent until teardown: every program then starts in a fraction of a second.
  "$wineserver" -p </dev/null >/dev/null 2>&1
  # (Without the 32-bit part wineboot reports a missing syswow64 program and
  # fails, yet makes a complete 64-bit prefix: its system folder decides.)
  "$wine" wineboot -i >"$prefix/.wineboot.log" 2>&1 || true
  [ -e "$prefix/drive_c/windows/system32/kernel32.dll" ] || { cat "$prefix/.wineboot.log"; echo "no Wine prefix made"; exit 1; }
  # Windows not handed to a window manager (there is none): Wine draws their
  # frames itself and does not wait 2 s for a manager to withdraw each one
  # that is hidden.
  "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
  hubsim=${VEXAL_HUBSIM:-}
  if [ -n "$hubsim" ] && [ -x "$hubsim" ]; then
    python3 "$top/scripts/hubsim-broker.py" --hubsim "$hubsim" --prefix "$prefix" --port-file "$broker_port" </dev/null \
      >"$prefix/.vexal-broker.log" 2>&1 &
    echo $! >"$broker_pid"
    for _ in $(seq 100); do [ -s "$broker_port" ] && break; sleep 0.05; done
    [ -s "$broker_port" ] || { cat "$prefix/.vexal-broker.log"; echo "simulator service did not start"; exit 1; }
  else
    echo "no Linux simulator (VEXAL_HUBSIM='$hubsim'): tests that need one will fail"
  fi
  echo "Wine prefix $prefix ready in $((SECONDS - start))s"
  ;;
run)
  shift
  [ -d "$prefix" ] || { echo "no Wine prefix at $prefix: run setup first"; exit 1; }
  if [ -s "$broker_port" ]; then
    export VEXAL_HUBSIM_BROKER=127.0.0.1:$(cat "$broker_port")
  fi
  # The libraries' log would otherwise go to the root of the current drive,
  # which under Wine is the build host's root folder.
  export VEXAL_LOG_DIR=${VEXAL_LOG_DIR:-$prefix/vexal-logs}
  if [ -s "$xvfb_display" ]; then
    export DISPLAY=:$(tr -d '\n' <"$xvfb_display")
  fi
  exec "$wine" "$@"
  ;;
teardown)
  remove_prefix
  ;;
*)
  echo "usage: $0 setup | run PROGRAM [ARGS...] | teardown" >&2
  exit 2
  ;;
esac
