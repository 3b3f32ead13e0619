#!/usr/bin/env bash
# Runs the tests of a Windows build folder under Wine, in the prefix named by
# WINEPREFIX (made by scripts/wine-prefix.sh): scripts/wine-stage.sh BUILD-DIR
#
# One Wine server serves the whole stage. Left to itself, the server of a prefix
# exits a few seconds after its last process and the next test program starts
# a new one (with the prefix's services) while CTest may be starting a second
# program beside it; a persistent server started here, before any test, keeps
# every test program on the same, fully started server.
set -uo pipefail
build="$1"
: "${WINEPREFIX:?set WINEPREFIX to the prefix made by scripts/wine-prefix.sh}"
export WINEPREFIX WINEDEBUG=-all
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine64
wineserver=/usr/lib/wine/wineserver64  # Debian's place for it, not on PATH
[ -x "$wineserver" ] || wineserver=wineserver

"$wineserver" -p
"$wine" cmd /c exit >/dev/null 2>&1 || true  # the prefix's services are up from here on
status=0
rm -f "$WINEPREFIX/kx-wine-reruns.txt"
(cd "$build" && ctest -j2 --output-on-failure) || status=$?
if [ -s "$WINEPREFIX/kx-wine-reruns.txt" ]; then
  echo "Wine's loader killed $(grep -vc '^    |' "$WINEPREFIX/kx-wine-reruns.txt") test program run(s); each was run again:"
  sed 's/^/  /' "$WINEPREFIX/kx-wine-reruns.txt"
fi
"$wineserver" -k 2>/dev/null || true
exit "$status"
