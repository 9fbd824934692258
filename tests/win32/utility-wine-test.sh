#!/usr/bin/env bash
# Vexal_Configuration_Utility.exe under Wine against a Linux simulator: started
# with --connect, its window found by title on the X display, the connect
# message answered, the window closed (Alt+F4), and the session seen closed by
# the simulator; the program must end by itself with status 0.
#   utility-wine-test.sh EXE HARNESS HUBSIM
set -euo pipefail
exe=$1 harness=$2 hubsim=$3
prefix=${VEXAL_WINEPREFIX:?}
work=$(mktemp -d)
hub_pid='' exe_pid=''
cleanup() {
  [ -n "$exe_pid" ] && kill "$exe_pid" 2>/dev/null || true
  [ -n "$hub_pid" ] && kill "$hub_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- simulator"; cat "$work/hub.err" || true; echo "--- program"; cat "$work/exe.log" || true; exit 1; }

if [ -s "$prefix/.vexal-xvfb.display" ]; then
  export DISPLAY=:$(tr -d '\n' <"$prefix/.vexal-xvfb.display")
fi
[ -n "${DISPLAY:-}" ] || fail "no X display"

# The simulator lives until its standard input (this pipe) closes.
mkfifo "$work/hub.in"
"$hubsim" --listen 127.0.0.1:0 --control 127.0.0.1:0 --exit-on-stdin-eof <"$work/hub.in" >"$work/hub.out" 2>"$work/hub.err" &
hub_pid=$!
exec 7>"$work/hub.in"
for _ in $(seq 100); do grep -q READY "$work/hub.out" 2>/dev/null && break; sleep 0.05; done
port=$(sed -n 's/^LISTEN 127.0.0.1:\([0-9]*\)$/\1/p' "$work/hub.out")
[ -n "$port" ] || fail "the simulator did not start"

bash "$harness" run "$exe" --interface ethernet --address 127.0.0.1 --tcp-port "$port" --connect >"$work/exe.log" 2>&1 &
exe_pid=$!

visible() { xdotool search --onlyvisible --name '^Vexal Utility$' 2>/dev/null || true; }
# The main window, then the connect outcome's message box over it (the smaller one).
box=''
for _ in $(seq 300); do
  wins=$(visible)
  if [ "$(echo "$wins" | grep -c .)" -ge 2 ]; then
    box=$(for w in $wins; do echo "$(xdotool getwindowgeometry "$w" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p') $w"; done |
          sort -n | head -n 1 | cut -d' ' -f2)
    break
  fi
  sleep 0.1
done
[ -n "$box" ] || fail "no window 'Vexal Utility' with its message box within 30 s"
grep -q "host connected" "$work/hub.err" || fail "the simulator saw no session"
# Return goes to the focused window, which a loaded machine may give the box
# late: pressed again (up to three times) while the box is still shown.
for _ in 1 2 3; do
  xdotool windowfocus --sync "$box" 2>/dev/null || true
  xdotool key Return
  for _ in $(seq 50); do [ "$(visible | grep -c .)" = 1 ] && break; sleep 0.1; done
  [ "$(visible | grep -c .)" = 1 ] && break
done
main=$(visible)
[ "$(echo "$main" | grep -c .)" = 1 ] || fail "the message box did not close"
echo "window $main found by title; message box answered"

# Alt+F4 likewise: Wine may hand the focus back late after the box.
for _ in 1 2 3; do
  xdotool windowfocus --sync "$main" 2>/dev/null || true
  xdotool key alt+F4
  for _ in $(seq 50); do [ -z "$(visible)" ] && break; sleep 0.1; done
  [ -z "$(visible)" ] && break
done
main_left=$(visible)
status=''
for _ in $(seq 200); do
  if ! kill -0 "$exe_pid" 2>/dev/null; then
    wait "$exe_pid" && status=0 || status=$?
    exe_pid=''
    break
  fi
  sleep 0.1
done
[ -n "$status" ] || fail "the program did not end within 20 s of its close (window still shown: ${main_left:-no})"
[ "$status" = 0 ] || fail "the program ended with status $status"
for _ in $(seq 50); do grep -q "connection closed (host closed it)" "$work/hub.err" && break; sleep 0.1; done
grep -q "connection closed (host closed it)" "$work/hub.err" || fail "the simulator did not see the session closed"
echo "closed; the simulator saw the session closed by the host"
