#!/usr/bin/env bash
# The filter run_outcome on real runs of the Linux build, one row per outcome.
set -euo pipefail
cd "$(dirname "$0")"
export PYTHONPATH="$PWD/../../../support${PYTHONPATH:+:$PYTHONPATH}" PYTHONDONTWRITEBYTECODE=1
# Debian's ansible lives in the system Python, whatever python3 is first on PATH.
exec /usr/bin/python3 -m unittest -v test_run_outcome "$@"
