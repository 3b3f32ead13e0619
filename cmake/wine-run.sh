#!/bin/sh
# Runs a Windows executable under Wine for CTest. The prefix comes from WINEPREFIX
# (scripts/test.sh makes a fresh one per run); without it, the prefix of the
# build folder that holds the program (<build>/wineprefix, the one scripts/test.sh
# makes), never one in /tmp that other build folders' test runs would share: Wine's
# process list is the prefix's, and a flash tool of another run there would
# refuse this run's utility.
#
# Debian's Wine runs without its preloader, and now and then one of its
# processes is killed by the C library's loader on its way out ("Inconsistency
# detected by ld.so: dl-fini.c ... _dl_fini: Assertion ... failed"), with exit
# code 127; and now and then a child fails to start, CreateProcess failing with
# error 1359 (internal error). A test program that failed without reaching its
# main(), or whose output shows either sign (its own, or the test's report of a
# child), tested nothing: it is started again (twice at most), and the retry is
# said on standard error. Any other failure stands.
if [ -z "${WINEPREFIX:-}" ]; then
  build=$(dirname "$1")
  while [ "$build" != / ] && [ ! -f "$build/CMakeCache.txt" ]; do build=$(dirname "$build"); done
  WINEPREFIX="$build/wineprefix"
fi
export WINEPREFIX
export WINEDEBUG=-all
WINE=/usr/lib/wine/wine64
[ -x "$WINE" ] || WINE=wine64

output=$(mktemp "${TMPDIR:-/tmp}/kx-wine-run.XXXXXX") || exit 99
attempt=1
while :; do
  "$WINE" "$@" >"$output" 2>&1
  status=$?
  cat "$output"
  [ "$status" -ne 0 ] && [ "$attempt" -lt 3 ] || break
  if grep -q -e "Inconsistency detected by ld.so" -e "CreateProcess failed with error 1359" "$output" ||
     ! grep -q "Running main()" "$output"; then
    echo "wine-run.sh: Wine's loader failed (exit code $status); running $1 again" >&2
    # CTest shows the output of passing tests nowhere: the stage counts them here.
    { echo "$* (exit code $status)"; head -n 5 "$output" | sed 's/^/    | /'; } \
      >>"$WINEPREFIX/kx-wine-reruns.txt"
    attempt=$((attempt + 1))
    continue
  fi
  break
done
rm -f "$output"
exit "$status"
