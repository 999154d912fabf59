#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) in build-fuzz/ and runs
# each for SECONDS_PER_TARGET seconds (default 60) on its seed corpus.
#   bash scripts/fuzz.sh                 all targets: ptt ini boot_block
#   bash scripts/fuzz.sh ptt             one target
# New inputs go to fuzz/out/corpus/<target>/, findings to fuzz/out/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

seconds=${SECONDS_PER_TARGET:-60}
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then targets=(ptt ini boot_block); fi

CC=clang CXX=clang++ cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j 2

status=0
for t in "${targets[@]}"; do
  mkdir -p "fuzz/out/corpus/$t"
  echo "=== fuzz_$t for ${seconds}s"
  rc=0
  ./build-fuzz/fuzz_"$t" -max_total_time="$seconds" -max_len=20000 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix="fuzz/out/$t-" -print_final_stats=1 \
    "fuzz/out/corpus/$t" "fuzz/corpus/$t" >"fuzz/out/$t.log" 2>&1 || rc=$?
  grep -E 'Done|ERROR|SUMMARY|stat::number_of_executed_units|stat::average_exec_per_sec' \
    "fuzz/out/$t.log" || true
  if [ $rc -ne 0 ]; then
    echo "fuzz_$t found a fault (exit $rc): see fuzz/out/$t.log"
    status=1
  fi
done
exit $status
