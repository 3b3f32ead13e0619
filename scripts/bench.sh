#!/bin/sh
# Builds the XML parse benchmark (Release, -O2) into build-bench/ and runs it, then
# prints MB/s (10^6 bytes per second) per document and library.
#   scripts/bench.sh [extra Google Benchmark options, e.g. --benchmark_filter=config]
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"

# The benchmark links four other XML parsers; install only what is missing.
missing=""
for pkg in cmake g++ libbenchmark-dev libpugixml-dev libtinyxml2-dev libxml2-dev libexpat1-dev; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing="$missing $pkg"
done
if [ -n "$missing" ]; then
  echo "installing:$missing"
  if [ "$(id -u)" -eq 0 ]; then
    apt-get install -y $missing
  else
    sudo apt-get install -y $missing
  fi
fi

cmake -S "$root/bench" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2

results="$build/results.csv"
"$build/xml_bench" --benchmark_out="$results" --benchmark_out_format=csv "$@"

echo
echo "MB/s (10^6 bytes/s, CPU time); ratios are ours divided by the other library"
awk -F, '
  /^"parse\// {
    name = $1; gsub(/"/, "", name)
    split(name, part, "/")
    doc = part[2]; lib = part[3]
    if (!(doc in seen)) { seen[doc] = 1; docs[++ndocs] = doc }
    if (!(lib in libseen)) { libseen[lib] = 1; libs[++nlibs] = lib }
    rate[doc, lib] = ($6 == "" ? 0 : $6 / 1e6)
  }
  END {
    printf "%-12s", "document"
    for (j = 1; j <= nlibs; j++) printf " %13s", libs[j]
    printf " | ours vs: %8s %13s %8s\n", "tinyxml2", "tinyxml2_read", "pugixml"
    for (i = 1; i <= ndocs; i++) {
      d = docs[i]
      printf "%-12s", d
      for (j = 1; j <= nlibs; j++) printf " %13.1f", rate[d, libs[j]]
      o = rate[d, "ours"]
      printf " | %8s %8s %13s %8s\n", "", ratio(o, rate[d, "tinyxml2"]), ratio(o, rate[d, "tinyxml2_read"]), ratio(o, rate[d, "pugixml"])
    }
  }
  function ratio(a, b) {
    return b > 0 ? sprintf("%.2fx", a / b) : "-"
  }' "$results"
