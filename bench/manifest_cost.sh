#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What one more file costs an export beside the records its folder already holds: on the
# full sample disk (2000 short recordings), entries 0 .. 1899 are saved first; then, RUNS
# times and alternating, entries 1900 .. 1999 are saved (a) into an empty folder and (b)
# into the folder with the 1900 records, whose manifest and files are put back before each
# run. Prints the medians of both, per file (wall clock, and user + system time).
#
# Usage: bench/manifest_cost.sh [-b BUILD_DIR] [-n RUNS] [-w WORK_DIR]
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build="$here/../../build-bench"
runs=5
work=""
while getopts "b:n:w:h" option; do
  case $option in
    b) build=$OPTARG ;;
    n) runs=$OPTARG ;;
    w) work=$OPTARG ;;
    *) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 2 ;;
  esac
done

# shellcheck source=bench/common.sh
source "$here/common.sh"
require_programs korvelo-cli korvelo-mkdisk
make_work_folder korvelo-manifest-cost
cli="$bin/korvelo-cli"
cd "$work"

"$bin/korvelo-mkdisk" --preset full --full-bytes 268435456 -o full.img >/dev/null
mkdir held
"$cli" -q --drive full.img export $(seq 0 1899) -o held >/dev/null 2>&1
cp held/korvelo-manifest.json manifest.kept

timed() {  # folder, times file
  /usr/bin/time -f "%e %U %S" -a -o "$2" "$cli" -q --drive full.img export $(seq 1900 1999) \
    -o "$1" >/dev/null 2>&1
}
for ((run = 0; run < runs; run++)); do
  rm -rf empty && mkdir empty
  timed empty empty.times
  find held -name '19[0-9][0-9] *' -delete
  cp manifest.kept held/korvelo-manifest.json
  timed held held.times
done

report() {  # label, times file
  sort -n "$2" | awk -v label="$1" '{ wall[NR] = $1; cpu[NR] = $2 + $3 }
    END { m = int((NR + 1) / 2); printf "%-28s %.1f ms per file (processor %.1f ms)\n",
          label, wall[m] * 10, cpu[m] * 10 }'
}
report "into an empty folder" empty.times
report "beside 1900 records" held.times
