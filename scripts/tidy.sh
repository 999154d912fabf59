#!/usr/bin/env bash
# clang-tidy over the library (.clang-tidy: bug patterns, concurrency, needless
# copies), with the compile commands of a build tree (default build/).
#   bash scripts/tidy.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
cd "$root"
[ -f "$build/compile_commands.json" ] || cmake -S . -B "$build" -G Ninja >/dev/null
status=0
for f in src/{base,config,link,serial,usb,flash,job}/*.cpp; do
  clang-tidy -p "$build" --quiet "$f" 2>/dev/null || status=1
done
exit $status
