# The collection on the real engine: ansible-playbook against a fleet of local
# hosts, each with its own package folder, system drive, temporary folder and
# simulated adapters; then the play recap, the fleet report and the flash
# tool's calls of every host.
import os
import shutil
import unittest

import fleet_support as fs
from fleet_support import ALL_AT_ONCE, FLEET, WAVES, Fleet


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
        self.assertNotIn("<Q4T>", html, "host texts are escaped")
        self.assertNotRegex(html, r"(src|href)=")
        return {r["host"]: r for r in rows}

    def test_check_rollout_and_a_second_rollout(self):
        fleet = Fleet(self.root, FLEET, self.processes)
        refused = {"tool-running": "refused", "no-config": "package_missing",
                   "conflict": "invalid_options", "bad-image": "package_corrupt",
                   "no-image": "package_corrupt"}
        failed = dict(refused, **{"flash-fails": "flash_failed"})

        code, recap, out = fleet.playbook("check")
        self.assertEqual(code, 2, out)
        rows = self.assertOutcomes(fleet, dict(refused, **{
            "older": "not_run", "current": "up_to_date", "newer": "newer_installed",
            "unsupported": "not_applicable", "flash-fails": "update_recommended"}), out)
        self.assertIn("check mode stages nothing", rows["older"]["message"])
        self.assertEqual({h for h, r in recap.items() if r["failed"]}, set(refused), out)
        self.assertEqual({h for h, r in recap.items() if r["changed"]}, {"flash-fails"},
                         "changed only where an update is recommended; nothing staged")

        code, recap, out = fleet.playbook("rollout", "--check", *ALL_AT_ONCE)
        self.assertEqual({h for h, r in recap.items() if r["changed"]},
                         {"flash-fails"}, "changed where an update is recommended")
        self.assertEqual(fleet.flash_calls(), {h: [] for h in FLEET}, "nothing flashed")

        code, recap, out = fleet.playbook("rollout", *ALL_AT_ONCE)
        self.assertEqual(code, 2, out)
        rows = self.assertOutcomes(fleet, dict(failed, **{
            "older": "updated", "current": "up_to_date", "newer": "up_to_date",
            "unsupported": "not_applicable"}), out)
        self.assertEqual({h for h, r in recap.items() if r["failed"]}, set(failed), out)
        self.assertEqual({h for h, r in recap.items() if r["changed"]}, {"older"}, out)
        self.assertEqual(rows["older"]["adapters"], [fs.UPDATED_ADAPTER])
        self.assertEqual(rows["newer"]["adapters"][0]["name"], "P3P <Q4T> & port")
        self.assertIn("P3P &lt;Q4T&gt; &amp; port", fleet.report()[2])
        self.assertEqual(rows["conflict"]["message"],
                         "kxvareviv_rewrite (-e) cannot be combined with kxvareviv_force (-f)")
        self.assertEqual(rows["no-image"]["message"], "The firmware image p3p_rom.bin is missing")
        calls = fleet.flash_calls()
        self.assertEqual({h: len(c) for h, c in calls.items() if c},
                         {"older": 1, "flash-fails": 1}, out)
        for host in ("tool-running", "no-config", "conflict", "bad-image", "no-image"):
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

    def test_reports_and_inventory_of_every_host(self):
        fleet = Fleet(self.root, WAVES, self.processes)
        code, recap, out = fleet.playbook("report")
        self.assertEqual(code, 0, out)
        self.assertOutcomes(fleet, {name: "report_written" for name in WAVES}, out)
        for name in WAVES:
            fetched = os.path.join(self.root, "kxvareviv-reports", name, "kxvareviv-report.xml")
            self.assertIn("<kx_rom_discovery", open(fetched).read(), name)
        code, recap, out = fleet.playbook("inventory")
        rows = self.assertOutcomes(fleet, {name: "inventory_shown" for name in WAVES}, out)
        adapter = rows["wave-2"]["adapters"][0]
        self.assertEqual((adapter["installed"], adapter["available"]), ("4.0.520", "4.0.534"))
        self.assertEqual({h for h, r in recap.items() if r["changed"] or r["failed"]}, set(), out)


if __name__ == "__main__":
    unittest.main()
