#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Shows Korvelo at work without a recorder: builds both programs, writes a sample recorder
# disk (a sparse image file, kept as demo-out/platte.img for the manual pages' examples and
# the window), lists its recordings and saves them all into demo-out/.
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
targets=(korvelo-cli korvelo-mkdisk)
if grep -q '^korvelo:' <(cmake --build build --target help 2>/dev/null | sed 's/^\.\.\. //'); then
  targets+=(korvelo)  # the window, when Qt was found
fi
cmake --build build -j2 --target "${targets[@]}"

out="$root/demo-out"
rm -rf -- "$out"  # the demo's own folder from an earlier run
mkdir -p "$out"
image="$out/platte.img"

step "Beispiel-Festplatte anlegen: $image"
build/bin/korvelo-mkdisk --preset demo -o "$image"
echo "160 GB groß, aber als Datei mit Lücken: belegt nur $(du -h "$image" | cut -f1)."

step "korvelo-cli --drive $image list"
build/bin/korvelo-cli --drive "$image" list

step "korvelo-cli --drive $image export --all -o demo-out/"
status=0
build/bin/korvelo-cli --drive "$image" export --all -o "$out/" || status=$?

step "Geschrieben in demo-out/"
ls -l "$out"
if [ "$status" -eq 0 ]; then
  echo
  echo "Fertig: alle Aufnahmen wurden vollständig gespeichert."
  echo "Die Beispiel-Festplatte bleibt in demo-out/platte.img, etwa für:"
  echo "  build/bin/korvelo-cli --drive demo-out/platte.img check"
  if [ -x build/bin/korvelo ]; then
    echo "  build/bin/korvelo demo-out/platte.img"
  fi
else
  echo
  echo "korvelo-cli endete mit Rückgabewert $status." >&2
fi
exit "$status"
