#!/usr/bin/env bash
# Makes a fresh Wine prefix for one test run: scripts/wine-prefix.sh DIR
set -euo pipefail
prefix="$1"
rm -rf "$prefix"
mkdir -p "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine64
"$wine" wineboot --init >/dev/null 2>&1 || true
wineserver -w 2>/dev/null || true
