# The collection on the real engine: ansible-playbook against a fleet of local
# hosts, each with its own package folder, system drive, temporary folder and
# simulated adapters; then the play recap, the fleet report and the flash
# tool's calls of every host.
import csv
import hashlib
import json
import os
import re
import shutil
import subprocess
import time
import unittest

import fleet_support as fs

FLASH_FAILS = '<operation name="flash" location="4:0.0" exit="7"/>'
RECAP = re.compile(r"^(\S+)\s+: ok=(\d+)\s+changed=(\d+)\s+unreachable=(\d+)\s+failed=(\d+)", re.M)
ALL_AT_ONCE = ["-e", '{"kxvareviv_wave_sizes": ["100%"]}']

# name: scenario parts, inventory variables, setup
FLEET = {
    "older": ([fs.OLDER], {"kxvareviv_package_src": "{src}"}, "unstaged"),
    "current": ([fs.CURRENT], {"kxvareviv_image_sha256": "{sha256}"}, None),
    "newer": ([fs.NEWER], {}, None),
    "unsupported": ([fs.UNSUPPORTED], {}, None),
    "flash-fails": ([fs.SECOND_OLDER, FLASH_FAILS], {}, None),
    "tool-running": ([fs.OLDER], {}, "lock"),
    "no-config": ([fs.OLDER], {}, "no_config"),
    "conflict": ([fs.OLDER], {"kxvareviv_force": True, "kxvareviv_rewrite": True}, None),
    "bad-image": ([fs.OLDER], {"kxvareviv_image_sha256": "0" * 64}, None),
}
WAVES = {  # the first wave (one host) fails, the later ones must never start
    "wave-1": ([fs.SECOND_OLDER, FLASH_FAILS], {}, None),
    "wave-2": ([fs.OLDER], {}, None),
    "wave-3": ([fs.OLDER], {}, None),
    "wave-4": ([fs.OLDER], {}, None),
    "wave-5": ([fs.OLDER], {}, None),
}


def sha256_of(path):
    with open(path, "rb") as image:
        return hashlib.sha256(image.read()).hexdigest()


class Fleet(object):
    """Host folders and the inventory that names them."""

    def __init__(self, root, spec, processes):
        self.root = root
        self.hosts = {}
        src = fs.stage_package(os.path.join(root, "package-src"))
        sha256 = sha256_of(os.path.join(src, "p3p_rom.bin"))
        inventory = {"all": {"vars": {"ansible_connection": "local",
                                      "ansible_python_interpreter": "/usr/bin/python3"},
                             "hosts": {}}}
        for name, (parts, variables, setup) in spec.items():
            host = fs.Host(root, name, fs.scenario(*parts), staged=(setup != "unstaged"))
            if setup == "no_config":
                os.remove(os.path.join(host.package, "ZOVOREruz.xml"))
            if setup == "lock":
                processes.append(self.start_flash_tool(host))
            entry = {"kxvareviv_package_dir": host.package,
                     "kxvareviv_environment": host.environment}
            for key, value in variables.items():
                entry[key] = value.format(src=src, sha256=sha256) if isinstance(value, str) else value
            inventory["all"]["hosts"][name] = entry
            self.hosts[name] = host
        self.inventory = os.path.join(root, "hosts.yml")
        with open(self.inventory, "w") as out:
            json.dump(inventory, out, indent=1)

    @staticmethod
    def start_flash_tool(host):
        """A flash tool busy on this host: it holds its lock in the host's TMPDIR."""
        busy = fs.make_dir(os.path.join(host.root, "busy"))
        with open(os.path.join(busy, "scenario.xml"), "w") as out:
            out.write(fs.scenario('<operation name="list" sleep_ms="600000"/>'))
        env = dict(os.environ, TMPDIR=host.tmp, ZADIROZ_SCENARIO="scenario.xml")
        process = subprocess.Popen([fs.FLASH_TOOL, "-flashsupport", "-d", "p3p_rom.bin",
                                    "tempNicList.xml", "-p3"], cwd=busy, env=env)
        lock = os.path.join(host.tmp, "rozado_lock_file")
        for _ in range(200):
            if os.path.exists(lock):
                break
            time.sleep(0.05)
        return process

    def playbook(self, name, *args):
        env = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=fs.COLLECTIONS, ANSIBLE_NOCOLOR="1",
                   ANSIBLE_LOCAL_TEMP=os.path.join(self.root, ".ansible-tmp"),
                   ANSIBLE_REMOTE_TEMP=os.path.join(self.root, ".ansible-tmp"),
                   ANSIBLE_LOCALHOST_WARNING="false", PWD=self.root)
        run = subprocess.run(["ansible-playbook", "-i", self.inventory,
                              "redevi.p3p_firmware." + name] + list(args),
                             cwd=self.root, env=env, stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, universal_newlines=True)
        recap = {m.group(1): {"ok": int(m.group(2)), "changed": int(m.group(3)),
                              "unreachable": int(m.group(4)), "failed": int(m.group(5))}
                 for m in RECAP.finditer(run.stdout)}
        return run.returncode, recap, run.stdout

    def report(self):
        folder = os.path.join(self.root, "kxvareviv-reports")
        with open(os.path.join(folder, "fleet-report.json")) as data:
            rows = json.load(data)
        with open(os.path.join(folder, "fleet-report.csv"), newline="") as data:
            lines = list(csv.DictReader(data))
        with open(os.path.join(folder, "fleet-report.html")) as page:
            html = page.read()
        return rows, lines, html

    def flash_calls(self):
        return {name: [c for c in host.tool_calls() if " -i " in c]
                for name, host in self.hosts.items()}

    def forget_calls(self):
        for host in self.hosts.values():
            if os.path.exists(host.calls):
                os.remove(host.calls)


class FleetTest(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        self.processes = []
        self.root = fs.scratch("kx-fleet-")

    def tearDown(self):
        for process in self.processes:
            process.kill()
            process.wait()
        shutil.rmtree(self.root, ignore_errors=True)

    def assertOutcomes(self, fleet, expected, out):
        rows, lines, html = fleet.report()
        self.assertEqual({r["host"]: r["outcome"] for r in rows}, expected, out)
        failed = [r["host"] for r in rows if r["failed"]]
        self.assertEqual([r["host"] for r in rows[:len(failed)]], failed, "failed hosts first")
        for row in rows:
            self.assertEqual(sum(1 for line in lines if line["host"] == row["host"]),
                             max(1, len(row["adapters"])), "a CSV row per host and adapter")
            self.assertIn("<td>%s</td>" % row["host"], html)
        self.assertNotIn("<script", html)
        self.assertNotRegex(html, r"(src|href)=")
        return {r["host"]: r for r in rows}

    def test_check_rollout_and_a_second_rollout(self):
        fleet = Fleet(self.root, FLEET, self.processes)
        refused = {"tool-running": "refused", "no-config": "package_missing",
                   "conflict": "invalid_options", "bad-image": "package_corrupt"}
        failed = dict(refused, **{"flash-fails": "flash_failed"})

        code, recap, out = fleet.playbook("check")
        self.assertEqual(code, 2, out)
        self.assertOutcomes(fleet, dict(refused, **{
            "older": "update_recommended", "current": "up_to_date", "newer": "newer_installed",
            "unsupported": "not_applicable", "flash-fails": "update_recommended"}), out)
        self.assertEqual({h for h, r in recap.items() if r["failed"]}, set(refused), out)
        self.assertEqual({h for h, r in recap.items() if r["changed"]}, {"older"},
                         "only the package staged on older")

        code, recap, out = fleet.playbook("rollout", "--check", *ALL_AT_ONCE)
        self.assertEqual({h for h, r in recap.items() if r["changed"]},
                         {"older", "flash-fails"}, "changed where an update is recommended")
        self.assertEqual(fleet.flash_calls(), {h: [] for h in FLEET}, "nothing flashed")

        code, recap, out = fleet.playbook("rollout", *ALL_AT_ONCE)
        self.assertEqual(code, 2, out)
        rows = self.assertOutcomes(fleet, dict(failed, **{
            "older": "updated", "current": "up_to_date", "newer": "up_to_date",
            "unsupported": "not_applicable"}), out)
        self.assertEqual({h for h, r in recap.items() if r["failed"]}, set(failed), out)
        self.assertEqual({h for h, r in recap.items() if r["changed"]}, {"older"}, out)
        self.assertEqual(rows["older"]["adapters"], [{
            "name": "REdevi P3P Q4T quad-port", "mac": "02-5E-ED-AA-00-01", "location": "3:0.0",
            "installed": "4.0.520", "available": fs.PACKAGE_VERSION, "result": "updated"}])
        self.assertEqual(rows["conflict"]["message"],
                         "kxvareviv_rewrite (-e) cannot be combined with kxvareviv_force (-f)")
        calls = fleet.flash_calls()
        self.assertEqual({h: len(c) for h, c in calls.items() if c},
                         {"older": 1, "flash-fails": 1}, out)
        for host in ("tool-running", "no-config", "conflict", "bad-image"):
            self.assertEqual(fleet.hosts[host].tool_calls(), [], host + " never reached the tool")

        fleet.forget_calls()
        code, recap, out = fleet.playbook("rollout", *ALL_AT_ONCE)
        self.assertEqual({h for h, r in recap.items() if r["changed"]}, set(), "idempotent")
        rows = self.assertOutcomes(fleet, dict(failed, **{
            "older": "up_to_date", "current": "up_to_date", "newer": "up_to_date",
            "unsupported": "not_applicable"}), out)
        self.assertEqual({h: len(c) for h, c in fleet.flash_calls().items() if c},
                         {"flash-fails": 1}, out)

    def test_a_failed_first_wave_stops_the_rollout(self):
        fleet = Fleet(self.root, WAVES, self.processes)
        code, recap, out = fleet.playbook("rollout")
        self.assertNotEqual(code, 0, out)
        self.assertOutcomes(fleet, {"wave-1": "flash_failed", "wave-2": "not_run",
                                    "wave-3": "not_run", "wave-4": "not_run",
                                    "wave-5": "not_run"}, out)
        self.assertEqual(list(recap), ["wave-1"], out)
        for name in ("wave-2", "wave-3", "wave-4", "wave-5"):
            self.assertEqual(fleet.hosts[name].tool_calls(), [], name)


if __name__ == "__main__":
    unittest.main()
