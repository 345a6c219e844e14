#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A disk full of recordings: every one of the 2000 directory slots in use (korvelo-mkdisk
# --preset full: mixed lengths, fragmented, the recordings' blocks interleaved over the whole
# 160 GB data area; a sparse image, only the data takes room). Then, RUNS times and side by
# side (the machine may be busy: only ratios and differences mean something):
#   list       korvelo-cli --drive IMG list                   (2000 lines on stdout)
#   dd         one dd (bs=1M) from the directory head to the end of the last slot's entry
#              image: sectors 6598688 .. 6662674, 63987 sectors, every sector list reads
#              from the directory and the unused 29 sectors of each slot in between
#   slots      the head and the 2000 entry images (1536 bytes each) read by one process
#              (list, dd and slots take about 10 ms: each sample is 10 of them in a row)
#   export     korvelo-cli --drive IMG export --all -o DIR   (2000 files, check sums, manifest)
#   copy       the same recordings' bytes read by one process in 1 MiB pieces and appended
#              into one file, synced at the end
# and prints the medians: list ÷ dd, list ÷ slots, the time per file of the export beyond
# the bytes ((export - copy) ÷ 2000, start-up included), the peak resident memory of both
# commands and the window's list (korvelo-bench-gui-list, when built). Last, on a second
# full disk with longer recordings (-r), the read order of export --all: the pread64 calls
# that strace sees, counted by bench/read_order.py against one ascending sweep.
#
# Usage: bench/scale.sh [-b BUILD_DIR] [-n RUNS] [-s BYTES] [-r BYTES] [-w WORK_DIR] [-c]
#   -b  Release build without sanitizers (default: build-bench beside the source folder)
#   -n  runs per figure (default 5)
#   -s  bytes of recording data of all 2000 recordings together (default 268435456, 256 MiB:
#       the recordings are short, so the export's time per file shows beside its bytes)
#   -r  the same for the read-order disk (default 2147483648, 2 GiB: most recordings then
#       have several blocks); 0 leaves the read order out
#   -w  folder for the image and the copies (default: a new folder under ${TMPDIR:-/tmp},
#       removed at the end)
#   -c  cold: drop the image's pages from the page cache before every timed command
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build="$here/../../build-bench"
runs=5
bytes=268435456
order_bytes=2147483648
work=""
cold=0
while getopts "b:n:s:r:w:ch" option; do
  case $option in
    b) build=$OPTARG ;;
    n) runs=$OPTARG ;;
    s) bytes=$OPTARG ;;
    r) order_bytes=$OPTARG ;;
    w) work=$OPTARG ;;
    c) cold=1 ;;
    *) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 2 ;;
  esac
done

# shellcheck source=bench/common.sh
source "$here/common.sh"
require_programs korvelo-cli korvelo-mkdisk korvelo-bench-ranges
make_work_folder korvelo-scale
cli="$bin/korvelo-cli"
ranges="$bin/korvelo-bench-ranges"
recordings=2000

fail() { echo "scale.sh: $*" >&2; exit 1; }

drop_cache() { dd if="$1" iflag=nocache count=0 status=none; }

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Runs a command with its output discarded; prints "wall cpu" in seconds (children included).
timed() {
  local TIMEFORMAT='%3R %3U %3S' report
  report=$( { time "$@" >/dev/null 2>&1; } 2>&1 ) || fail "failed: $*"
  awk '{ printf "%s %.3f\n", $1, $2 + $3 }' <<<"$report"
}

# Peak resident memory (KiB) of a command.
peak_rss() {
  /usr/bin/time -f '%M' -o "$work/rss.txt" "$@" >/dev/null 2>&1 || fail "failed: $*"
  tail -n 1 "$work/rss.txt"
}

echo "== building a disk with $recordings recordings sharing $bytes bytes in $work"
image="$work/full.img"
"$bin/korvelo-mkdisk" --preset full --full-bytes "$bytes" -o "$image"
"$ranges" slots --preset full --full-bytes "$bytes" >"$work/slots.txt"
"$ranges" recordings --preset full --full-bytes "$bytes" >"$work/recordings.txt"
echo "   $(wc -l <"$work/recordings.txt") runs of contiguous data"
# From the head sector to the end of the last slot's entry image.
read -r dd_skip dd_count < <(awk 'NR == 1 { first = $1 } { end = $1 + $2 } END { print first, end - first }' "$work/slots.txt")

# A list takes about 10 ms, mostly starting the process: each sample is 10 in a row (with -c,
# each of them cold), reported per run.
repeat() {
  local n=$1 k; shift
  for ((k = 0; k < n; k++)); do
    [[ $cold == 1 ]] && drop_cache "$image"
    "$@" >/dev/null 2>&1 || return 1
  done
}
per_run() { awk '{ printf "%.4f %.4f\n", $1 / 10, $2 / 10 }'; }
export -f repeat drop_cache
export cold image
list_once() { timed bash -c 'repeat 10 "$@"' _ "$cli" --drive "$image" list | per_run; }
dd_once() {
  timed bash -c 'repeat 10 dd if="$1" of=/dev/null bs=1M iflag=skip_bytes,count_bytes \
    skip="$2" count="$3" status=none' _ "$image" "$dd_skip" "$dd_count" | per_run
}
copy_slots() { "$ranges" copy "$image" /dev/null <"$work/slots.txt"; }
export -f copy_slots
export ranges work
slots_once() { timed bash -c 'repeat 10 copy_slots' | per_run; }
export_once() {
  rm -rf "$work/out"
  [[ $cold == 1 ]] && drop_cache "$image"
  timed "$cli" --drive "$image" export --all -o "$work/out"
}
copy_once() {
  rm -f "$work/ref.bin"
  [[ $cold == 1 ]] && drop_cache "$image"
  timed bash -c '"$0" copy "$1" "$2" <"$3"' "$ranges" "$image" "$work/ref.bin" "$work/recordings.txt"
}

# Warm the cache with what is read, and check once that the list and the files are whole.
"$ranges" copy "$image" /dev/null <"$work/recordings.txt"
listed=$("$cli" --drive "$image" list 2>/dev/null | wc -l)
[[ $listed == "$recordings" ]] || fail "list printed $listed lines, not $recordings"
export_once >/dev/null
[[ $(ls "$work/out"/*.hav | wc -l) == "$recordings" ]] || fail "export --all did not write $recordings files"
copy_once >/dev/null
# The files' names begin with the entry number: in that order, their data is the copy's.
find "$work/out" -name '*.hav' -printf '%f\n' | sort -n |
  while IFS= read -r name; do tail -c +1625 "$work/out/$name"; done | cmp -s - "$work/ref.bin" ||
  fail "the files' data and the copy differ"

: >"$work/results.txt"
for ((i = 1; i <= runs; i++)); do
  l=$(list_once)
  d=$(dd_once)
  s=$(slots_once)
  e=$(export_once)
  c=$(copy_once)
  echo "$l $d $s $e $c" >>"$work/results.txt"
  printf '   run %d: list %s s, dd %s s, slots %s s, export --all %s s, copy %s s (wall)\n' \
    "$i" "${l% *}" "${d% *}" "${s% *}" "${e% *}" "${c% *}"
done
column() { awk -v a="$1" '{ print $a }' "$work/results.txt" | median; }
ratio() { awk -v a="$1" -v b="$2" '{ printf "%.3f\n", $a / $b }' "$work/results.txt" | median; }
per_file() { awk -v a="$1" -v b="$2" -v n="$recordings" '{ printf "%.3f\n", ($a - $b) * 1000 / n }' "$work/results.txt" | median; }
# Columns: 1/2 list wall/cpu, 3/4 dd, 5/6 slots, 7/8 export, 9/10 copy.
echo "== list of $recordings recordings (medians; wall clock, CPU time in brackets)"
echo "   list: $(column 1) s ($(column 2) s), dd: $(column 3) s, slots: $(column 5) s"
echo "   list ÷ dd:    $(ratio 1 3)  ($(ratio 2 4))   target <= 1.5"
echo "   list ÷ slots: $(ratio 1 5)  ($(ratio 2 6))"
echo "== export --all to $recordings files"
echo "   export: $(column 7) s ($(column 8) s), copy of the same bytes: $(column 9) s ($(column 10) s)"
echo "   per file beyond the bytes: $(per_file 7 9) ms ($(per_file 8 10) ms)   target <= 5 ms"

echo "== peak resident memory"
rss_list=$(peak_rss "$cli" --drive "$image" list)
rm -rf "$work/out"
rss_export=$(peak_rss "$cli" --drive "$image" export --all -o "$work/out")
echo "   list: ${rss_list} KiB; export --all: ${rss_export} KiB"

if [[ -x "$bin/korvelo-bench-gui-list" ]]; then
  echo "== the window's list (korvelo-bench-gui-list, medians of $runs)"
  QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$bin/korvelo-bench-gui-list" "$image" "$runs" \
    >"$work/gui.txt" 2>"$work/gui.err" || { cat "$work/gui.err" >&2; fail "korvelo-bench-gui-list failed"; }
  sed 's/^/   /' "$work/gui.txt"
  echo "   target: fill_ms <= 200"
fi

if [[ $order_bytes != 0 ]]; then
  command -v strace >/dev/null || fail "strace is missing (scripts/setup.sh installs it)"
  echo "== read order of export --all on a full disk sharing $order_bytes bytes (pread64 of the image, in sectors)"
  rm -rf "$work/out" "$work/ref.bin" "$image"
  order_image="$work/order.img"
  "$bin/korvelo-mkdisk" --preset full --full-bytes "$order_bytes" -o "$order_image"
  strace -f -y -e trace=pread64 -o "$work/trace.txt" "$cli" --drive "$order_image" export --all \
    -o "$work/out" >/dev/null 2>&1 || fail "export --all under strace failed"
  # The data area of the preset (F = 72) begins after the 2001 file-FAT regions.
  python3 "$here/read_order.py" "$work/trace.txt" "$order_image" $((6662704 + 2001 * 72)) |
    sed 's/^/   /'
  rm -rf "$work/out" "$work/trace.txt" "$order_image"
fi
