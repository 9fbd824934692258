#!/usr/bin/env bash
# Takes the README's picture of the utility as a person would see it: runs
# the utility under Xvfb connected to the hub simulator, answers the
# "Success open port." box with Enter, and captures the main window.
#   usage: scripts/utility-screenshot.sh [BUILD_DIR] [OUTPUT.png]
# Needs Xvfb (xvfb-run), xdotool and ImageMagick's import.
set -euo pipefail
build=${1:-build/dev}
png=${2:-docs/utility-main-window.png}
out="$build/out"
for program in "$out/vexal-hubsim" "$out/Vexal_Configuration_Utility"; do
  [ -x "$program" ] || { echo "screenshot: $program not found; build first" >&2; exit 1; }
done
for tool in xvfb-run xdotool import; do
  command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
"$out/vexal-hubsim" --listen 127.0.0.1:0 --greet --no-control >"$work/hubsim.out" 2>"$work/hubsim.err" &
sim_pid=$!
for _ in $(seq 100); do grep -q '^READY' "$work/hubsim.out" && break; sleep 0.1; done
address=$(sed -n 's/^LISTEN //p' "$work/hubsim.out" | head -n 1)
[ -n "$address" ] || { echo "screenshot: the simulator did not start" >&2; cat "$work/hubsim.err" >&2; exit 1; }

cat >"$work/inside.sh" <<'INSIDE'
#!/usr/bin/env bash
# Runs inside the virtual display.
set -euo pipefail
out=$1 address=$2 png=$3 work=$4
export VEXAL_LOG_DIR="$work"
"$out/Vexal_Configuration_Utility" --interface ethernet --address "${address%:*}" \
  --tcp-port "${address##*:}" --connect >"$work/utility.log" 2>&1 &
app=$!
windows() { xdotool search --onlyvisible --name '^Vexal Utility$' 2>/dev/null | wc -l; }
# The main window and the connect message: two windows of that name.
for _ in $(seq 200); do [ "$(windows)" -ge 2 ] && break; sleep 0.1; done
[ "$(windows)" -ge 2 ] || { echo "screenshot: no connect message appeared" >&2; cat "$work/utility.log" >&2; kill "$app"; exit 1; }
xdotool key Return
for _ in $(seq 50); do [ "$(windows)" -eq 1 ] && break; sleep 0.1; done
sleep 0.5
window=$(xdotool search --onlyvisible --name '^Vexal Utility$' | head -n 1)
import -window "$window" "$png"
# Leave by the keyboard, as a user would: Escape takes the normal way out.
xdotool key --window "$window" Escape
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then echo "screenshot: the utility did not exit" >&2; kill "$app"; exit 1; fi
wait "$app"
INSIDE
mkdir -p "$(dirname "$png")"
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/inside.sh" "$out" "$address" "$(realpath -m "$png")" "$work"
echo "Wrote $png"
