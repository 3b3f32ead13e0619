#!/bin/sh
# Builds the XML fuzz target (clang++, libFuzzer, ASan, UBSan) into build-fuzz/ and
# runs it for the given number of seconds (default 60). Exits non-zero when the
# fuzzer found something; the input that triggered it is kept in
# build-fuzz/artifacts/.
#   scripts/fuzz.sh [seconds]
set -eu

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"

CXX=clang++ cmake -S "$root/fuzz" -B "$build" >/dev/null
cmake --build "$build" -j2

# The fuzzer adds what it learns to a working copy in the build folder; the seed
# corpus in the source tree stays as committed.
corpus="$build/corpus"
mkdir -p "$corpus" "$build/artifacts"
cp "$root"/fuzz/corpus/xml/* "$corpus/"

log="$build/fuzz.log"
echo "fuzzing for ${seconds}s; log in $log"
status=0
"$build/xml_parse_fuzzer" "$corpus" \
  -dict="$root/fuzz/xml.dict" \
  -max_total_time="$seconds" \
  -max_len=65536 \
  -rss_limit_mb=2048 \
  -timeout=25 \
  -print_final_stats=1 \
  -artifact_prefix="$build/artifacts/" \
  >"$log" 2>&1 || status=$?

executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
echo "executions: ${executions:-unknown}"
grep -E '^Done [0-9]+ runs' "$log" | tail -n 1 || true
if [ "$status" -ne 0 ]; then
  echo "result: FINDING (fuzzer exit code $status)"
  grep -E 'ERROR:|round trip broken|SUMMARY|Test unit written to' "$log" | head -n 20 || true
  exit "$status"
fi
echo "result: no crash, leak, hang or broken round trip"
