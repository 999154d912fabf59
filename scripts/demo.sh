#!/usr/bin/env bash
# The main job in one command: a code upgrade of the sample firmware into a
# simulated phone over a serial line at 921600 baud, then a read-back of the
# whole phone, compared with the firmware files.
#
#   bash scripts/demo.sh
#
# Installs what is missing, builds the two programs it needs (Release, in
# build-demo/), starts velmora-phone-sim on a pseudo-terminal (paced at the
# line rate, a 16 MiB chip of 128 blocks) and drives it with velmora-cli.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-demo"
started=$SECONDS

bash "$root/scripts/install-deps.sh" >/dev/null

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DVELMORA_BUILD_APP=OFF -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target velmora-cli velmora-phone-sim velmora_examples \
  >"$build/demo-build.log" 2>&1 || { cat "$build/demo-build.log"; exit 1; }
build_seconds=$((SECONDS - started))

bin="$build/bin"
sample="$build/examples/sample"
home="$build/demo-home"
rm -rf "$home"
mkdir -p "$home"
# The phone's chip, as the catalogue lists it: 128 blocks of 128 KiB with
# 2048 + 64 byte pages, 2 ms to erase a block, 200 us to program a page.
cat >"$home/FlashChip.ini" <<'INI'
[VERSION]
DATE=2026-12-06
VER=1.0

[EC,10]
BLOCK_NUM=128
BLOCK_SIZE=128
PAGE_SIZE=2048
SPARE_SIZE=64
ERASE_TIME=2000
WRITE_TIME=200
INI

port="$home/phone"
"$bin/velmora-phone-sim" --chip EC,10 --catalogue "$home" --pace --link "$port" \
  >"$home/phone.log" 2>&1 &
phone_pid=$!
trap 'kill "$phone_pid" 2>/dev/null; wait "$phone_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -e "$port" ] && break; sleep 0.05; done
[ -e "$port" ] || { echo "demo: the simulated phone did not start:"; cat "$home/phone.log"; exit 1; }

cli=("$bin/velmora-cli" --home "$home")
run() {  # run NAME ARGS...: one job, its output kept in NAME.log; prints the seconds taken
  local name=$1 t0=$SECONDS
  shift
  if ! "${cli[@]}" "$@" --port "$port" --baud 921600 >"$home/$name.log" 2>&1; then
    echo "demo: $name failed:"
    tail -n 5 "$home/$name.log"
    exit 1
  fi
  echo $((SECONDS - t0))
}

echo "velmora demo: simulated phone on a pseudo-terminal, 921600 baud, 16 MiB chip (built in ${build_seconds} s)"
upgrade_s=$(run upgrade upgrade --ptt "$sample/sample.ptt" --range all)
echo "  upgrade  sample.ptt: boot image and 3 partitions written in ${upgrade_s} s ($(tail -n 1 "$home/upgrade.log"))"
read_s=$(run read read --range ptt)
echo "  read     the phone's partitions read back into $home/upload_nand/ in ${read_s} s ($(tail -n 1 "$home/read.log"))"

upload="$home/upload_nand"
cmp "$sample/code.bin" "$upload/parti_01_code"
cmp "$sample/images/lang.bin" "$upload/parti_02_lang"
cmp "$sample/yaffs.bin" "$upload/parti_03_yaffs"
echo "  compare  code.bin, images/lang.bin, yaffs.bin (with spare bytes): identical to what the phone returned"
echo "  report   $(head -n 1 "$upload/upload.ptt")  Logs: $home/*.log. Done in $((SECONDS - started)) s."
