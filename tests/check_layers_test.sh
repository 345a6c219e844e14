#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The layer check itself: on a small made-up tree it must name every offending include,
# file and line, in order, pass the allowed ones silently and fail.
set -euo pipefail
checker="$(cd "$(dirname "$0")/.." && pwd)/scripts/check_layers.sh"
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT

add() {  # add FILE LINE...: writes a source file of the made-up tree
  mkdir -p "$tree/$(dirname "$1")"
  local file="$tree/$1"
  shift
  printf '%s\n' "$@" >"$file"
}
add src/disk/a.h '#pragma once' '#include "disk/b.h"' '#include "recfs/c.h"' \
  '#include <export/x.h>'
add src/recfs/c.cpp '#include "disk/a.h"' '#include <vector>' '#include "c.h"'
add src/export/e.cpp '#include "../app/x.h"'
add src/app/q.cpp '#include <QtCore/QString>' '  #  include <QList>' '#include "diskbuilder/layout.h"'
add src/cli/c.cpp '#include "app/x.h"' '#include "gui/main_dialog.h"' '#include <app/y.h>'
add src/gui/g.cpp '#include <QWidget>' '#include "cli/exit_code.h"' '#include <nlohmann/json.hpp>'
add tools/t.cpp '#include "diskbuilder/layout.h"' '#include "recfs/c.h"' '#include "export/e.h"'
add tests/gui/w.cpp '#include <QTest>' '#include "cli/x.h"'
add tests/app/s.cpp '#include <QString>'
add bench/gui_latency.cpp '#include <QApplication>'
add bench/bench_copy.cpp '#include <QTimer>'

expected='bench/bench_copy.cpp:1: Qt-Header <QTimer> außerhalb von src/gui
src/app/q.cpp:1: Qt-Header <QtCore/QString> außerhalb von src/gui
src/app/q.cpp:2: Qt-Header <QList> außerhalb von src/gui
src/app/q.cpp:3: bindet "diskbuilder/layout.h" ein, aber app darf nur disk, recfs, export und app benutzen
src/cli/c.cpp:2: bindet "gui/main_dialog.h" ein, aber cli darf nur disk, recfs, export, app und cli benutzen
src/disk/a.h:3: bindet "recfs/c.h" ein, aber disk darf nur disk benutzen
src/disk/a.h:4: bindet "export/x.h" ein, aber disk darf nur disk benutzen
src/export/e.cpp:1: bindet "../app/x.h" ein: Includes verlassen den eigenen Ordner nicht über ".."
src/gui/g.cpp:2: bindet "cli/exit_code.h" ein, aber gui darf nur disk, recfs, export, app und gui benutzen
tests/app/s.cpp:1: Qt-Header <QString> außerhalb von src/gui
tools/t.cpp:3: bindet "export/e.h" ein, aber tools darf nur diskbuilder, disk und recfs benutzen'

status=0
actual="$("$checker" "$tree" 2>/dev/null)" || status=$?
if [[ $status -ne 1 ]]; then
  echo "check_layers.sh endete mit $status statt 1" >&2
  exit 1
fi
if [[ "$actual" != "$expected" ]]; then
  diff <(echo "$expected") <(echo "$actual") >&2 || true
  exit 1
fi
rm -rf "$tree"/src/disk/a.h "$tree"/src/app "$tree"/src/cli "$tree"/src/gui "$tree"/src/export \
  "$tree"/tools "$tree"/tests/app "$tree"/bench/bench_copy.cpp
if ! "$checker" "$tree" >/dev/null 2>&1; then
  echo "check_layers.sh beanstandet einen Baum ohne Verstöße" >&2
  exit 1
fi
