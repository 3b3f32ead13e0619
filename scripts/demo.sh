#!/usr/bin/env bash
# Builds the utility and the simulated flash tool, then runs a short tour in a
# scratch copy of examples/ (a fresh copy every time).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh >/dev/null
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target KXVaReviv zadiroz >/dev/null

demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo/drive" "$demo/tmp"
cp -r examples "$demo/package"
# The log and the temporary directory stay inside the scratch folder; the
# simulated flash tool plays the adapters of examples/scenario.xml.
export SystemDrive="$demo/drive" TMPDIR="$demo/tmp"
export ZADIROZ_SCENARIO="$demo/package/scenario.xml"
cd "$demo/package"
echo "Package: $demo/package (a fresh copy of examples/)"

step() {
  echo
  echo "\$ KXVaReviv $*"
  set +e
  "$root/build/KXVaReviv" "$@" </dev/null
  local code=$?
  set -e
  echo "[exit code $code]"
}

step -c          # what is installed, what the package carries
step -n          # check only: 4 means an update is recommended
step -s          # silent upgrade of every adapter older than the package: 2
step -c          # the upgraded adapter now shows the package's version
step -d report.xml   # the flash tool writes a discovery report: 1
step -u report.xml   # and updates from it: 2

echo
echo "The flash tool received: $demo/package/zadiroz-calls.txt"
echo "The log of these runs:   $SystemDrive/zpxsystem/log/veskor.log"
