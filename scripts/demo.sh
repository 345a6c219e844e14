#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Shows Korvelo at work without a recorder: builds the command-line program, writes a
# sample recorder disk (a sparse image file), lists its recordings and saves them all.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

step() { printf '\n==> %s\n' "$*"; }

if [ -x scripts/setup.sh ]; then
  step "Benötigte Pakete prüfen"
  scripts/setup.sh
fi

step "Bauen (build/)"
cmake -S . -B build >/dev/null
cmake --build build -j2 --target korvelo-cli korvelo-mkdisk

work="$(mktemp -d "${TMPDIR:-/tmp}/korvelo-demo.XXXXXX")"
trap 'rm -rf -- "$work"' EXIT
image="$work/recorder.img"

step "Beispiel-Festplatte anlegen: $image"
build/bin/korvelo-mkdisk --preset demo -o "$image"
echo "160 GB groß, aber als Datei mit Lücken: belegt nur $(du -h "$image" | cut -f1)."

step "korvelo-cli --drive $image list"
build/bin/korvelo-cli --drive "$image" list

out="$root/demo-out"
rm -rf -- "$out"  # the demo's own folder from an earlier run
step "korvelo-cli --drive $image export --all -o demo-out/"
status=0
build/bin/korvelo-cli --drive "$image" export --all -o "$out/" || status=$?

step "Geschrieben in demo-out/"
ls -l "$out"
if [ "$status" -eq 0 ]; then
  echo
  echo "Fertig: alle Aufnahmen wurden vollständig gespeichert."
else
  echo
  echo "korvelo-cli endete mit Rückgabewert $status." >&2
fi
exit "$status"
