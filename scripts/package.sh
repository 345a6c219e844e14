#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package korvelo_<version>-1_<arch>.deb in build-release/ (a release
# build of its own: the test build has sanitizers), checks it with lintian, then unpacks
# and runs it (scripts/check_package.sh; KORVELO_PACKAGE_INSTALL=1 as root also installs it).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DKORVELO_BUILD_TESTS=OFF \
      -DKORVELO_BUILD_BENCH=OFF
cmake --build build-release -j"$jobs"
(cd build-release && cpack -G DEB)
package=$(ls -t build-release/korvelo_*.deb | head -n 1)
echo "Paket: $package"
if ! command -v lintian >/dev/null 2>&1; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends lintian
fi
lintian --fail-on error "$package"
scripts/check_package.sh "$package"
