#!/usr/bin/env bash
# vexalcfg.exe under Wine against Linux simulators, beside the Linux tool:
#  1. show --json prints what the Linux tool prints for the same hub state,
#     and the C example linked through ZamoCfg.lib reads the same hub;
#  2. a backup written into a folder named outside the ANSI code page, then
#     restore --clone onto a second hub: its settings become the first hub's
#     but for the per-hub keys, read back by the Linux tool;
#  3. --hosts with three hubs, one refusing connections: an outcome per hub
#     from Windows worker processes, exit status 1;
#  4. status --json (the devices behind the hub, the printer's status record
#     through the port library the configuration library loaded) prints
#     what the Linux tool prints.
#   vexalcfg-wine-test.sh WINDOWS_TOOL LINUX_TOOL HARNESS SHOW_HUB_EXE   (VEXAL_HUBSIM: the simulator)
set -euo pipefail
win_tool=$1 linux_tool=$2 harness=$3 show_hub=$4
hubsim=${VEXAL_HUBSIM:?VEXAL_HUBSIM names the Linux simulator}
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done  # they save their state on the way out
  rm -rf "$work"
}
trap cleanup EXIT

start_hub() {  # NAME: a simulator with a state file; sets NAME_port and NAME_control
  local name=$1
  "$hubsim" --listen 127.0.0.1:0 --greet --state "$work/$name-state.json" >"$work/$name.out" 2>"$work/$name.err" &
  pids+=($!)
  for _ in $(seq 100); do grep -qs '^READY' "$work/$name.out" && break; sleep 0.05; done
  grep -q '^READY' "$work/$name.out" || { cat "$work/$name.err"; echo "FAIL: simulator $name did not start"; exit 1; }
  printf -v "${name}_port" '%s' "$(sed -n 's/^LISTEN .*://p' "$work/$name.out")"
  printf -v "${name}_control" '%s' "$(sed -n 's/^CONTROL .*://p' "$work/$name.out")"
}
control() {  # PORT COMMAND: one control command; fails unless answered OK
  local answer
  exec 3<>"/dev/tcp/127.0.0.1/$1"
  printf '%s\n' "$2" >&3
  IFS= read -r answer <&3
  exec 3>&-
  case $answer in OK*) ;; *) echo "FAIL: control '$2': $answer"; exit 1 ;; esac
}
win() { bash "$harness" run "$win_tool" "$@"; }

start_hub a
start_hub b
start_hub c
control "$a_control" "SET bluetooth.name Caf$(printf '\xc3\xa9') Front"
control "$a_control" "SET lan.ip 10.0.0.21"
control "$a_control" "SET snmp_ro shop-ro"
control "$a_control" "SET serial.100 [6,0,1,2]"
control "$a_control" "SET telnet 0"
control "$b_control" "SET bluetooth.name Counter 2"
control "$b_control" "SET lan.ip 10.0.0.22"
control "$c_control" "FAULT REFUSE ON"

# 1. The same document from both tools.
win --ethernet "127.0.0.1:$a_port" show --json >"$work/a-win.json"
"$linux_tool" --ethernet "127.0.0.1:$a_port" show --json >"$work/a-linux.json"
if ! cmp -s "$work/a-win.json" "$work/a-linux.json"; then
  diff "$work/a-linux.json" "$work/a-win.json" || true
  echo "FAIL: show --json differs between vexalcfg.exe and vexalcfg"
  exit 1
fi
echo "ok: show --json alike ($(wc -c <"$work/a-win.json") bytes)"
bash "$harness" run "$show_hub" "127.0.0.1:$a_port" >"$work/show-hub.txt" ||
  { cat "$work/show-hub.txt"; echo "FAIL: show_hub.exe"; exit 1; }
grep -q "VX-H400_VXL" "$work/show-hub.txt" && grep -q "10.0.0.21" "$work/show-hub.txt" ||
  { cat "$work/show-hub.txt"; echo "FAIL: show_hub.exe did not show the hub"; exit 1; }
echo "ok: show_hub.exe through ZamoCfg.lib"

# 2. Backup, then a rollout of its settings onto hub b.
folder="$work/Sicherung $(printf '\xc3\x9c') $(printf '\xe3\x83\xad')"
mkdir -p "$folder"
win --ethernet "127.0.0.1:$a_port" backup "$folder/hub-a.json"
[ "$(ls "$folder")" = "hub-a.json" ] || { ls "$folder"; echo "FAIL: backup left other files"; exit 1; }
"$linux_tool" --ethernet "127.0.0.1:$b_port" show --json >"$work/b-before.json"
win --ethernet "127.0.0.1:$b_port" restore "$folder/hub-a.json" --clone >"$work/restore.txt" ||
  { cat "$work/restore.txt"; echo "FAIL: restore --clone"; exit 1; }
"$linux_tool" --ethernet "127.0.0.1:$b_port" show --json >"$work/b-linux.json"
python3 - "$work/a-linux.json" "$work/b-before.json" "$work/b-linux.json" <<'PY'
import json, sys
a, before, b = (json.load(open(p))["settings"] for p in sys.argv[1:4])
# The per-hub keys keep hub b's own values; everything else is hub a's.
for group, key in (("lan", "ip"), ("wlan", "ip"), ("bluetooth", "name")):
    if b[group][key] != before[group][key]:
        sys.exit("FAIL: per-hub key %s.%s was cloned" % (group, key))
    del a[group][key], b[group][key]
if a == before:
    sys.exit("FAIL: hub a's settings were hub b's to begin with")
if a != b:
    sys.exit("FAIL: hub b after restore --clone differs from hub a:\n%s\n%s" % (a, b))
print("ok: backup and restore --clone")
PY

# 3. Three hubs at once, one refusing.
printf '127.0.0.1:%s\n127.0.0.1:%s\n# the third takes no connection\n127.0.0.1:%s\n' "$a_port" "$b_port" "$c_port" \
  >"$work/hosts.txt"
status=0
win --hosts "$work/hosts.txt" --jobs 3 --json info >"$work/hosts.json" || status=$?
[ "$status" = 1 ] || { cat "$work/hosts.json"; echo "FAIL: --hosts exit status $status, not 1"; exit 1; }
python3 - "$work/hosts.json" "$a_port" "$b_port" "$c_port" <<'PY'
import json, sys
hubs = json.load(open(sys.argv[1]))
ports = sys.argv[2:5]
assert [h["host"] for h in hubs] == ["127.0.0.1:" + p for p in ports], hubs
assert [h["ok"] for h in hubs] == [True, True, False], hubs
assert all(h["result"]["model"] == "VX-H400_VXL" for h in hubs[:2]), hubs
assert hubs[2]["exit"] == 1 and hubs[2]["error"], hubs
print("ok: --hosts, the refusing hub named: " + hubs[2]["error"].splitlines()[0])
PY

# 4. The devices behind hub a, from both tools.
win --ethernet "127.0.0.1:$a_port" status --json >"$work/status-win.json"
"$linux_tool" --ethernet "127.0.0.1:$a_port" status --json >"$work/status-linux.json"
if ! cmp -s "$work/status-win.json" "$work/status-linux.json"; then
  diff "$work/status-linux.json" "$work/status-win.json" || true
  echo "FAIL: status --json differs between vexalcfg.exe and vexalcfg"
  exit 1
fi
python3 - "$work/status-win.json" <<'PY'
import json, sys
status = json.load(open(sys.argv[1]))
assert status["link"] == "on-line" and status["devices"][0]["vid"] == "5a4d", status
assert status["printers"] == [{"id": 10, "record": "10000000", "reasons": ["none"]}], status
print("ok: status --json alike, the printer's record read under Wine")
PY
