#!/usr/bin/env bash
# The upgrade role's one task on the real engine: what the administrator wrote
# (INI texts, -e, typos, the check playbook, staging) against what ran.
set -euo pipefail
cd "$(dirname "$0")"
export PYTHONPATH="$PWD/../../../support${PYTHONPATH:+:$PYTHONPATH}" PYTHONDONTWRITEBYTECODE=1
# Debian's ansible lives in the system Python, whatever python3 is first on PATH.
exec /usr/bin/python3 -m unittest -v test_kxvareviv_run "$@"
