#!/usr/bin/env bash
# Builds everything and shows a simulated hub: starts vexal-hubsim on loopback
# and runs the example client against it.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
bash scripts/deps.sh
build=${VEXAL_BUILD_ROOT:-$top/build}/run
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DVEXAL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
if [ -x examples/run_demo.sh ] || [ -f examples/run_demo.sh ]; then
  exec bash examples/run_demo.sh "$build"
fi
echo "Built into $build/out:"
ls "$build/out"
