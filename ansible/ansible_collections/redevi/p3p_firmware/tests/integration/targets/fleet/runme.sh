#!/usr/bin/env bash
# The playbooks on the real engine against a fleet of local hosts.
set -euo pipefail
cd "$(dirname "$0")"
export PYTHONPATH="$PWD/../../../support${PYTHONPATH:+:$PYTHONPATH}" PYTHONDONTWRITEBYTECODE=1
# Debian's ansible lives in the system Python, whatever python3 is first on PATH.
[ $# -gt 0 ] || set -- test_fleet test_fleet_runs
exec /usr/bin/python3 -m unittest -v "$@"
