#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the benchmark scripts once they know $build (the Release tree) and $work (a
# folder to work in, or empty for a temporary one removed at the end).

# Sets $bin and stops with exit 2 unless every named program of the Release tree is built.
require_programs() {
  bin="$build/bin"
  for tool in "$@"; do
    [[ -x "$bin/$tool" ]] || { echo "missing $bin/$tool: build the Release tree first" >&2; exit 2; }
  done
}

# Makes $work, a temporary folder named after $1 when none was given.
make_work_folder() {
  if [[ -z "$work" ]]; then
    work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
    trap 'rm -rf "$work"' EXIT
  fi
  mkdir -p "$work"
}
