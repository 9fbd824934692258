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
# (the harness makes one Wine prefix for the run). Its archive also takes the
# 32-bit build's files (stage windows-archive).
windows_configure() {  # DIR TOOLCHAIN LINUX_BUILD_DIR [cmake args...]
  local dir=$1 toolchain=$2 linux=$3; shift 3
  cmake -S "$top" -B "$dir" -G Ninja --toolchain "$top/cmake/$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DVEXAL_WERROR=ON -DVEXAL_BUILD_BENCH=OFF -DVEXAL_LINUX_BUILD_DIR="$linux" "$@" >/dev/null
}

windows_all() {  # DIR LINUX_BUILD_DIR WIN32_BUILD_DIR
  local dir=$1 linux=$2 win32=$3
  windows_configure "$dir" mingw-w64-x86_64.cmake "$linux" -DVEXAL_WINDOWS_OTHER_BUILD_DIR="$win32"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 300 --no-tests=error
}

# The 32-bit Windows build for 32-bit host programs: the same targets, the
# static checks of its files (PE32, exports, imports, the __stdcall returns,
# the structures' layout), and its platform, session and host-program tests
# under 32-bit Wine where Debian's wine32 is installed (scripts/deps.sh tries;
# WINE32_REPORT holds why it did not install). The Linux build's simulator
# serves both widths.
windows32_all() {  # DIR LINUX_BUILD_DIR WINE32_REPORT
  local dir=$1 linux=$2 report=$3
  windows_configure "$dir" mingw-w64-i686.cmake "$linux"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 300 --no-tests=error
  if [ ! -x /usr/lib/wine/wine ]; then
    echo "32-bit programs NOT run under Wine (win32_platform, win32_session, host_program_wine disabled):"
    if [ -s "$report" ]; then
      echo "  $(cat "$report")"
    else
      echo "  no 32-bit Wine loader /usr/lib/wine/wine (Debian's wine32:i386 is not installed)"
    fi
  fi
}

# The release archive: x64/ and x86/ with each width's DLLs, programs and
# import library, the headers and the two texts.
windows_archive() {  # WIN64_BUILD_DIR
  local dir=$1 zip listed expected width f
  (cd "$dir" && rm -f vexal-*-windows.zip && cpack -G ZIP >/dev/null)
  zip=$(ls "$dir"/vexal-*-windows.zip)
  listed=$(cmake -E tar tf "$zip" | sed 's|^[^/]*/||' | grep -v '/$' | LC_ALL=C sort | tr '\n' ' ')
  expected="LICENSE.txt README.txt include/zamocfg.h include/zamoport.h "
  for width in x64 x86; do
    for f in Vexal_Configuration_Utility.exe ZamoCfg.dll ZamoCfg.lib vexalcfg.exe zamoport.dll; do
      expected+="$width/$f "
    done
  done
  if [ "$listed" != "$expected" ]; then
    echo "$zip holds: $listed"
    echo "expected:   $expected"
    return 1
  fi
  # Each folder holds its own width (objdump's name of the format).
  local unpacked
  unpacked=$(mktemp -d)
  (cd "$unpacked" && cmake -E tar xf "$zip")
  for f in "$unpacked"/*/x64/*.dll "$unpacked"/*/x64/*.exe; do
    x86_64-w64-mingw32-objdump -f "$f" | grep -q 'file format pei-x86-64' || { echo "$f is not 64-bit"; return 1; }
  done
  for f in "$unpacked"/*/x86/*.dll "$unpacked"/*/x86/*.exe; do
    i686-w64-mingw32-objdump -f "$f" | grep -q 'file format pei-i386' || { echo "$f is not 32-bit"; return 1; }
  done
  rm -rf "$unpacked"
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

export VEXAL_WINE32_REPORT=$build_root/wine32-not-installed.txt
mkdir -p "$build_root"
stage install 900 bash "$top/scripts/deps.sh"
stage format 120 format_check
stage build 1800 configure_and_build "$build_root/ci" -DVEXAL_WERROR=ON
stage tests 900 run_ctest "$build_root/ci"
stage package 300 bash "$top/packaging/check-package.sh" "$build_root/ci"
stage soak-valgrind 240 soak_valgrind "$build_root/ci"
stage windows 900 windows_all "$build_root/win" "$build_root/ci" "$build_root/win32"
stage windows32 600 windows32_all "$build_root/win32" "$build_root/ci" "$VEXAL_WINE32_REPORT"
stage windows-archive 120 windows_archive "$build_root/win"
stage sanitizer-build 1800 configure_and_build "$build_root/asan" -DVEXAL_SANITIZE=ON -DVEXAL_BUILD_BENCH=OFF
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
stage sanitizer-tests 900 run_ctest "$build_root/asan"
unset ASAN_OPTIONS UBSAN_OPTIONS
stage tsan 1500 tsan_all "$build_root/tsan"
export BUILD_TARGET=fuzz_all
stage fuzz-build 420 configure_and_build "$build_root/fuzz" -DVEXAL_BUILD_FUZZ=ON -DBUILD_TESTING=OFF \
  -DVEXAL_BUILD_BENCH=OFF -DVEXAL_WERROR=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
unset BUILD_TARGET
stage fuzz $(( ${VEXAL_FUZZ_SECONDS:-150} + 120 )) fuzz_all "$build_root/fuzz" "${VEXAL_FUZZ_SECONDS:-150}"
echo "all stages passed in $((SECONDS - overall_start))s"
