#!/usr/bin/env bash
# The controller's cost of the fleet collection: builds a fleet of local hosts
# (the collection's test fleet support: each host its own package, system drive
# and simulated adapters), then runs on the same fleet, with the same forks,
#   - the collection's check playbook (redevi.p3p_firmware.check), and
#   - the role redevi.p3p_firmware.upgrade alone in one play (kxvareviv_mode:
#     check): what each host costs without the fleet report and the waves,
#   - a playbook of one ansible.builtin.command task that runs the utility's
#     check (-n), the least any playbook can do,
# and prints the CPU time (user + system) of each ansible-playbook process tree
# per host, and their ratio. With local hosts the "host" side runs on this
# machine too, so both figures include the module runs and the utility itself.
# Usage: scripts/fleet-bench.sh [hosts (30)] [forks (5)] [rounds (3)]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
hosts=${1:-30} forks=${2:-5} rounds=${3:-3}

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target KXVaReviv zadiroz >/dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export KX_BUILD_DIR="$root/build" PYTHONDONTWRITEBYTECODE=1
export PYTHONPATH="$root/ansible/ansible_collections/redevi/p3p_firmware/tests/support"
# Debian's ansible lives in the system Python, whatever python3 is first on PATH.
/usr/bin/python3 - "$scratch" "$hosts" "$forks" "$rounds" <<'EOF'
import os
import resource
import statistics
import subprocess
import sys
import time

import fleet_support as fs

root, hosts, forks, rounds = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
kinds = [fs.OLDER, fs.CURRENT, fs.NEWER]
layout = {"host-%03d" % i: ([kinds[i % 3]], {}, None) for i in range(hosts)}
fleet = fs.Fleet(root, layout, [])
with open(os.path.join(root, "role.yml"), "w") as out:
    out.write("""- name: The upgrade role alone
  hosts: all
  gather_facts: false
  vars:
    kxvareviv_mode: check
  roles:
    - redevi.p3p_firmware.upgrade
""")
with open(os.path.join(root, "command.yml"), "w") as out:
    out.write("""- name: The utility's check, one task
  hosts: all
  gather_facts: false
  tasks:
    - name: Run -n
      ansible.builtin.command:
        argv: ["{{ kxvareviv_package_dir }}/KXVaReviv", "-n"]
        chdir: "{{ kxvareviv_package_dir }}"
      environment: "{{ kxvareviv_environment }}"
      changed_when: false
      failed_when: false
""")
env = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=fs.COLLECTIONS, ANSIBLE_NOCOLOR="1",
           ANSIBLE_LOCALHOST_WARNING="false", ANSIBLE_FORKS=forks,
           ANSIBLE_LOCAL_TEMP=os.path.join(root, ".ansible-tmp"),
           ANSIBLE_REMOTE_TEMP=os.path.join(root, ".ansible-tmp"))
playbooks = [("redevi.p3p_firmware.check", "redevi.p3p_firmware.check"),
             ("role upgrade alone", os.path.join(root, "role.yml")),
             ("one command task (-n)", os.path.join(root, "command.yml"))]


def measure(playbook):
    """CPU seconds (user + system) of the playbook's whole process tree, and wall seconds."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    run = subprocess.run(["ansible-playbook", "-i", fleet.inventory, playbook], cwd=root,
                         env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         universal_newlines=True)
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if run.returncode != 0 or "failed=0" not in run.stdout:
        sys.exit("%s failed:\n%s" % (playbook, run.stdout[-3000:]))
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return cpu, wall


samples = {name: [] for name, _ in playbooks}
for _ in range(rounds):  # alternating, so that the machine's load falls on both alike
    for name, playbook in playbooks:
        samples[name].append(measure(playbook))
print("%d hosts, forks %s, median of %d rounds; load average before: %s"
      % (hosts, forks, rounds, open("/proc/loadavg").read().split()[0]))
print("| playbook | wall s | controller CPU s | CPU s per host |")
print("|---|---:|---:|---:|")
per_host = {}
for name, _ in playbooks:
    cpu = statistics.median(c for c, _ in samples[name])
    wall = statistics.median(w for _, w in samples[name])
    per_host[name] = cpu / hosts
    print("| %s | %.1f | %.1f | %.3f |" % (name, wall, cpu, per_host[name]))
check, role, command = (per_host[name] for name, _ in playbooks)
print("Ratio check / one command task: %.2f (target: at most 1.5)" % (check / command))
print("Ratio role alone / one command task: %.2f" % (role / command))
EOF
