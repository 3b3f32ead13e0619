#!/usr/bin/env bash
# Times whole runs of the utility against the simulated flash tool with many
# adapters: -c with 1, 16, 256, 4096 and 65536 adapters and -s with 1, 16, 256
# and 4096 (the -s run with 4096 starts the tool 4097 times and takes a few
# minutes). Prints a table of wall time, CPU time of the utility itself and of
# the tool processes it started, and the utility's peak memory; the method is
# in docs/performance.md, "Scale of a whole run".
#   scripts/scale.sh [--build DIR] [--check 1,16,...] [--silent 1,16,...]
# DIR defaults to build/ (configured Release unless it already has a build type);
# the runs happen in DIR/scale/ (a fresh copy every time).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

build="$root/build"
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(cd "$2" 2>/dev/null && pwd || echo "$2"); shift 2 ;;
    *) args+=("$1"); shift ;;
  esac
done

scripts/install-deps.sh python3 >/dev/null
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j2 --target KXVaReviv zadiroz >/dev/null

# The probe reads the utility's own CPU time and peak memory at its exit.
probe="$build/scale_probe.so"
if [ ! -f "$probe" ] || [ scripts/scale_probe.cpp -nt "$probe" ]; then
  g++ -std=c++17 -O2 -Wall -Wextra -Werror -shared -fPIC -o "$probe" scripts/scale_probe.cpp
fi

echo "build: $build ($(grep -m1 '^CMAKE_BUILD_TYPE:' "$build/CMakeCache.txt" | cut -d= -f2))," \
  "$(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)" >&2
python3 scripts/scale.py --build "$build" --probe "$probe" --work "$build/scale" "${args[@]+"${args[@]}"}"
echo "load average after the runs: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
