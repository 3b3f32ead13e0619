# A fleet run as administrators write it: wave sizes from -e and from
# group_vars, unreachable hosts, host patterns, and a --limit re-run from the
# retry file, each on the real engine against local hosts of the Linux build.
import json
import os
import shutil
import unittest

import fleet_support as fs
from fleet_support import Fleet

OLDER = ([fs.OLDER], {}, None)
FAILS = ([fs.SECOND_OLDER, fs.FLASH_FAILS], {}, None)
GONE = ([fs.OLDER], {}, "unreachable")
RACKS = {"rack_a": ["w1", "w2"], "rack_b": ["w3"], "p3p_servers": ["w1", "w3"]}
STOPPED = "The run stopped after wave 1 of 3, where gone (unreachable) failed."


class FleetRunsTest(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        self.root = fs.scratch("kx-runs-")

    def tearDown(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def fleet(self, name, layout, **more):
        return Fleet(os.path.join(self.root, name), layout, [], **more)

    def test_wave_sizes_and_host_patterns(self):
        fleet = self.fleet("w", {"w1": OLDER, "w2": OLDER, "w3": OLDER}, groups=RACKS)
        # how the setting is given, its value, the waves (hosts) or the refusal
        rows = [
            ("-e", ["abc"], "kxvareviv_wave_sizes: 'abc' is neither a number of hosts"),
            ("-e", [0], "kxvareviv_wave_sizes: 0 is neither"),
            ("-e", [], "kxvareviv_wave_sizes is empty"),
            ("-e", ["0%"], "kxvareviv_wave_sizes: '0%' is neither"),
            ("-e", ["-1"], "kxvareviv_wave_sizes: '-1' is neither"),
            ("-e", [2.5], "kxvareviv_wave_sizes: 2.5 is neither"),
            ("key=value", "1,100%", [["w1"], ["w2", "w3"]]),
            ("group_vars/all", [2, "100%"], [["w1", "w2"], ["w3"]]),
            ("group_vars/all", ["34%"], [["w1"], ["w2"], ["w3"]]),
            ("group_vars/rack_b", [2], "kxvareviv_wave_sizes differs between the hosts"),
            ("default", None, [["w1"], ["w2"], ["w3"]]),
        ]
        for how, value, expected in rows:
            with self.subTest(how=how, value=value):
                fleet.set_group_vars({how.split("/")[1]: {"kxvareviv_wave_sizes": value}}
                                     if how.startswith("group_vars") else {})
                args = {"-e": ["-e", json.dumps({"kxvareviv_wave_sizes": value})],
                        "key=value": ["-e", "kxvareviv_wave_sizes=%s" % value]}.get(how, [])
                code, recap, out = fleet.playbook("rollout", "--check", *args)
                self.assertNotIn("Traceback", out)
                self.assertNotIn("unexpected exception", out)
                if isinstance(expected, str):
                    self.assertEqual(code, 2, out)
                    self.assertIn(expected, out)
                    self.assertEqual([c for h in fleet.hosts.values() for c in h.tool_calls()],
                                     [], "refused before any host ran")
                else:
                    self.assertEqual(fs.waves_run(out), expected, out)
                fleet.forget_calls()

        fleet.set_group_vars({"all": {"kxvareviv_hosts": "rack_a"}})
        code, recap, out = fleet.playbook("rollout", "--check")
        self.assertEqual(code, 2, out)
        self.assertRegex(out, r'kxvareviv_hosts is \\"rack_a\\" in the inventory, where the play '
                              r"cannot read it")
        fleet.set_group_vars({})

        # -e kxvareviv_hosts: any host pattern; the report covers the play's hosts and
        # keeps the rows of the hosts an earlier run covered.
        runs = [("w2", ["w2"], []), ("rack_a:&p3p_servers", ["w1"], ["w2"]),
                ("rack_b,w2", ["w3", "w2"], ["w1"])]
        for pattern, ran, kept in runs:
            with self.subTest(pattern=pattern):
                before = fleet.report_rows() if os.path.exists(
                    os.path.join(self.root, "w", "kxvareviv-reports")) else {}
                code, recap, out = fleet.playbook("rollout", "-e", "kxvareviv_hosts=" + pattern,
                                                  *fs.ALL_AT_ONCE)
                self.assertEqual(sorted(recap), sorted(ran), out)
                rows = fleet.report_rows()
                self.assertEqual(sorted(rows), sorted(set(ran) | set(kept) | set(before)))
                for host in kept:
                    self.assertEqual(rows[host], before[host], "kept as it was")
                self.assertEqual(rows[ran[0]]["groups"], sorted(
                    g for g, members in RACKS.items() if ran[0] in members))

    def test_unreachable_hosts(self):
        # waves, hosts in inventory order, each host's outcome, exit code
        rows = [
            (None, {"gone": GONE, "a": OLDER, "b": OLDER},
             {"gone": "unreachable", "a": "not_run", "b": "not_run"}, 4),
            (["100%"], {"a": OLDER, "gone": GONE, "b": FAILS},
             {"gone": "unreachable", "a": "updated", "b": "flash_failed"}, 4),
        ]
        for index, (waves, layout, outcomes, exit_code) in enumerate(rows):
            with self.subTest(waves=waves):
                fleet = self.fleet("u%d" % index, layout)
                folder = fs.make_dir(os.path.join(fleet.root, "kxvareviv-reports"))
                with open(os.path.join(folder, "fleet-report.json"), "w") as old:
                    json.dump([{"host": "gone", "outcome": "up_to_date", "failed": False}], old)
                args = ["-e", json.dumps({"kxvareviv_wave_sizes": waves})] if waves else []
                code, recap, out = fleet.playbook("rollout", *args)
                self.assertEqual(code, exit_code, out)
                self.assertEqual(recap["gone"]["unreachable"], 1, out)
                rows_seen, _, html = fleet.report()
                self.assertEqual(dict((r["host"], r["outcome"]) for r in rows_seen), outcomes)
                self.assertEqual(rows_seen[0]["host"], "gone", "failed hosts first")
                self.assertTrue(rows_seen[0]["failed"])
                failed = sum(1 for r in rows_seen if r["failed"])
                self.assertIn("%d failed (1 unreachable)" % failed, html)
                for row in rows_seen:
                    if row["outcome"] == "not_run":
                        self.assertEqual(row["message"], STOPPED)
                        self.assertEqual(fleet.hosts[row["host"]].tool_calls(), [])

    def test_limit_rerun_keeps_the_others_results(self):
        layout = {"a": ([fs.OLDER], {"kxvareviv_local_fact": "yes"}, None), "b": FAILS,
                  "c": OLDER}
        fleet = self.fleet("r", layout, groups={"rack_a": ["a", "b"], "rack_b": ["c"]})
        facts = os.path.join(fleet.root, "a", "facts.d")
        retry = {"ANSIBLE_RETRY_FILES_ENABLED": "true", "ANSIBLE_RETRY_FILES_SAVE_PATH": fleet.root}
        code, recap, out = fleet.playbook("rollout", "-e", "kxvareviv_fact_path=" + facts,
                                          *fs.ALL_AT_ONCE, **retry)
        self.assertEqual(code, 2, out)
        with open(os.path.join(fleet.root, "rollout.retry")) as listed:
            self.assertEqual(listed.read().split(), ["b"], "only the host that failed")
        first = fleet.report_rows()
        self.assertEqual(dict((h, r["outcome"]) for h, r in first.items()),
                         {"a": "updated", "b": "flash_failed", "c": "updated"})
        self.assertEqual(first["b"]["message"],
                         "NIC firmware update completed with errors: REdevi P3P D2T dual-port "
                         "MAC 02-5E-ED-BB-00-01 at 4:0.0: error code 7.")
        self.assertEqual(
            dict((k, first["a"][k]) for k in ("playbook", "mode", "check_mode",
                                              "package_version", "groups")),
            {"playbook": "redevi.p3p_firmware.rollout", "mode": "upgrade", "check_mode": False,
             "package_version": fs.PACKAGE_VERSION, "groups": ["rack_a"]})
        with open(os.path.join(facts, "kxvareviv.fact")) as fact:
            self.assertEqual(json.load(fact)["outcome"], "updated")

        with open(fleet.hosts["b"].scenario, "w") as out:
            out.write(fs.scenario(fs.SECOND_OLDER))  # the adapter takes its flash now
        code, recap, out = fleet.playbook(
            "rollout", "--limit", "@" + os.path.join(fleet.root, "rollout.retry"),
            *fs.ALL_AT_ONCE)
        self.assertEqual((code, sorted(recap)), (0, ["b"]), out)
        second = fleet.report_rows()
        self.assertEqual(second["b"]["outcome"], "updated")
        self.assertGreater(second["b"]["when"], first["b"]["when"])
        self.assertEqual((second["a"], second["c"]), (first["a"], first["c"]),
                         "the hosts outside --limit keep their results and times")


if __name__ == "__main__":
    unittest.main()
