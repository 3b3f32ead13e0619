#!/usr/bin/env bash
# Makes a fresh Wine prefix for one test run: scripts/wine-prefix.sh DIR
set -euo pipefail
prefix="$1"
rm -rf "$prefix"
mkdir -p "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine64
# Debian installs the server beside wine64, not on PATH.
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=wineserver
"$wine" wineboot --init >/dev/null 2>&1 || true
# Until the server exits, wineboot is still setting up the prefix: a program
# started meanwhile may wait for it or fail to start.
"$wineserver" -w
