#!/usr/bin/env bash
# Makes the Windows zip with CPack and checks it: exactly the utility, the user
# guide, the exit-code table and the licence, with the project version in its
# name; the extracted .exe shows that version from its resource under Wine.
# Usage: scripts/check-package.sh BUILD_WIN_DIR   (WINEPREFIX set by the caller)
set -euo pipefail
build="$(cd "$1" && pwd)"
root="$(cd "$(dirname "$0")/.." && pwd)"
version=$(sed -n 's/^project(KXVaReviv VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
zip="$build/KXVaReviv-$version-windows-x64.zip"

rm -f "$zip"
(cd "$build" && cpack -G ZIP >/dev/null)
[ -f "$zip" ] || { echo "package check: $zip was not made"; exit 1; }

listing=$(python3 -c 'import sys, zipfile; print("\n".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' "$zip")
expected=$(printf '%s\n' KXVaReviv.exe LICENSE exit-codes.md user-guide.md | sort)
if [ "$listing" != "$expected" ]; then
  echo "package check: unexpected contents of $(basename "$zip"):"
  echo "$listing"
  exit 1
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$scratch"
cp "$root/examples/ZOVOREruz.xml" "$scratch/"
output=$(cd "$scratch" && "$root/cmake/wine-run.sh" ./KXVaReviv.exe -h </dev/null | tr -d '\r')
if ! grep -qF "KX REdevi P3P Online Firmware Upgrade Utility for Windows ($version)" <<<"$output"; then
  echo "package check: the packaged KXVaReviv.exe does not show version $version:"
  echo "$output" | head -5
  exit 1
fi
echo "package check: $(basename "$zip") holds the utility $version, its guide, exit codes and licence"
