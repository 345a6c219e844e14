#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the Debian package: unpacks it into a temporary root, compares its files with
# what it must bring (no more, no fewer), checks that the binaries are stripped and runs
# both programs' --version from there. With KORVELO_PACKAGE_INSTALL=1, as root on a
# throwaway machine (CI), it also installs the package with apt-get and lists a sample
# disk (made with the package's own /usr/bin/korvelo-mkdisk) with /usr/bin/korvelo-cli.
# Usage: check_package.sh [PACKAGE.deb]
# Without an argument it takes the newest build-release/korvelo_*.deb and exits 77 (a skip
# for ctest) when there is none or it is older than the sources it is built from.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

package="${1:-}"
if [ -z "$package" ]; then
  package=$(ls -t "$root"/build-release/korvelo_*.deb 2>/dev/null | head -n 1 || true)
  if [ -z "$package" ]; then
    echo "Prüfung übersprungen: kein Paket in build-release/ (scripts/package.sh baut es)."
    exit 77
  fi
  newer=$(find "$root/CMakeLists.txt" "$root/cmake" "$root/docs/man" "$root/packaging" \
          "$root/src" "$root/tools" -newer "$package" -type f -print -quit)
  if [ -n "$newer" ]; then
    echo "Prüfung übersprungen: $package ist älter als $newer (scripts/package.sh baut es neu)."
    exit 77
  fi
fi
package="$(realpath "$package")"
echo "Prüfe $package"

work="$(mktemp -d "${TMPDIR:-/tmp}/korvelo-package.XXXXXX")"
trap 'rm -rf -- "$work"' EXIT
dpkg-deb -x "$package" "$work/root"

expected="usr/bin/korvelo
usr/bin/korvelo-cli
usr/bin/korvelo-mkdisk
usr/share/applications/org.example.korvelo.desktop
usr/share/doc/korvelo/changelog.Debian.gz
usr/share/doc/korvelo/copyright
usr/share/doc/korvelo/json.md.gz
usr/share/icons/hicolor/128x128/apps/org.example.korvelo.png
usr/share/icons/hicolor/256x256/apps/org.example.korvelo.png
usr/share/icons/hicolor/48x48/apps/org.example.korvelo.png
usr/share/icons/hicolor/scalable/apps/org.example.korvelo.svg
usr/share/man/man1/korvelo-cli.1.gz
usr/share/man/man1/korvelo.1.gz
usr/share/metainfo/org.example.korvelo.metainfo.xml"
found=$(cd "$work/root" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
if [ "$found" != "$(LC_ALL=C sort <<<"$expected")" ]; then
  echo "Die Dateien des Pakets weichen ab (- fehlt, + unerwartet):"
  diff <(LC_ALL=C sort <<<"$expected") <(echo "$found") | grep '^[<>]' | sed 's/^</-/; s/^>/+/'
  exit 1
fi

version=$(dpkg-deb -f "$package" Version)
version="${version%-*}"  # without the Debian revision
for program in korvelo korvelo-cli; do
  binary="$work/root/usr/bin/$program"
  if readelf -S "$binary" | grep -q '\.symtab'; then
    echo "$program ist nicht gestrippt."
    exit 1
  fi
  answer=$("$binary" --version)
  if [ "$answer" != "$program $version" ]; then
    echo "$program --version sagt \"$answer\", erwartet \"$program $version\"."
    exit 1
  fi
  if ! zcat "$work/root/usr/share/man/man1/$program.1.gz" | grep -q "\"Korvelo $version\""; then
    echo "Die Handbuchseite $program.1 nennt nicht die Version $version."
    exit 1
  fi
done

if [ "${KORVELO_PACKAGE_INSTALL:-0}" = 1 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "KORVELO_PACKAGE_INSTALL=1 installiert das Paket und geht nur als root."
    exit 1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$package"
  /usr/bin/korvelo-mkdisk --preset demo -o "$work/sample.img"
  listing=$(/usr/bin/korvelo-cli -q --drive "$work/sample.img" list)
  if [ -z "$listing" ]; then
    echo "/usr/bin/korvelo-cli listet auf der Beispiel-Festplatte nichts."
    exit 1
  fi
  echo "$listing"
fi
echo "Das Paket ist in Ordnung."
