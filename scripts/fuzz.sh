#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) in build-fuzz/ and runs
# each for SECONDS_PER_TARGET seconds (default 60) on its seed corpus, FUZZ_JOBS
# targets at a time (default 1).
#   bash scripts/fuzz.sh                 all targets (the list below)
#   bash scripts/fuzz.sh ptt usb_link    these targets
# New inputs go to fuzz/out/corpus/<target>/, logs and findings to fuzz/out/. A
# fuzz/<target>.dict is given to its target as a dictionary.
# Exits 1 when a target found a fault (or did not run); the last line counts them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

seconds=${SECONDS_PER_TARGET:-60}
jobs=${FUZZ_JOBS:-1}
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(ptt ini boot_block settings catalogue dfu_reply socket_reply usb_link loader_answer
    manifest health_since port_text home station_rows pending_rows sim_options sim_frame
    sim_request since_time loader_ids area)
fi

link_flags=()
if command -v mold >/dev/null; then link_flags=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=mold); fi
CC=clang CXX=clang++ cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "${link_flags[@]}" >/dev/null
cmake --build build-fuzz -j 2 --target "${targets[@]/#/fuzz_}"

mkdir -p fuzz/out
# The targets' scratch files go to memory, and go when the run ends.
scratch_parent=/dev/shm
if [ ! -w "$scratch_parent" ]; then scratch_parent=${TMPDIR:-/tmp}; fi
TMPDIR=$(mktemp -d "$scratch_parent/velmora-fuzz.XXXXXX")
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT

run_one() {
  local t=$1
  local args=(-max_total_time="$seconds" -max_len=20000 -timeout=10 -rss_limit_mb=2048
    -artifact_prefix="fuzz/out/$t-" -print_final_stats=1)
  if [ -f "fuzz/$t.dict" ]; then args+=(-dict="fuzz/$t.dict"); fi
  mkdir -p "fuzz/out/corpus/$t"
  ./build-fuzz/fuzz_"$t" "${args[@]}" "fuzz/out/corpus/$t" "fuzz/corpus/$t" \
    >"fuzz/out/$t.log" 2>&1
}

report() {
  local t=$1 rc=$2
  echo "=== fuzz_$t for ${seconds}s"
  grep -E 'Done|ERROR|SUMMARY|stat::number_of_executed_units|stat::average_exec_per_sec' \
    "fuzz/out/$t.log" || true
  if [ "$rc" -ne 0 ]; then
    echo "fuzz_$t found a fault (exit $rc): see fuzz/out/$t.log"
  fi
}

declare -A running=()  # pid -> target
failed=()
# Waits for one running target to end and reports it.
reap() {
  local rc=0 done_pid
  wait -n -p done_pid "${!running[@]}" || rc=$?
  report "${running[$done_pid]}" "$rc"
  if [ "$rc" -ne 0 ]; then failed+=("${running[$done_pid]}"); fi
  unset "running[$done_pid]"
}
for t in "${targets[@]}"; do
  while [ ${#running[@]} -ge "$jobs" ]; do
    reap
  done
  run_one "$t" &
  running[$!]=$t
done
while [ ${#running[@]} -gt 0 ]; do
  reap
done

echo "fuzz: ${#targets[@]} targets for ${seconds}s each, ${#failed[@]} found a fault${failed[*]:+: ${failed[*]}}"
[ ${#failed[@]} -eq 0 ]
