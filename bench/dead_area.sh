#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What a dead area costs the export of a recording from a disk: failing reads and wall time
# for dead areas of 1, 10, 100 and 1000 HOJINs, each read that touches the area taking 1 s,
# as a real disk's retries (and the kernel's) make a failing read cost seconds.
#
# The disk is the test harness's (tests/support/failing_disk_fs.py): the image served by a
# FUSE file system that fails and delays chosen sectors, attached read-only as a loop
# device with direct I/O, so every read of the device reaches it and is logged. Needs root,
# /dev/fuse, losetup and python3-fusepy.
#
#   bench/dead_area.sh [-b BUILD] [-w WORK] [-d SECONDS] [-s "1 10 100 1000"] [-c CLI]
#
#   -b  the Release tree (default ../build-bench)   -w  work folder (default: temporary)
#   -d  the delay of a read touching the area, in seconds (default 1)
#   -s  the sizes of the dead area, in HOJINs        -c  another korvelo-cli to compare
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build="$here/../../build-bench"
work=""
delay=1
sizes="1 10 100 1000"
cli=""
while getopts "b:w:d:s:c:" option; do
  case $option in
    b) build=$OPTARG ;;
    w) work=$OPTARG ;;
    d) delay=$OPTARG ;;
    s) sizes=$OPTARG ;;
    c) cli=$OPTARG ;;
    *) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 2 ;;
  esac
done

# shellcheck source=bench/common.sh
source "$here/common.sh"
require_programs korvelo-cli korvelo-mkdisk korvelo-bench-ranges
[[ $(id -u) == 0 ]] || { echo "dead_area.sh: a FUSE mount and a loop device need root" >&2; exit 2; }
/usr/bin/python3 -c "import fusepy" 2>/dev/null || { echo "dead_area.sh: python3-fusepy is missing" >&2; exit 2; }
given=$work
make_work_folder korvelo-dead-area
cli=${cli:-$bin/korvelo-cli}

first=100      # the dead area begins at this HOJIN
hojins=2200    # room for the largest area, the jump beyond it and the trim back
hojin_bytes=$((65 * 512))
echo "== a recording of $hojins HOJINs in $work; each read touching the dead area takes $delay s"
image="$work/dead.img"
"$bin/korvelo-mkdisk" --preset bench --bench-bytes $((hojins * hojin_bytes)) -o "$image"
"$bin/korvelo-bench-ranges" recording --preset bench --bench-bytes $((hojins * hojin_bytes)) \
  >"$work/ranges.txt"

mkdir -p "$work/mnt"
: >"$work/control"
: >"$work/reads.log"
/usr/bin/python3 "$here/../tests/support/failing_disk_fs.py" "$image" "$work/control" \
  "$work/reads.log" "$work/mnt" &
server=$!
loop=""
cleanup() {
  [[ -n "$loop" ]] && losetup --detach "$loop" 2>/dev/null || true
  fusermount3 -u "$work/mnt" 2>/dev/null || umount -l "$work/mnt" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
}
trap 'cleanup; if [[ -z "$given" ]]; then rm -rf "$work"; fi' EXIT
for _ in $(seq 200); do [[ -f "$work/mnt/disk.img" ]] && break; sleep 0.05; done
loop=$(losetup --find --show --read-only --direct-io=on --sector-size 512 "$work/mnt/disk.img")
udevadm settle --timeout=5 2>/dev/null || true

# The disk sectors of HOJINs FIRST ... FIRST+COUNT-1: the recording's ranges in file order,
# cut where the HOJINs lie; one "fail" and one "slow" line per piece.
control_for() {
  awk -v from=$(((first - 1) * hojin_bytes)) -v to=$(((first - 1 + $1) * hojin_bytes)) \
      -v ms=$((delay * 1000)) '
    { start = at; at += $2
      lo = (from > start ? from : start); hi = (to < at ? to : at)
      if (lo < hi) {
        sector = ($1 + lo - start) / 512; count = (hi - lo) / 512
        printf "fail %d %d\nslow %d %d %d\n", sector, count, sector, count, ms
      } }' "$work/ranges.txt"
}

printf '%-10s %14s %14s %10s %10s  %s\n' "dead area" "failing reads" "of them trim" "wall s" "exit" \
  "left not tried"
for size in $sizes; do
  rm -rf "$work/out" && mkdir "$work/out"
  control_for "$size" >"$work/control.new" && mv "$work/control.new" "$work/control"
  : >"$work/reads.log"
  start=$(date +%s.%N)
  status=0
  "$cli" --drive "$loop" export 0 -o "$work/out" >/dev/null 2>"$work/err.txt" || status=$?
  end=$(date +%s.%N)
  failing=$(grep -vc ' ok$' "$work/reads.log" || true)
  trim=$(grep -o 'nachgelesen: [0-9]* lesbar, [0-9]* nicht' "$work/err.txt" | awk '{ print $4 }' || true)
  left=$(grep -o '[0-9]* Hojins bleiben nicht versucht' "$work/err.txt" | awk '{ print $1 }' || true)
  printf '%-10s %14s %14s %10.1f %10s  %s\n' "$size" "$failing" "${trim:-0}" \
    "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" "$status" "${left:-0}"
done
