#!/usr/bin/env bash
# Pictures of the window: runs it under Xvfb against the simulated phone and saves
# PNGs of the idle window, a paced code upgrade under way, a failed job (with its
# details beside it) and each dialog into DIR, the main states in Chinese and in
# English (*-zh.png, *-en.png), and the station view during a run and after a failure
# (station-running-*.png, station-failed-*.png).
#   bash scripts/screenshot.sh DIR
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: $0 DIR" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
build=${VELMORA_BUILD_DIR:-$root/build}

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S "$root" -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" -j2 --target velmora-window-tour velmora_examples

export LANG=C.UTF-8
export XDG_RUNTIME_DIR=$(mktemp -d)
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
xvfb-run -a -s "-screen 0 1024x768x24" "$build/bin/velmora-window-tour" shots "$out"
# Wide enough for a failure's details beside the window.
xvfb-run -a -s "-screen 0 1280x800x24" "$build/bin/velmora-window-tour" languages "$out"
xvfb-run -a -s "-screen 0 1024x768x24" "$build/bin/velmora-window-tour" station "$out"
echo "pictures in $out"
