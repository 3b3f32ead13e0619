#!/bin/sh
# Runs a Windows executable under Wine for CTest. The prefix comes from WINEPREFIX
# (scripts/test.sh makes a fresh one per run); without it a scratch prefix in /tmp is used.
: "${WINEPREFIX:=/tmp/kxvareviv-wineprefix}"
export WINEPREFIX
export WINEDEBUG=-all
WINE=/usr/lib/wine/wine64
[ -x "$WINE" ] || WINE=wine64
exec "$WINE" "$@"
