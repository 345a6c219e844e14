#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the manual pages: each renders without a single warning, and every command that
# "korvelo-cli help" lists has its entry in the COMMANDS section of korvelo-cli.1.
# Usage: check_man_pages.sh KORVELO-CLI KORVELO-CLI.1 [MORE.1 ...]
# Exits 77 (a skip for ctest) when groff is not installed.
set -euo pipefail
cli="$1"
shift
if ! command -v groff >/dev/null 2>&1; then
  echo "Prüfung übersprungen: groff ist nicht installiert (scripts/setup.sh installiert es)."
  exit 77
fi
render() { LC_ALL=C.UTF-8 groff -k -man -Tutf8 -ww -P-c -P-b -P-o -P-u "$@"; }

status=0
for page in "$@"; do
  warnings=$(render -z "$page" 2>&1)
  if [ -n "$warnings" ]; then
    printf '%s: Warnungen beim Setzen:\n%s\n' "$page" "$warnings"
    status=1
  fi
done

# A command's entry is a line at the section's left edge after an empty line; between the
# words of "rescue export" may stand what goes between them ("[scan options]").
entries=$(render "$1" 2>/dev/null | awk '/^COMMANDS$/ { inside = 1; next } /^[A-Z]/ { inside = 0 }
  inside && afterBlank { print } { afterBlank = ($0 == "") }')
commands=$("$cli" help | awk '/^Befehle:$/ { inside = 1; next } /^$/ { inside = 0 } inside' |
  sed -nE 's/^  ([a-z][^ ]*( [a-z][^ ]*)?)( {2,}.*)?$/\1/p')
if [ -z "$commands" ]; then
  echo "\"$cli help\" nennt keine Befehle."
  exit 1
fi
while read -r command; do
  pattern="^ {7}${command// /( \\[[^]]*\\])* }( |$)"
  if ! grep -qE "$pattern" <<<"$entries"; then
    echo "$1: der Befehl \"$command\" fehlt im Abschnitt COMMANDS."
    status=1
  fi
done <<<"$commands"
exit "$status"
