#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole suite three times: a plain
# build, then AddressSanitizer + UndefinedBehaviorSanitizer, then the threaded
# tests under ThreadSanitizer; then runs every fuzz target for 10 seconds, two at a
# time (scripts/fuzz.sh), a smoke run: longer runs are for scripts/fuzz.sh by hand. Prints the totals at the end.
#
# The paced tests (label "paced": jobs at the line rate of 115200 baud, about two
# minutes, nearly no CPU) of the plain and sanitizer builds run in the background
# while the next build compiles, instead of holding up each suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh

jobs=$(nproc)
werror=ON
# mold links the sanitizer builds' many test programs in a fraction of ld's time.
link_flags=()
if command -v mold >/dev/null; then
  link_flags=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=mold -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=mold)
fi
summary=()
status=0

paced_pids=()
paced_names=()
paced_logs=()

run_suite() {
  local name=$1 dir=$2 label=$3
  shift 3
  echo "=== $name: configure and build ($dir)"
  cmake -S . -B "$dir" -G Ninja -DVELMORA_WERROR=$werror "${link_flags[@]}" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "=== $name: ctest"
  local log="$dir/ctest.log"
  local args=(--test-dir "$dir" --output-on-failure -j "$jobs" --timeout 600)
  if [ -n "$label" ]; then args+=(-L "$label"); else args+=(-LE paced); fi
  if ctest "${args[@]}" 2>&1 | tee "$log"; then :; else status=1; fi
  summary+=("$name: $(grep -E "tests passed|tests failed" "$log" | tail -n 1 || true)")
  if [ -z "$label" ]; then
    echo "=== $name: paced tests, in the background ($dir/ctest-paced.log)"
    ctest --test-dir "$dir" --output-on-failure -j 2 --timeout 600 -L paced \
      >"$dir/ctest-paced.log" 2>&1 &
    paced_pids+=($!)
    paced_names+=("$name paced")
    paced_logs+=("$dir/ctest-paced.log")
  fi
}

wait_paced() {
  local i
  for i in "${!paced_pids[@]}"; do
    if wait "${paced_pids[$i]}"; then :; else
      status=1
      cat "${paced_logs[$i]}"
    fi
    summary+=("${paced_names[$i]}: $(grep -E "tests passed|tests failed" "${paced_logs[$i]}" | tail -n 1 || true)")
  done
}

run_suite "plain" build "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite "asan+ubsan" build-asan "" -DCMAKE_BUILD_TYPE=Debug \
  "-DVELMORA_SANITIZE=address;undefined" -DVELMORA_BUILD_BENCH=OFF
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  run_suite "tsan" build-tsan threaded -DCMAKE_BUILD_TYPE=Debug \
  -DVELMORA_SANITIZE=thread -DVELMORA_BUILD_BENCH=OFF -DVELMORA_BUILD_APP=OFF \
  -DVELMORA_THREADED_TESTS_ONLY=ON

# A fault a fuzz target finds fails the run; its input is in fuzz/out/.
echo "=== fuzz: every target for 10 s, two at a time"
mkdir -p fuzz/out
if SECONDS_PER_TARGET=10 FUZZ_JOBS=2 bash scripts/fuzz.sh 2>&1 | tee fuzz/out/fuzz.log; then :; else status=1; fi
fuzz_line=$(grep -E "^fuzz: " fuzz/out/fuzz.log | tail -n 1 || true)
summary+=("${fuzz_line:-fuzz: no result (see fuzz/out/fuzz.log)}")
wait_paced

echo
echo "=== totals"
for line in "${summary[@]}"; do echo "$line"; done
exit $status
