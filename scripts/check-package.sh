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

# Every DLL the utility imports must be a known DLL, which Windows loads from the
# system folder only: any other is looked for beside the program first, where
# someone could plant one (the others are loaded at run time from the system
# folder alone).
known_dlls="advapi32.dll kernel32.dll msvcrt.dll ntdll.dll psapi.dll user32.dll gdi32.dll
  shell32.dll ole32.dll oleaut32.dll rpcrt4.dll sechost.dll shlwapi.dll ws2_32.dll combase.dll
  imm32.dll setupapi.dll comdlg32.dll normaliz.dll nsi.dll wldap32.dll imagehlp.dll msctf.dll
  shcore.dll clbcatq.dll coml2.dll difxapi.dll gdiplus.dll"
imports=$(x86_64-w64-mingw32-objdump -p "$build/KXVaReviv.exe" | sed -n 's/^[[:space:]]*DLL Name: //p' |
  tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || { echo "package check: no imports listed for KXVaReviv.exe"; exit 1; }
for dll in $imports; do
  if ! grep -qw -- "$dll" <<<"$known_dlls"; then
    echo "package check: KXVaReviv.exe imports $dll, which is no known DLL (a planted copy beside it would be loaded)"
    exit 1
  fi
done

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
echo "package check: KXVaReviv.exe imports known DLLs only: $(echo $imports)"
