#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang++ in build-fuzz/ and runs them.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]   fuzz each target SECONDS long (default 600)
#   scripts/fuzz.sh --runs N [TARGET...]    a fixed number of inputs each (the test step)
#
# Targets: directory hojin_location hojin_head settings mapfile manifest rescue_scan check
# (default: all). rescue_scan and check run with a memory limit (-rss_limit_mb): file FATs of
# random bits must not make them grow. With --runs they get a tenth (check: a twentieth) of
# the inputs, since each of theirs reads a whole FAT area or data area.
# Each run first replays every input in fuzz/regressions/<target>/, then starts from a
# copy of fuzz/corpus/<target>/ in build-fuzz/work/<target>/. Inputs that crash a target
# are kept in build-fuzz/findings/<target>/; the script then ends with status 1.
set -euo pipefail
cd "$(dirname "$0")/.."

all_targets=(directory hojin_location hojin_head settings mapfile manifest rescue_scan check)
declare -A max_len=([directory]=16384 [hojin_location]=8192 [hojin_head]=600 [settings]=4096 [mapfile]=4096 [manifest]=8192 [rescue_scan]=16384 [check]=4096)
declare -A rss_limit=([rescue_scan]=256 [check]=256)
declare -A runs_share=([rescue_scan]=10 [check]=20)

mode=time
amount=600
if [ "${1:-}" = "--runs" ]; then
  mode=runs
  amount=${2:?"--runs braucht eine Anzahl"}
  shift 2
elif [[ "${1:-}" =~ ^[0-9]+$ ]]; then
  amount=$1
  shift
fi
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")
for target in "${targets[@]}"; do
  if [ -z "${max_len[$target]:-}" ]; then
    echo "Unbekanntes Fuzz-Ziel: $target (bekannt: ${all_targets[*]})" >&2
    exit 2
  fi
done

build=build-fuzz
jobs=$(nproc 2>/dev/null || echo 2)
[ "$jobs" -gt 2 ] && jobs=2
CXX=clang++ cmake -S . -B "$build" -DKORVELO_FUZZ=ON -DKORVELO_BUILD_GUI=OFF -DKORVELO_BUILD_TESTS=OFF \
  -DKORVELO_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$jobs" --target $(printf 'korvelo_fuzz_%s ' "${targets[@]}")

# The memory limit is meant for what a target keeps, not for freed blocks that
# AddressSanitizer holds back to catch late use (256 MB of them by default).
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:quarantine_size_mb=16"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

failed=()
for target in "${targets[@]}"; do
  binary="$build/bin/korvelo_fuzz_$target"
  work="$build/work/$target"
  findings="$build/findings/$target"
  # The test step starts from the seeds alone each time, so that it runs the same way.
  [ "$mode" = runs ] && rm -rf "$work"
  mkdir -p "$work" "$findings"
  cp -n fuzz/corpus/"$target"/* "$work"/ 2>/dev/null || true

  shopt -s nullglob
  regressions=(fuzz/regressions/"$target"/*)
  shopt -u nullglob
  if [ ${#regressions[@]} -gt 0 ]; then
    if ! "$binary" -runs=1 "${regressions[@]}" >"$build/$target.replay.log" 2>&1; then
      echo "$target: eine gespeicherte Regression schlägt wieder fehl, siehe $build/$target.replay.log" >&2
      failed+=("$target")
      continue
    fi
    echo "$target: ${#regressions[@]} Regressionseingaben ohne Befund"
  fi

  limit=(-max_total_time="$amount")
  # A fixed seed: the test step tries the same inputs on every machine.
  [ "$mode" = runs ] && limit=(-runs="$((amount / ${runs_share[$target]:-1}))" -seed=1)
  [ -n "${rss_limit[$target]:-}" ] && limit+=(-rss_limit_mb="${rss_limit[$target]}")
  log="$build/$target.log"
  if "$binary" "${limit[@]}" -max_len="${max_len[$target]}" -artifact_prefix="$findings/" \
      -print_final_stats=1 "$work" >"$log" 2>&1; then
    executions=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    echo "$target: $executions Ausführungen ohne Befund"
  else
    echo "$target: BEFUND, siehe $log und $findings/" >&2
    tail -n 30 "$log" >&2
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzzing mit Befund: ${failed[*]}" >&2
  exit 1
fi
