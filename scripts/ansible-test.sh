#!/usr/bin/env bash
# Tests the fleet collection (ansible/ansible_collections/redevi/p3p_firmware):
# its unit tests (tests/unit), its integration targets on real runs of the Linux
# build (tests/integration/targets/*/runme.sh: the outcome filter, the playbooks
# on the real engine against a fleet of local hosts), ansible-lint, the syntax of
# every playbook (the Windows task path included), the style of its Python and
# the collection's build. Usage: scripts/ansible-test.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
export KX_BUILD_DIR="$root/${1:-build}"
export ANSIBLE_COLLECTIONS_PATH="$root/ansible" ANSIBLE_NOCOLOR=1 PYTHONDONTWRITEBYTECODE=1
collection="$root/ansible/ansible_collections/redevi/p3p_firmware"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Adds the tests that a unittest run (its output in $1) ran; a failure has
# already ended the script.
tests=0
count_ran() {
  local n
  n=$(sed -n 's/^Ran \([0-9]*\) tests\{0,1\} in .*/\1/p' "$1")
  tests=$((tests + ${n:-0}))
}

# Debian's ansible lives in the system Python, whatever python3 is first on PATH.
(cd "$collection/tests" && PYTHONPATH="$root/ansible" \
  /usr/bin/python3 -m unittest discover -s unit -t . -v) 2>&1 | tee "$scratch/unit.log"
count_ran "$scratch/unit.log"
# The targets' runs see only their own processes (as root: a PID namespace with
# its own /proc), so that a flash tool running elsewhere on the machine (the
# demo, another test) cannot refuse a host that a target expects to run.
view=()
if [ "$(id -u)" -eq 0 ] && unshare --pid --fork --mount-proc true 2>/dev/null; then
  view=(unshare --pid --fork --mount-proc)
fi
for target in "$collection"/tests/integration/targets/*/; do
  [ -x "$target/runme.sh" ] || continue
  echo "== integration target $(basename "$target")"
  PYTHONPATH="$root/ansible" "${view[@]}" "$target/runme.sh" 2>&1 | tee "$scratch/target.log"
  count_ran "$scratch/target.log"
done

checks=0
# The Python of the collection and its tests: style and unused or undefined names.
/usr/bin/python3 -m pycodestyle --max-line-length=100 "$collection/plugins" "$collection/tests"
pyflakes3 "$collection/plugins" "$collection/tests"
checks=$((checks + 1))
for playbook in check rollout inventory report; do
  (cd "$scratch" && ansible-playbook -i localhost, --syntax-check "redevi.p3p_firmware.$playbook")
  checks=$((checks + 1))
done
# ansible-test sanity, as far as it runs offline. Not run here: ansible-doc,
# import, pep8, pylint, runtime-metadata, validate-modules and yamllint (each
# installs its tools into a virtual environment from the network; ansible-lint,
# pycodestyle, pyflakes and the ansible-doc check below stand in for some of
# them), and pslint (needs pwsh).
offline="action-plugin-docs changelog compile empty-init future-import-boilerplate ignores
  line-endings metaclass-boilerplate no-assert no-basestring no-dict-iteritems no-dict-iterkeys
  no-dict-itervalues no-get-exception no-illegal-filenames no-main-display no-smart-quotes
  no-unicode-literals replace-urlopen shebang shellcheck symlinks use-argspec-type-path
  use-compat-six"
python=$(/usr/bin/python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])')
(cd "$collection" && ansible-test sanity --color no --python "$python" \
  $(printf -- '--test %s ' $offline))
checks=$((checks + 1))
# Every filter has a page of its own in ansible-doc.
filters=$(cd "$scratch" && ansible-doc -t filter -l redevi.p3p_firmware | awk '{print $1}')
[ -n "$filters" ]
for filter in $filters; do
  (cd "$scratch" && ansible-doc -t filter "$filter") | head -n 1 | grep -qi "^> $filter "
done
checks=$((checks + 1))
# The modules' pages (their DOCUMENTATION, EXAMPLES and RETURN parse).
for module in kxvareviv_run win_kxvareviv_run; do
  (cd "$scratch" && ansible-doc "redevi.p3p_firmware.$module") | head -n 1 | grep -qi "^> redevi.p3p_firmware.$module "
done
checks=$((checks + 1))
(cd "$collection" && ansible-lint --offline --nocolor)
checks=$((checks + 1))
(cd "$collection" && ansible-galaxy collection build --output-path "$scratch/dist" >/dev/null)
tar -tzf "$scratch"/dist/redevi-p3p_firmware-*.tar.gz >"$scratch/contents"
grep -qx 'plugins/filter/run_outcome.py' "$scratch/contents"
grep -qx 'plugins/modules/kxvareviv_run.py' "$scratch/contents"
grep -qx 'plugins/modules/win_kxvareviv_run.ps1' "$scratch/contents"
# The archive holds what a user installs: no tests, no caches, no earlier archives.
if grep -E '^(tests/|.*__pycache__|.*\.tar\.gz$)' "$scratch/contents"; then
  echo "The collection's archive holds files that it must not ship." >&2
  exit 1
fi
checks=$((checks + 1))

echo "Collection: $((tests + checks)) tests passed, 0 failed"
