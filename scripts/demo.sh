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
export SystemDrive="$demo/drive" TMPDIR="$demo/tmp"
export PATH="$root/build:$PATH"
cd "$demo/package"

step() {
  echo
  echo "\$ KXVaReviv $*"
  set +e
  "$root/build/KXVaReviv" "$@" </dev/null
  local code=$?
  set -e
  echo "[exit code $code]"
}

step -h
step -c

echo
echo "The log of these runs: $SystemDrive/zpxsystem/log/veskor.log"
