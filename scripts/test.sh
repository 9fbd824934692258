#!/usr/bin/env bash
# Builds everything and runs every test: the normal build, the sanitizer build
# and a bounded fuzzing run. Each stage has a time budget and prints its time.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
jobs=$(nproc)
test_jobs=$(( jobs * 3 ))   # most tests wait on time-outs rather than compute
build_root=${VEXAL_BUILD_ROOT:-$top/build}
overall_start=$SECONDS

stage() {  # stage NAME BUDGET_SECONDS COMMAND...
  local name=$1 budget=$2; shift 2
  local start=$SECONDS
  echo "=== stage $name (budget ${budget}s) ==="
  if timeout --foreground -k 30 "$budget" bash "$top/scripts/test.sh" --step "$@"; then
    echo "=== stage $name: ok in $((SECONDS - start))s ==="
  else
    local rc=$?
    echo "=== stage $name: FAILED (exit $rc) after $((SECONDS - start))s ==="
    exit "$rc"
  fi
}

configure_and_build() {  # DIR [cmake args...]; BUILD_TARGET narrows the build
  local dir=$1; shift
  cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$jobs" ${BUILD_TARGET:+--target "$BUILD_TARGET"}
}

run_ctest() {  # DIR
  ctest --test-dir "$1" -j "$test_jobs" --output-on-failure --timeout 300 --no-tests=error
}

fuzz_all() {  # DIR TOTAL_SECONDS: one time cap for all targets, shared evenly, at least 5 s each
  local dir=$1 total=$2 targets=() f
  for f in "$dir"/out/fuzz_*; do
    [ -x "$f" ] && targets+=("$f")
  done
  if [ ${#targets[@]} = 0 ]; then
    echo "no fuzz targets built"
    return 0
  fi
  local each=$(( total / ${#targets[@]} ))
  [ "$each" -ge 5 ] || each=5
  mkdir -p "$dir/artifacts"
  for f in "${targets[@]}"; do
    local name corpus seeds log
    name=$(basename "$f")
    corpus="$dir/corpus/$name"
    log="$dir/$name.log"
    mkdir -p "$corpus"
    seeds="$top/fuzz/${name#fuzz_}/corpus"
    [ -d "$seeds" ] && cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
    echo "fuzzing $name for ${each}s"
    if "$f" -max_total_time="$each" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$dir/artifacts/$name-" \
        "$corpus" >"$log" 2>&1; then
      grep -E '^(#[0-9]+.*(DONE|pulse)|Done )' "$log" | tail -n 2 || true
    else
      tail -n 60 "$log"  # the report, and where the input that broke it was kept
      return 1
    fi
  done
}

# ThreadSanitizer: libraries, simulator and their tests only (Qt is not built
# for it). Its shadow memory needs a fixed layout: run without address-space
# randomisation where setarch can switch it off (child processes inherit it).
tsan_all() {  # DIR
  configure_and_build "$1" -DVEXAL_TSAN=ON -DVEXAL_BUILD_BENCH=OFF
  local norandom=()
  setarch "$(uname -m)" -R true 2>/dev/null && norandom=(setarch "$(uname -m)" -R)
  TSAN_OPTIONS=halt_on_error=1 "${norandom[@]}" ctest --test-dir "$1" -j "$test_jobs" \
    --output-on-failure --timeout 300 --no-tests=error
}

# The soak program under valgrind's memcheck: a short run with faults, a few
# hubs, every session closed and opened again after each round. A memory
# error or a definite or indirect leak fails the stage, as does a failed check
# of the soak itself (resident memory is valgrind's own there: not checked).
# The simulators it starts run outside valgrind.
soak_valgrind() {  # DIR
  valgrind --error-exitcode=3 --leak-check=full --errors-for-leak-kinds=definite,indirect \
    --suppressions="$top/bench/soak/valgrind.supp" \
    "$1/out/vexal_soak" --hubs 2 --seconds 20 --cycle-rounds 1 --no-rss-check
}

# The Windows build: cross-compiled with MinGW-w64 (only what its tests and
# the archive need), its tests under Wine against the Linux build's simulator
# (the harness makes one Wine prefix for the run), and the release archive.
windows_all() {  # DIR LINUX_BUILD_DIR
  local dir=$1 linux=$2
  cmake -S "$top" -B "$dir" -G Ninja --toolchain "$top/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DVEXAL_WERROR=ON -DVEXAL_BUILD_BENCH=OFF -DVEXAL_LINUX_BUILD_DIR="$linux" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 300 --no-tests=error
  (cd "$dir" && rm -f vexal-*-win64.zip && cpack -G ZIP >/dev/null)
  local zip listed expected
  zip=$(ls "$dir"/vexal-*-win64.zip)
  listed=$(cmake -E tar tf "$zip" | sed 's|^[^/]*/||' | grep -v '/$' | LC_ALL=C sort | tr '\n' ' ')
  expected="LICENSE.txt README.txt Vexal_Configuration_Utility.exe ZamoCfg.dll include/zamocfg.h include/zamoport.h lib/ZamoCfg.lib vexalcfg.exe zamoport.dll "
  if [ "$listed" != "$expected" ]; then
    echo "$zip holds: $listed"
    echo "expected:   $expected"
    return 1
  fi
  echo "release archive: $zip"
}

# Every C and C++ source as .clang-format lays it out (clang-format of
# Debian 12, the one scripts/deps.sh installs).
format_check() {
  git -C "$top" ls-files -z '*.c' '*.cpp' '*.h' | (cd "$top" && xargs -0 clang-format --dry-run --Werror)
}

# Internal: run one step function in a child process, so timeout can bound it.
if [ "${1:-}" = "--step" ]; then
  shift
  "$@"
  exit $?
fi

stage install 900 bash "$top/scripts/deps.sh"
stage format 120 format_check
stage build 1200 configure_and_build "$build_root/ci" -DVEXAL_WERROR=ON
stage tests 420 run_ctest "$build_root/ci"
stage package 300 bash "$top/packaging/check-package.sh" "$build_root/ci"
stage soak-valgrind 240 soak_valgrind "$build_root/ci"
stage windows 600 windows_all "$build_root/win" "$build_root/ci"
stage sanitizer-build 1500 configure_and_build "$build_root/asan" -DVEXAL_SANITIZE=ON -DVEXAL_BUILD_BENCH=OFF
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
stage sanitizer-tests 480 run_ctest "$build_root/asan"
unset ASAN_OPTIONS UBSAN_OPTIONS
stage tsan 900 tsan_all "$build_root/tsan"
export BUILD_TARGET=fuzz_all
stage fuzz-build 300 configure_and_build "$build_root/fuzz" -DVEXAL_BUILD_FUZZ=ON -DBUILD_TESTING=OFF \
  -DVEXAL_BUILD_BENCH=OFF -DVEXAL_WERROR=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
unset BUILD_TARGET
stage fuzz $(( ${VEXAL_FUZZ_SECONDS:-150} + 120 )) fuzz_all "$build_root/fuzz" "${VEXAL_FUZZ_SECONDS:-150}"
echo "all stages passed in $((SECONDS - overall_start))s"
