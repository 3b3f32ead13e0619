#!/usr/bin/env bash
# Builds the utility for Linux and for Windows and runs every test: the unit and
# end-to-end tests natively, the fleet collection on the real Ansible engine,
# the same tests again in a sanitized build, the same tests of the Windows build
# under Wine, and a short fuzzing run of every input the utility reads.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh

# Adds the number of tests that a CTest run (its output in $1) passed.
passed=0
count_passed() {
  local n
  n=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9][0-9]*\).*/\1/p' "$1" | tail -n 1)
  passed=$((passed + ${n:-0}))
}

echo "== Linux build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2
(cd build && ctest -j2 --output-on-failure) 2>&1 | tee build/ctest.log
count_passed build/ctest.log

echo "== Fleet collection: outcome filter on real runs, playbooks on a local fleet, lint"
scripts/ansible-test.sh build 2>&1 | tee build/ansible.log
n=$(sed -n 's/^Collection: \([0-9][0-9]*\) tests passed, 0 failed$/\1/p' build/ansible.log)
passed=$((passed + ${n:-0}))

echo "== Linux build and tests under AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/sanitize.sh 2>&1 | tee build/sanitize.log
count_passed build/sanitize.log

echo "== Windows build and tests under Wine"
cmake -S . -B build-win -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake"
cmake --build build-win -j2
export WINEPREFIX="$root/build-win/wineprefix"
scripts/wine-prefix.sh "$WINEPREFIX"
status=0
scripts/wine-stage.sh build-win 2>&1 | tee build-win/ctest.log || status=$?
count_passed build-win/ctest.log
[ "$status" -eq 0 ] && { scripts/check-package.sh build-win || status=$?; }
[ "$status" -eq 0 ] || exit "$status"

if [ -x scripts/fuzz.sh ]; then
  echo "== Short fuzzing run"
  scripts/fuzz.sh "${KX_FUZZ_SECONDS:-75}"
fi
echo "All tests passed (Linux, fleet collection, sanitizers, Windows under Wine; fuzzing clean)."
echo "Tests: $passed passed, 0 failed"
