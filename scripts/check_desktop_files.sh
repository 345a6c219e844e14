#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Validates the desktop entry and the AppStream metainfo that the package installs.
# Exits 77 (a skip for ctest) when the validators are not installed.
set -euo pipefail
resources="${1:-$(dirname "$0")/../src/gui/resources}"
for tool in desktop-file-validate appstreamcli; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "Prüfung übersprungen: $tool ist nicht installiert (scripts/setup.sh installiert es)."
    exit 77
  fi
done
desktop-file-validate "$resources/korvelo.desktop"
appstreamcli validate --no-net --pedantic "$resources"/*.metainfo.xml
