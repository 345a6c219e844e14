#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that includes run only downward through the layers and that Qt stays in the window.
#   src/disk < src/recfs < src/export < src/app < src/cli, src/gui
# A file may include its own layer and those below it; cli and gui never include each other;
# nothing in src includes the sample-disk builder or the test helpers; tools/ uses only its
# own diskbuilder, disk and recfs. Qt headers appear only in src/gui, tests/gui and the
# window's benchmark (bench/gui_*). Prints one line per offending include, file and line
# first, and exits 1 when there is any.
# Usage: check_layers.sh [source folder]   (default: the checkout this script lives in)
set -euo pipefail

root="${1:-$(dirname "$0")/..}"
cd "$root"
if [[ ! -d src/disk ]]; then
  echo "check_layers.sh: $PWD ist kein Korvelo-Quellbaum (src/disk fehlt)" >&2
  exit 2
fi

folders=()
for folder in src tools tests bench fuzz; do
  [[ -d $folder ]] && folders+=("$folder")
done

status=0
find "${folders[@]}" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' \) -print |
  LC_ALL=C sort |
  xargs -r awk '
    BEGIN {
      rank["disk"] = 1; rank["recfs"] = 2; rank["export"] = 3; rank["app"] = 4
      rank["cli"] = 5; rank["gui"] = 5
      uses["disk"] = "disk"
      uses["recfs"] = "disk und recfs"
      uses["export"] = "disk, recfs und export"
      uses["app"] = "disk, recfs, export und app"
      uses["cli"] = "disk, recfs, export, app und cli"
      uses["gui"] = "disk, recfs, export, app und gui"
      uses["tools"] = "diskbuilder, disk und recfs"
      found = 0
    }
    FNR == 1 {
      split(FILENAME, part, "/")
      area = ""
      if (part[1] == "src" && (part[2] in rank)) area = part[2]
      if (part[1] == "tools") area = "tools"
      qtAllowed = FILENAME ~ /^(src\/gui|tests\/gui)\// || FILENAME ~ /^bench\/gui_/
    }
    function report(text) {
      printf "%s:%d: %s\n", FILENAME, FNR, text
      found++
    }
    /^[ \t]*#[ \t]*include[ \t]*[<"]/ {
      if (!match($0, /[<"][^<>"]+[>"]/)) next
      target = substr($0, RSTART + 1, RLENGTH - 2)
      quoted = substr($0, RSTART, 1) == "\""
      if (!qtAllowed && target ~ /^(Qt[A-Za-z]*\/|Q[A-Z][A-Za-z0-9]*(\.h)?$|Qt[A-Z][A-Za-z]*$)/) {
        report("Qt-Header <" target "> außerhalb von src/gui")
        next
      }
      if (area == "" || index(target, "/") == 0) next
      first = substr(target, 1, index(target, "/") - 1)
      if (first == "..") {
        report("bindet \"" target "\" ein: Includes verlassen den eigenen Ordner nicht über \"..\"")
        next
      }
      if (!quoted && !(first in rank)) next
      if (area == "tools") {
        allowed = first == "diskbuilder" || first == "disk" || first == "recfs"
      } else {
        allowed = first == area || ((first in rank) && rank[first] < rank[area])
      }
      if (!allowed) {
        report("bindet \"" target "\" ein, aber " area " darf nur " uses[area] " benutzen")
      }
    }
    END {
      if (found > 0) {
        printf "%d Verstöße gegen die Schichtenordnung\n", found > "/dev/stderr"
        exit 1
      }
    }
  ' || status=1
exit "$status"
