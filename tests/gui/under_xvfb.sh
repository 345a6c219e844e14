#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test program under a virtual X server of its own; exits 77 (skipped) where Xvfb or
# xvfb-run is not installed.
for tool in xvfb-run Xvfb xauth; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$tool is not installed: skipped"
    exit 77
  fi
done
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$@"
