#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Whole-process comparison of korvelo-cli with the plain copy of the same bytes.
#
# Builds a sample disk whose one recording holds BYTES of real data in fragmented block runs,
# then, RUNS times and side by side (the machine may be busy: only ratios mean something):
#   export     korvelo-cli --drive IMG export 0 -o DIR               (HOJIN warnings off)
#   export-w   the same with --warnings                              (every HOJIN check on)
#   dd         one dd per contiguous run of the recording, appended into one file, then
#              sync -d of that file (the export syncs its file at the end too)
#   dd+sum     the same dd, then sha256sum of the file it wrote: what a user would do by hand
#              to have a check sum (the export takes two, of the file and of its HOJIN data)
#   copy       the same ranges copied by one process in 1 MiB pieces (the strictest reference)
# and prints the median ratios, the peak resident memory of the export (also for a recording
# a sixteenth as long: the figure must not grow with the length), and the start-up ratio:
# korvelo-cli search on a disk with File-FAT-Size 255 (the size probe's worst case) against
# dd of the same 255 A-sectors the probe reads.
#
# Usage: bench/export_ratio.sh [-b BUILD_DIR] [-n RUNS] [-s BYTES] [-w WORK_DIR] [-c]
#                              [-l] [-f MS] [-L BUSY]
#   -b  Release build without sanitizers (default: build-bench beside the source folder)
#   -n  runs per figure (default 5)
#   -s  bytes of recording data (default 1073741824, 1 GiB)
#   -w  folder for the images and the copies; both copies write there (default: a new
#       folder under ${TMPDIR:-/tmp}, removed at the end)
#   -c  cold: drop the image's pages from the page cache before every timed command
#       (only that file's pages; with -l or -f all of the system's caches), so that the
#       disk's read speed counts
#   -l  read from a read-only loop device of the image with direct I/O, as a block device
#       is read, against dd iflag=direct bs=1M of the same runs from that device; only
#       export and dd, in alternating pairs (needs root and losetup)
#   -f  the same device over the failing-disk harness's FUSE file system
#       (tests/support/failing_disk_fs.py), every request that reaches it MS milliseconds
#       slower (needs root, /dev/fuse and python3-fusepy; implies -l)
#   -L  BUSY processes that keep a core busy while the runs are timed (load)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build="$here/../../build-bench"
runs=5
bytes=1073741824
work=""
cold=0
device=0
slow_ms=""
busy=0
while getopts "b:n:s:w:clf:L:h" option; do
  case $option in
    b) build=$OPTARG ;;
    n) runs=$OPTARG ;;
    s) bytes=$OPTARG ;;
    w) work=$OPTARG ;;
    c) cold=1 ;;
    l) device=1 ;;
    f) device=1; slow_ms=$OPTARG ;;
    L) busy=$OPTARG ;;
    *) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 2 ;;
  esac
done

# shellcheck source=bench/common.sh
source "$here/common.sh"
require_programs korvelo-cli korvelo-mkdisk korvelo-bench-ranges
given=$work
make_work_folder korvelo-bench
cli="$bin/korvelo-cli"
ranges="$bin/korvelo-bench-ranges"

fail() { echo "export_ratio.sh: $*" >&2; exit 1; }

# Drops the cached pages of one file only (GNU dd: nocache with count=0 covers the whole file).
drop_cache() { dd if="$1" iflag=nocache count=0 status=none; }

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Runs a command with its output discarded; prints "wall cpu" in seconds (children included).
timed() {
  local TIMEFORMAT='%3R %3U %3S' report
  report=$( { time "$@" >/dev/null 2>&1; } 2>&1 ) || fail "failed: $*"
  awk '{ printf "%s %.3f\n", $1, $2 + $3 }' <<<"$report"
}

# Peak resident memory (KiB) of a command: /usr/bin/time when present, else VmHWM polled.
peak_rss() {
  if [[ -x /usr/bin/time ]]; then
    /usr/bin/time -f '%M' -o "$work/rss.txt" "$@" >/dev/null 2>&1 || fail "failed: $*"
    tail -n 1 "$work/rss.txt"
    return
  fi
  "$@" >/dev/null 2>&1 &
  local pid=$! peak=0 now
  while kill -0 "$pid" 2>/dev/null; do
    now=$(awk '/^VmHWM/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
    [[ -n "$now" && "$now" -gt "$peak" ]] && peak=$now
    sleep 0.005
  done
  wait "$pid" || fail "failed: $*"
  echo "$peak"
}

dd_ranges() {  # IMAGE RANGES OUTPUT: one dd per range, appended
  local offset length
  while read -r offset length; do
    dd if="$1" of="$3" bs=1M iflag=skip_bytes,count_bytes skip="$offset" count="$length" \
       oflag=append conv=notrunc status=none
  done <"$2"
}
dd_reference() { dd_ranges "$1" "$2" "$3"; sync -d "$3"; }
dd_sum_reference() { dd_reference "$@"; sha256sum "$3"; }
export -f dd_ranges dd_reference dd_sum_reference

export_once() {  # IMAGE [--warnings]: a fresh target folder, then the export
  rm -rf "$work/out"
  mkdir "$work/out"
  [[ $cold == 1 ]] && drop_cache "$1"
  timed "$cli" --drive "$1" export 0 -o "$work/out" ${2:-}
}
reference_once() {  # IMAGE RANGES dd|dd+sum|copy
  rm -f "$work/ref.bin"
  [[ $cold == 1 ]] && drop_cache "$1"
  if [[ $3 == dd ]]; then
    timed bash -c 'dd_reference "$@"' _ "$1" "$2" "$work/ref.bin"
  elif [[ $3 == dd+sum ]]; then
    timed bash -c 'dd_sum_reference "$@"' _ "$1" "$2" "$work/ref.bin"
  else
    timed bash -c '"$0" copy "$1" "$2" <"$3"' "$ranges" "$1" "$work/ref.bin" "$2"
  fi
}

echo "== building a sample disk with $bytes bytes of recording data in $work"
image="$work/bench.img"
"$bin/korvelo-mkdisk" --preset bench --bench-bytes "$bytes" -o "$image"
"$ranges" recording --preset bench --bench-bytes "$bytes" >"$work/ranges.txt"
echo "   $(wc -l <"$work/ranges.txt") contiguous runs"

busy_pids=()
start_load() {
  for ((k = 0; k < busy; k++)); do
    (while :; do :; done) &
    busy_pids+=($!)
  done
}
stop_load() {
  for pid in "${busy_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  busy_pids=()
}

if [[ $device == 1 ]]; then
  [[ $(id -u) == 0 ]] || fail "a loop device needs root"
  source_file=$image
  server="" loop=""
  if [[ -n $slow_ms ]]; then
    /usr/bin/python3 -c "import fusepy" 2>/dev/null || fail "python3-fusepy is missing"
    mkdir -p "$work/mnt"
    echo "slow 0 $(( $(stat -c %s "$image") / 512 )) $slow_ms" >"$work/control"
    : >"$work/reads.log"
    /usr/bin/python3 "$here/../tests/support/failing_disk_fs.py" "$image" "$work/control" \
      /dev/null "$work/mnt" &
    server=$!
    for _ in $(seq 200); do [[ -f "$work/mnt/disk.img" ]] && break; sleep 0.05; done
    source_file="$work/mnt/disk.img"
  fi
  cleanup_device() {
    stop_load
    [[ -n "$loop" ]] && losetup --detach "$loop" 2>/dev/null || true
    if [[ -n "$server" ]]; then
      fusermount3 -u "$work/mnt" 2>/dev/null || umount -l "$work/mnt" 2>/dev/null || true
      wait "$server" 2>/dev/null || true
    fi
    if [[ -z "$given" ]]; then rm -rf "$work"; fi
  }
  trap cleanup_device EXIT
  loop=$(losetup --find --show --read-only --direct-io=on --sector-size 512 "$source_file")
  udevadm settle --timeout=5 2>/dev/null || true
  drop_all() { sync; echo 3 >/proc/sys/vm/drop_caches; }
  device_export() {
    rm -rf "$work/out" && mkdir "$work/out"
    [[ $cold == 1 ]] && drop_all
    timed "$cli" --drive "$loop" export 0 -o "$work/out"
  }
  device_dd() {
    rm -f "$work/ref.bin"
    [[ $cold == 1 ]] && drop_all
    timed bash -c 'dd_direct "$@"' _ "$loop" "$work/ranges.txt" "$work/ref.bin"
  }
  dd_direct() {  # DEVICE RANGES OUTPUT: one dd iflag=direct per range, appended, then synced
    local offset length
    while read -r offset length; do
      dd if="$1" of="$3" bs=1M iflag=direct,skip_bytes,count_bytes skip="$offset" \
         count="$length" oflag=append conv=notrunc status=none
    done <"$2"
    sync -d "$3"
  }
  export -f dd_direct
  echo "== from $loop (read-only, direct I/O${slow_ms:+, over FUSE with $slow_ms ms per request})"
  device_export >/dev/null
  device_dd >/dev/null
  tail -c +1625 "$work/out/"*.hav | cmp -s - "$work/ref.bin" || fail "export and reference differ"
  : >"$work/results.txt"
  start_load
  for ((i = 1; i <= runs; i++)); do
    e=$(device_export)
    d=$(device_dd)
    echo "$e $d" >>"$work/results.txt"
    printf '   run %d: export %s s, dd %s s (wall)\n' "$i" "${e% *}" "${d% *}"
  done
  stop_load
  ratio() { awk -v a="$1" -v b="$2" '{ printf "%.3f\n", $a / $b }' "$work/results.txt" | median; }
  column() { awk -v a="$1" '{ print $a }' "$work/results.txt" | median; }
  echo "== medians: export $(column 1) s (CPU $(column 2) s), dd iflag=direct $(column 3) s (CPU $(column 4) s)"
  echo "   export ÷ dd: $(ratio 1 3)  ($(ratio 2 4))   target <= 1.15"
  echo "   export CPU per GiB: $(awk -v c="$(column 2)" -v b="$bytes" 'BEGIN { printf "%.2f", c / (b / 1073741824) }') s"
  exit 0
fi

# Warm the cache with the recording's bytes only (reading the sparse rest would fill it
# with zeros), and check once that the export holds exactly the reference's bytes.
"$ranges" copy "$image" /dev/null <"$work/ranges.txt"
export_once "$image" >/dev/null
reference_once "$image" "$work/ranges.txt" dd >/dev/null
tail -c +1625 "$work/out/"*.hav | cmp -s - "$work/ref.bin" || fail "export and reference differ"

: >"$work/results.txt"
start_load
for ((i = 1; i <= runs; i++)); do
  e=$(export_once "$image")
  d=$(reference_once "$image" "$work/ranges.txt" dd)
  w=$(export_once "$image" --warnings)
  c=$(reference_once "$image" "$work/ranges.txt" copy)
  s=$(reference_once "$image" "$work/ranges.txt" dd+sum)
  echo "$e $d $w $c $s" >>"$work/results.txt"
  printf '   run %d: export %s s, dd %s s, export --warnings %s s, copy %s s, dd + sha256sum %s s (wall)\n' \
    "$i" "${e% *}" "${d% *}" "${w% *}" "${c% *}" "${s% *}"
done
stop_load
ratio() { awk -v a="$1" -v b="$2" '{ printf "%.3f\n", $a / $b }' "$work/results.txt" | median; }
# Columns: 1/2 export wall/cpu, 3/4 dd, 5/6 export --warnings, 7/8 copy, 9/10 dd + sha256sum.
echo "== median ratios (wall clock; CPU time in brackets); the export takes its two check sums"
echo "   export ÷ dd:             $(ratio 1 3)  ($(ratio 2 4))   target <= 1.05"
echo "   export ÷ (dd + sha256sum): $(ratio 1 9)  ($(ratio 2 10))   target <= 1.0"
echo "   export --warnings ÷ dd:  $(ratio 5 3)  ($(ratio 6 4))   target <= 1.25"
echo "   export ÷ copy:           $(ratio 1 7)  ($(ratio 2 8))"
echo "   export --warnings ÷ copy: $(ratio 5 7)  ($(ratio 6 8))"
cpu_per_gib() {
  awk -v a="$1" '{ print $a }' "$work/results.txt" | median |
    awk -v b="$bytes" '{ printf "%.2f", $1 / (b / 1073741824) }'
}
echo "   CPU per GiB: export $(cpu_per_gib 2) s, dd $(cpu_per_gib 4) s   target (export) <= 1.6 s"

echo "== peak resident memory of the export"
rm -rf "$work/out" && mkdir "$work/out"
rss_long=$(peak_rss "$cli" --drive "$image" export 0 -o "$work/out" --warnings)
rm -rf "$work/out" "$work/ref.bin" "$image"
short_image="$work/short.img"
"$bin/korvelo-mkdisk" --preset bench --bench-bytes $((bytes / 16)) -o "$short_image"
mkdir "$work/out"
rss_short=$(peak_rss "$cli" --drive "$short_image" export 0 -o "$work/out" --warnings)
rm -rf "$work/out" "$short_image"
echo "   $bytes bytes: ${rss_long} KiB; $((bytes / 16)) bytes: ${rss_short} KiB   target < 32768 KiB"

echo "== start-up: search with File-FAT-Size 255 ÷ dd of the 255 A-sectors the probe reads"
"$ranges" fat255 >"$work/fat255.json"
fat_image="$work/fat255.img"
"$bin/korvelo-mkdisk" --json "$work/fat255.json" -o "$fat_image"
"$ranges" probe --json "$work/fat255.json" >"$work/probe.txt"
search_log=$("$cli" --drive "$fat_image" search 2>&1) || fail "search failed: $search_log"
grep -q 'ermittelter "File-FAT-Size": 255' <<<"$search_log" || fail "the probe did not find 255"
: >"$work/startup.txt"
repeat() { local n=$1; shift; for ((k = 0; k < n; k++)); do "$@" >/dev/null 2>&1; done; }
export -f repeat
for ((i = 1; i <= runs; i++)); do
  [[ $cold == 1 ]] && drop_cache "$fat_image"
  s=$(timed bash -c 'repeat 5 "$@"' _ "$cli" --drive "$fat_image" search)
  [[ $cold == 1 ]] && drop_cache "$fat_image"
  d=$(timed bash -c 'repeat 5 dd_ranges "$1" "$2" /dev/null' _ "$fat_image" "$work/probe.txt")
  [[ $cold == 1 ]] && drop_cache "$fat_image"
  c=$(timed bash -c 'repeat 5 "$0" copy "$1" /dev/null <"$2"' "$ranges" "$fat_image" "$work/probe.txt")
  echo "$s $d $c" >>"$work/startup.txt"
  printf '   run %d: 5 x search %s s, 5 x dd %s s, 5 x copy %s s (wall)\n' "$i" "${s% *}" "${d% *}" "${c% *}"
done
startup_ratio() { awk -v a="$1" -v b="$2" '{ printf "%.3f\n", $a / $b }' "$work/startup.txt" | median; }
echo "   search ÷ dd:   $(startup_ratio 1 3)  ($(startup_ratio 2 4))   target <= 1.5"
echo "   search ÷ copy: $(startup_ratio 1 5)  ($(startup_ratio 2 6))"
