#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that every C++ file in src, tests, tools, bench and fuzz names its licence in an
# SPDX line at its head and is laid out as the committed .clang-format says. Lists the files
# that differ and exits 1; exits 77 (a skip for ctest) when clang-format is not installed.
# To mend: the SPDX line as in the other files, clang-format -i on the listed files.
# Usage: check_format.sh [source folder]   (default: the checkout this script lives in)
set -euo pipefail

root="${1:-$(dirname "$0")/..}"
cd "$root"
if [[ ! -f .clang-format ]]; then
  echo "check_format.sh: $PWD/.clang-format fehlt" >&2
  exit 2
fi
formatter="${CLANG_FORMAT:-clang-format}"
if ! command -v "$formatter" >/dev/null 2>&1; then
  echo "Formatprüfung übersprungen: $formatter ist nicht installiert (scripts/setup.sh installiert es)."
  exit 77
fi

folders=()
for folder in src tests tools bench fuzz; do
  [[ -d $folder ]] && folders+=("$folder")
done
mapfile -t files < <(find "${folders[@]}" -type f \( -name '*.h' -o -name '*.cpp' \) -print |
                     LC_ALL=C sort)

# The licence line within a file's first three lines (after a #! line or before #pragma once).
unlicensed=()
for file in "${files[@]}"; do
  head -n 3 "$file" | grep -q 'SPDX-License-Identifier: GPL-3.0-or-later' || unlicensed+=("$file")
done
if [[ ${#unlicensed[@]} -gt 0 ]]; then
  printf '%s\n' "${unlicensed[@]}"
  echo "${#unlicensed[@]} von ${#files[@]} Dateien fehlt die Zeile" \
    "\"// SPDX-License-Identifier: GPL-3.0-or-later\" am Anfang." >&2
  exit 1
fi

# One run over all files; every finding starts with "file:line:column: ".
findings="$("$formatter" --dry-run --Werror --style=file "${files[@]}" 2>&1)" && exit 0
mapfile -t differing < <(grep -oE '^[^:[:space:]][^:]*:[0-9]+:[0-9]+: ' <<<"$findings" |
                         cut -d: -f1 | LC_ALL=C sort -u)
if [[ ${#differing[@]} -eq 0 ]]; then
  echo "$findings" >&2  # no finding about the layout: clang-format itself failed
  exit 1
fi
printf '%s\n' "${differing[@]}"
echo "${#differing[@]} von ${#files[@]} Dateien weichen von .clang-format ab" \
  "(Einzelheiten: $formatter --dry-run DATEI; beheben: $formatter -i DATEI)." >&2
exit 1
