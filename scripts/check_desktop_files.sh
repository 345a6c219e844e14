#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Validates the desktop entry and the AppStream metainfo that the package installs, and
# that both, the icon and the install rules use one reverse-DNS id: the metainfo's <id>,
# its <launchable>, the desktop file's name and Icon=, and the names CMake installs.
# Exits 77 (a skip for ctest) when the validators are not installed.
set -euo pipefail
resources="${1:-$(dirname "$0")/../src/gui/resources}"
for tool in desktop-file-validate appstreamcli; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "Prüfung übersprungen: $tool ist nicht installiert (scripts/setup.sh installiert es)."
    exit 77
  fi
done

metainfo=("$resources"/*.metainfo.xml)
if [ "${#metainfo[@]}" -ne 1 ]; then
  echo "Es muss genau eine Metainfo-Datei geben, gefunden: ${metainfo[*]}"
  exit 1
fi
id=$(sed -n 's|.*<id>\(.*\)</id>.*|\1|p' "${metainfo[0]}")
fail() { echo "Die Kennung passt nicht: $*"; exit 1; }
[[ "$id" =~ ^[a-z][a-z0-9-]*(\.[a-zA-Z][a-zA-Z0-9_-]*)+$ ]] || fail "<id> \"$id\" ist kein Reverse-DNS-Name"
[ "$(basename "${metainfo[0]}")" = "$id.metainfo.xml" ] || fail "${metainfo[0]} heißt nicht $id.metainfo.xml"
desktop="$resources/$id.desktop"
[ -f "$desktop" ] || fail "es gibt keine Desktop-Datei $desktop"
grep -qx "  <launchable type=\"desktop-id\">$id.desktop</launchable>" "${metainfo[0]}" ||
  fail "<launchable> nennt nicht $id.desktop"
grep -qx "Icon=$id" "$desktop" || fail "$desktop nennt nicht Icon=$id"
cmake_file="$resources/../CMakeLists.txt"
if [ -f "$cmake_file" ]; then
  grep -qx "set(korvelo_app_id $id)" "$cmake_file" || fail "$cmake_file installiert nicht als $id"
fi

desktop-file-validate "$desktop"
appstreamcli validate --no-net --pedantic "${metainfo[0]}"
