#!/usr/bin/env bash
# Tests the fleet collection (ansible/): the outcome filter on real runs of the
# Linux build, playbooks on the real engine against a fleet of local hosts,
# ansible-lint, the syntax of every playbook (the Windows task path included),
# the style of its Python and the collection's build. Usage: scripts/ansible-test.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
export KX_BUILD_DIR="$root/${1:-build}"
export ANSIBLE_COLLECTIONS_PATH="$root/ansible" ANSIBLE_NOCOLOR=1 PYTHONDONTWRITEBYTECODE=1
collection="$root/ansible/ansible_collections/redevi/p3p_firmware"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Debian's ansible lives in the system Python, whatever python3 is first on PATH.
/usr/bin/python3 -m unittest discover -s ansible/tests -v 2>&1 | tee "$scratch/unittest.log"
tests=$(sed -n 's/^Ran \([0-9]*\) tests\{0,1\} in .*/\1/p' "$scratch/unittest.log")

checks=0
# The Python of the collection and its tests: style and unused or undefined names.
/usr/bin/python3 -m pycodestyle --max-line-length=100 "$collection/plugins" ansible/tests
pyflakes3 "$collection/plugins" ansible/tests
checks=$((checks + 1))
for playbook in check rollout inventory report; do
  (cd "$scratch" && ansible-playbook -i localhost, --syntax-check "redevi.p3p_firmware.$playbook")
  checks=$((checks + 1))
done
(cd "$collection" && ansible-lint --offline --nocolor)
checks=$((checks + 1))
(cd "$collection" && ansible-galaxy collection build --output-path "$scratch/dist" >/dev/null)
tar -tzf "$scratch"/dist/redevi-p3p_firmware-*.tar.gz >"$scratch/contents"
grep -qx 'plugins/filter/run_outcome.py' "$scratch/contents"
checks=$((checks + 1))

echo "Collection: $((tests + checks)) tests passed, 0 failed"
