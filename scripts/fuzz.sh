#!/bin/sh
# Builds the fuzz targets (clang++, libFuzzer, ASan, UBSan) into build-fuzz/ and
# runs each in turn, the given seconds (default 60) shared equally among them:
#   xml_parse_fuzzer       the XML library on its own (parse, render, round trip)
#   package_config_fuzzer  "ZOVOREruz.xml" through the program's package reader
#   nic_list_fuzzer        "tempNicList.xml" through the program's NIC list reader
# Prints the executions and the result of each target and exits non-zero when
# any of them found something; the input that triggered it is kept in
# build-fuzz/artifacts/<target>/.
#   scripts/fuzz.sh [seconds] [target ...]
set -eu

seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-xml_parse_fuzzer package_config_fuzzer nic_list_fuzzer}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"

CXX=clang++ cmake -S "$root/fuzz" -B "$build" >/dev/null
cmake --build "$build" -j2 >/dev/null

count=$(echo $targets | wc -w)
share=$((seconds / count))
[ "$share" -ge 1 ] || share=1

failed=""
for target in $targets; do
  case $target in
    xml_parse_fuzzer) name=xml ;;
    *) name=${target%_fuzzer} ;;
  esac
  [ -d "$root/fuzz/corpus/$name" ] || { echo "no such fuzz target: $target" >&2; exit 2; }

  # The fuzzer adds what it learns to a working copy in the build folder; the
  # seed corpus in the source tree stays as committed.
  corpus="$build/corpus/$name"
  artifacts="$build/artifacts/$name"
  mkdir -p "$corpus" "$artifacts"
  cp "$root/fuzz/corpus/$name"/* "$corpus/"

  # Markup tokens for all, plus the element and attribute names of the file.
  dict="$build/$name.dict"
  cat "$root/fuzz/xml.dict" >"$dict"
  [ -f "$root/fuzz/$name.dict" ] && cat "$root/fuzz/$name.dict" >>"$dict"

  log="$build/$name.log"
  echo "== $target: fuzzing for ${share}s; log in $log"
  status=0
  "$build/$target" "$corpus" \
    -dict="$dict" \
    -max_total_time="$share" \
    -max_len=65536 \
    -rss_limit_mb=2048 \
    -timeout=25 \
    -print_final_stats=1 \
    -artifact_prefix="$artifacts/" \
    >"$log" 2>&1 || status=$?

  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  echo "executions: ${executions:-unknown}"
  grep -E '^Done [0-9]+ runs' "$log" | tail -n 1 || true
  if [ "$status" -ne 0 ]; then
    echo "result: FINDING (fuzzer exit code $status)"
    grep -E 'ERROR:|round trip broken|does not read back|admit|written without|SUMMARY|Test unit written to' \
      "$log" | head -n 20 || true
    failed="$failed $target"
  else
    echo "result: no crash, leak, hang or broken check"
  fi
done

if [ -n "$failed" ]; then
  echo "findings in:$failed"
  exit 1
fi
