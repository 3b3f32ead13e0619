#!/usr/bin/env bash
# Windows build under Wine, on a real terminal (script gives Wine one, so Wine
# makes a real console): a console with a tall screen buffer keeps it when the
# utility sizes the console; only its window becomes 121 x 65.
#   wine_console.sh <console_probe.exe> <KXVaReviv.exe> <examples dir>
# Exit code 77 (skipped) when script is not installed.
set -euo pipefail
probe=$1
program=$2
examples=$3
command -v script >/dev/null 2>&1 || { echo "script not installed: skipped"; exit 77; }
# Without WINEPREFIX: the prefix of the build folder that holds the probe, as
# cmake/wine-run.sh chooses it, never one that other build folders share.
if [ -z "${WINEPREFIX:-}" ]; then
  build=$(dirname "$probe")
  while [ "$build" != / ] && [ ! -f "$build/CMakeCache.txt" ]; do build=$(dirname "$build"); done
  WINEPREFIX="$build/wineprefix"
fi
export WINEPREFIX WINEDEBUG=-all
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine64

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kx-console.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cp "$probe" "$program" "$examples/ZOVOREruz.xml" "$scratch/"
cd "$scratch"
script -qec "$wine ./$(basename "$probe") '$(basename "$program") -h'" typescript >/dev/null 2>&1 </dev/null || true
# The console's output comes with cursor movements: keep the text alone.
seen=$(python3 - <<'PY'
import re
text = open("typescript", "rb").read().decode("latin-1")
text = re.sub(r"\x1b\[1C", " ", text)
text = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]|\x1b\][^\x07]*\x07", "", text)
for line in re.split(r"[\r\n]+", text):
    if line.startswith(("before:", "after:", "cannot")):
        print(re.sub(r" +", " ", line).strip())
PY
)
echo "$seen"
grep -qx "before: buffer 120x9001 window .*" <<<"$seen" || { echo "the probe could not make a tall buffer"; exit 1; }
grep -qx "after: buffer 121x9001 window 121x65" <<<"$seen" || { echo "not sized as it should be: the buffer kept, the window 121 x 65"; exit 1; }
