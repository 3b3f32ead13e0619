#!/usr/bin/env bash
# Makes the test fleet of the collection's tests in build/fleet (ten local
# hosts: older, current and newer firmware, no supported adapter, a failing
# flash, a busy flash tool, no package configuration, conflicting options, an
# altered and a missing image), then checks it and rolls the example package
# out on it with the collection's playbooks. The fleet report lands in
# build/fleet/kxvareviv-reports/. With --screenshot FILE, headless Chromium
# also takes a picture of the report page.
# Usage: scripts/fleet.sh [--screenshot FILE]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
shot=""
[ "${1:-}" = "--screenshot" ] && shot=$(realpath -m "${2:?--screenshot needs a file}")

scripts/install-deps.sh ${shot:+chromium} >/dev/null
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target KXVaReviv zadiroz >/dev/null

fleet="$root/build/fleet"
rm -rf "$fleet"
/usr/bin/python3 ansible/ansible_collections/redevi/p3p_firmware/tests/support/fleet_support.py "$fleet"
trap 'kill "$(cat "$fleet/busy-flash-tool.pid")" 2>/dev/null || true' EXIT

export ANSIBLE_COLLECTIONS_PATH="$root/ansible" PYTHONDONTWRITEBYTECODE=1
cd "$fleet"
# Both end with 2: five hosts fail on purpose, and the report says why.
ansible-playbook -i hosts.yml redevi.p3p_firmware.check || true
ansible-playbook -i hosts.yml redevi.p3p_firmware.rollout -e '{"kxvareviv_wave_sizes": ["100%"]}' || true
echo "Fleet report: $fleet/kxvareviv-reports/fleet-report.{json,csv,html}"

if [ -n "$shot" ]; then
  profile=$(mktemp -d)
  chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" --hide-scrollbars --window-size=1400,1200 \
    --screenshot="$shot" "file://$fleet/kxvareviv-reports/fleet-report.html" 2>/dev/null
  rm -rf "$profile"
  echo "Screenshot: $shot"
fi
