#!/usr/bin/env bash
# Builds everything and shows a simulated hub. With a display (DISPLAY or
# WAYLAND_DISPLAY): starts vexal-hubsim on loopback with a free port and a
# shop-like state, and opens the configuration utility connected to it over
# Ethernet; closing the utility stops the simulator. Without a display: shows
# the hub with the command-line tool (or the example client before it exists).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
bash scripts/deps.sh
build=${VEXAL_BUILD_ROOT:-$top/build}/run
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DVEXAL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
out="$build/out"

have_display() { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }

if ! have_display || [ ! -x "$out/Vexal_Configuration_Utility" ]; then
  if [ ! -x "$out/vexalcfg" ]; then
    exec bash examples/run_demo.sh "$build"
  fi
fi

work=$(mktemp -d)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

"$out/vexal-hubsim" --listen 127.0.0.1:0 --greet --state "$work/hub.json" >"$work/hubsim.out" 2>"$work/hubsim.err" &
sim_pid=$!
for _ in $(seq 100); do
  grep -q '^READY' "$work/hubsim.out" && break
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    echo "run: the simulator stopped:" >&2
    cat "$work/hubsim.out" "$work/hubsim.err" >&2
    exit 1
  fi
  sleep 0.1
done
grep -q '^READY' "$work/hubsim.out" || { echo "run: the simulator did not get ready within 10 s" >&2; exit 1; }
address=$(sed -n 's/^LISTEN //p' "$work/hubsim.out" | head -n 1)
control=$(sed -n 's/^CONTROL //p' "$work/hubsim.out" | head -n 1)

# A hub as a shop would have it: a named Bluetooth identity, a fixed LAN
# address, a customer display among the devices, a custom scanner entry.
exec 3<>"/dev/tcp/${control%:*}/${control##*:}"
for command in "SET bluetooth.name Front Desk Hub" "SET lan.ip 192.168.0.40" \
               "PLUG 30 echo 0FE2 0001" "SET telnet 0"; do
  printf '%s\n' "$command" >&3
  read -r answer <&3
  case "$answer" in OK*) ;; *) echo "run: simulator refused '$command': $answer" >&2 ;; esac
done
exec 3>&-

echo "Simulated hub listening on $address"
if have_display && [ -x "$out/Vexal_Configuration_Utility" ]; then
  status=0
  "$out/Vexal_Configuration_Utility" --interface ethernet --address "${address%:*}" \
    --tcp-port "${address##*:}" --connect || status=$?
  exit "$status"
fi
status=0
"$out/vexalcfg" --ethernet "$address" show || status=$?
exit "$status"
