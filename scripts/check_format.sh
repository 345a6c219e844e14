#!/usr/bin/env bash
# Checks that every C++ file in src, tests, tools, bench and fuzz is laid out as the committed
# .clang-format says. Lists the files that differ and exits 1; exits 77 (a skip for ctest)
# when clang-format is not installed. To mend: clang-format -i on the listed files.
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
