#!/usr/bin/env bash
# Builds the whole Linux tree with AddressSanitizer and UndefinedBehaviorSanitizer
# (KX_SANITIZE) into build-asan/ and runs every test there: the unit tests and the
# end-to-end tests, which run the sanitized KXVaReviv and zadiroz as children.
# Leak checking is on and the first report ends the process, so any finding fails
# the test that ran into it.
#   scripts/sanitize.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# The children inherit these: the end-to-end runner and the program's own
# process runner pass the environment on to the programs they start.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

CC=clang CXX=clang++ cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKX_SANITIZE=ON \
  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_C_FLAGS_DEBUG="-O1 -g" >/dev/null
cmake --build build-asan -j2
(cd build-asan && ctest -j2 --output-on-failure)
