#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What one export asks of the system per GiB of recording data, counted with strace: reads
# and their mean size, writes, read hints, writeback calls, stat calls, threads started.
# Counts do not depend on how busy the machine is, nor on sanitizers, so any two builds can
# be compared side by side (-r). Exports from the image file and, as root with losetup,
# from a read-only loop device with direct I/O (what a block device is read as).
#
# Usage: bench/syscall_count.sh [-b BUILD_DIR] [-r REFERENCE_BUILD_DIR] [-s BYTES] [-w WORK_DIR]
#   -b  build to count (default: build beside the source folder)
#   -r  a second build counted the same way, printed below the first
#   -s  bytes of recording data (default 268435456, 256 MiB)
#   -w  folder for the image and the exports (default: a new temporary folder)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build="$here/../build"
reference=""
bytes=268435456
work=""
while getopts "b:r:s:w:h" option; do
  case $option in
    b) build=$OPTARG ;;
    r) reference=$OPTARG ;;
    s) bytes=$OPTARG ;;
    w) work=$OPTARG ;;
    *) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 2 ;;
  esac
done

# shellcheck source=bench/common.sh
source "$here/common.sh"
require_programs korvelo-cli korvelo-mkdisk
command -v strace >/dev/null || { echo "syscall_count.sh: strace is not installed" >&2; exit 2; }
make_work_folder korvelo-syscalls
image="$work/bench.img"
"$bin/korvelo-mkdisk" --preset bench --bench-bytes "$bytes" -o "$image" >/dev/null

loop=""
if [[ $(id -u) == 0 ]] && command -v losetup >/dev/null; then
  loop=$(losetup --find --show --read-only --direct-io=on "$image" 2>/dev/null || true)
fi
cleanup() { [[ -n "$loop" ]] && losetup -d "$loop"; rm -rf "$work"; }
trap cleanup EXIT

# CLI DRIVE LABEL: one export under strace -f, its counts per GiB.
count() {
  rm -rf "$work/out"
  mkdir "$work/out"
  # A sanitizer build's leak check cannot run under strace; the counts are the same.
  ASAN_OPTIONS=detect_leaks=0 strace -f -qq -s 0 -o "$work/trace.txt" \
    -e trace=pread64,write,fadvise64,sync_file_range,stat,newfstatat,statx,clone,clone3 \
    "$1" --drive "$2" export 0 -o "$work/out" >/dev/null 2>&1
  awk -v gib="$(awk -v b="$bytes" 'BEGIN { print b / 1073741824 }')" -v label="$3" '
    /pread64/ && / = [0-9]+$/ { size = $NF + 0; if (size >= 4096) { reads++; readBytes += size } }
    /[^a-z_]write\(/ { writes++ }
    /fadvise64\(/ { hints++ }
    /sync_file_range\(/ { syncs++ }
    /(stat|newfstatat|statx)\(/ { stats++ }
    /clone3?\(/ { threads++ }
    END { printf "%-34s %9.0f %9.0f %9.0f %9.0f %9.0f %9.0f %8d\n", label, reads / gib,
          (reads ? readBytes / reads / 1024 : 0), writes / gib, hints / gib, syncs / gib,
          stats / gib, threads }' "$work/trace.txt"
}

printf '%-34s %9s %9s %9s %9s %9s %9s %8s\n' "per GiB" "reads" "KiB/read" "writes" \
  "fadvise" "sync_rng" "stat" "threads"
for tree in "$build" ${reference:+"$reference"}; do
  name="$(basename "$(cd "$tree/.." && pwd)")/$(basename "$tree")"
  count "$tree/bin/korvelo-cli" "$image" "$name: image"
  [[ -n "$loop" ]] && count "$tree/bin/korvelo-cli" "$loop" "$name: loop device, direct I/O"
done
