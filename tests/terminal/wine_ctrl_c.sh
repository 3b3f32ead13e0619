#!/usr/bin/env bash
# Windows build under Wine, on a real terminal (script gives Wine one, so Wine
# makes a real console that Ctrl+C can be sent through): the fault matrix's
# interrupt rows, which are skipped where there is no console. Each must run,
# not be skipped, and pass.
#   wine_ctrl_c.sh <e2e_test.exe>
# Exit code 77 (skipped) when script is not installed.
set -euo pipefail
test_program=$1
command -v script >/dev/null 2>&1 || { echo "script not installed: skipped"; exit 77; }
: "${WINEPREFIX:=/tmp/kxvareviv-wineprefix}"
export WINEPREFIX WINEDEBUG=-all
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine64

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kx-ctrl-c.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
status=0
script -qec "$wine '$test_program' --gtest_filter='Interrupt/*' --gtest_output=xml:interrupts.xml" \
  typescript >/dev/null 2>&1 </dev/null || status=$?
[ -s interrupts.xml ] || { echo "the test program wrote no report (exit code $status)"; exit 1; }
python3 - interrupts.xml <<'PY'
import sys
import xml.etree.ElementTree as ET
ran = 0
for case in ET.parse(sys.argv[1]).iter("testcase"):
    name = case.get("name")
    if case.find("skipped") is not None:
        print(f"{name}: skipped")
        if "CtrlCDuringAFlash" in name:
            sys.exit("Ctrl+C could not be sent through the console")
        continue
    failures = case.findall("failure")
    for failure in failures:
        print(f"{name}: {failure.get('message')}")
    if failures:
        sys.exit(1)
    print(f"{name}: ok")
    ran += 1
if ran == 0:
    sys.exit("no interrupt row ran")
PY
