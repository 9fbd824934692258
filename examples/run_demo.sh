#!/bin/sh
# Starts a simulated hub on loopback, shows its settings with the example
# client, and stops the simulator again.
#   usage: examples/run_demo.sh [BUILD_DIR]      (default: build)
set -eu

build_dir=${1:-build}
out_dir="$build_dir/out"
hubsim="$out_dir/vexal-hubsim"
client="$out_dir/show_hub"
for program in "$hubsim" "$client"; do
    if [ ! -x "$program" ]; then
        echo "run_demo: $program not found; build first (cmake --build $build_dir)" >&2
        exit 1
    fi
done

work_dir=$(mktemp -d)
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work_dir"
}
trap cleanup EXIT INT TERM

# Port 0: the system picks a free port, which the simulator prints as
# "LISTEN 127.0.0.1:<port>" once it is listening.
: >"$work_dir/hubsim.out"
"$hubsim" --listen 127.0.0.1:0 --no-control >"$work_dir/hubsim.out" 2>"$work_dir/hubsim.err" &
sim_pid=$!

address=""
tries=0
while [ -z "$address" ]; do
    if ! kill -0 "$sim_pid" 2>/dev/null; then
        echo "run_demo: the simulator stopped:" >&2
        cat "$work_dir/hubsim.out" "$work_dir/hubsim.err" >&2
        exit 1
    fi
    if grep -q '^READY' "$work_dir/hubsim.out"; then
        address=$(sed -n 's/^LISTEN //p' "$work_dir/hubsim.out" | head -n 1)
        break
    fi
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ]; then
        echo "run_demo: the simulator did not get ready within 10 s" >&2
        exit 1
    fi
    sleep 0.1
done
if [ -z "$address" ]; then
    echo "run_demo: the simulator printed no listening address" >&2
    exit 1
fi

echo "Simulated hub listening on $address"
status=0
"$client" "$address" || status=$?
exit "$status"
