#!/usr/bin/env bash
# The C host program (HostProgram.c) under Wine against a Linux simulator; on
# x86 the 32-bit Wine. The simulator's own state then shows what the program
# wrote: the LAN group's new address.
#   host-program-wine-test.sh HOST_PROGRAM_EXE HARNESS   (VEXAL_HUBSIM: the simulator)
set -euo pipefail
exe=$1 harness=$2
hubsim=${VEXAL_HUBSIM:?VEXAL_HUBSIM names the Linux simulator}
work=$(mktemp -d)
hub_pid=''
cleanup() {
  [ -n "$hub_pid" ] && kill "$hub_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- simulator"; cat "$work/hub.err" || true; exit 1; }

"$hubsim" --listen 127.0.0.1:0 --control 127.0.0.1:0 >"$work/hub.out" 2>"$work/hub.err" &
hub_pid=$!
for _ in $(seq 100); do grep -qs '^READY' "$work/hub.out" && break; sleep 0.05; done
grep -q '^READY' "$work/hub.out" || fail "the simulator did not start"
port=$(sed -n 's/^LISTEN .*://p' "$work/hub.out")
control=$(sed -n 's/^CONTROL .*://p' "$work/hub.out")

bash "$harness" run "$exe" "127.0.0.1:$port" "$control" || fail "the host program"

exec 3<>"/dev/tcp/127.0.0.1/$control"
printf 'GET lan.ip\n' >&3
IFS= read -r answer <&3
exec 3>&-
[ "${answer%$'\r'}" = "OK 10.20.30.40" ] || fail "the simulator's LAN address is '$answer', not the one written"
echo "ok: the simulator holds the address the host program wrote"
