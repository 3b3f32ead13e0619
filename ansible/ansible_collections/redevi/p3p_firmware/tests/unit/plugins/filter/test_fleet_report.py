# The fleet report's rows and CSV.
import csv
import json
import unittest

from ansible_collections.redevi.p3p_firmware.plugins.filter.fleet_report import (
    fleet_report, fleet_report_csv)


class FleetReportCsvTest(unittest.TestCase):
    # A cell that a spreadsheet would run as a formula is kept as text.
    CELLS = [("=HYPERLINK(\"x\")", "'=HYPERLINK(\"x\")"), ("+1", "'+1"), ("-1", "'-1"),
             ("@A1", "'@A1"), ("02-5E-ED-AA-00-01", "02-5E-ED-AA-00-01"), (True, "true"),
             (None, "")]

    def test_cells(self):
        for value, cell in self.CELLS:
            row = {"host": "h", "outcome": "updated", "exit_code": 2, "changed": True,
                   "failed": False, "message": value, "adapters": []}
            line = fleet_report_csv([row]).splitlines()[1]
            self.assertEqual(next(csv.reader([line]))[5], cell)


def result(outcome, when, failed=False):
    return {"kxvareviv_result": {"outcome": outcome, "when": when, "failed": failed,
                                 "exit_code": 2, "changed": False, "message": outcome,
                                 "adapters": [], "package_version": "4.0.534"}}


class FleetReportRowsTest(unittest.TestCase):
    STARTED = "2026-12-08T10:00:00Z"
    GROUPS = {"all": ["a", "b", "c", "d", "e", "old"], "rack": ["a", "b"], "ungrouped": ["c"]}
    PREVIOUS = [{"host": "e", "outcome": "updated", "when": "2026-12-01T09:00:00Z"},
                {"host": "d", "outcome": "up_to_date", "when": "2026-12-01T09:00:00Z"},
                {"host": "gone", "outcome": "updated", "when": "2026-12-01T09:00:00Z"}]

    def report(self, hostvars, batch, waves, previous=()):
        run = {"started": self.STARTED, "waves": waves, "outside_limit": ["d", "e"],
               "playbook": "redevi.p3p_firmware.rollout", "mode": "upgrade"}
        return fleet_report(hostvars, ["a", "b", "c"], run=run, batch=batch,
                            previous=json.dumps(list(previous)), groups=self.GROUPS)

    def test_rows_of_a_wave(self):
        fresh, stale = "2026-12-08T10:00:05Z", "2026-12-07T10:00:00Z"
        # hostvars, current wave, waves: outcomes, failed, unreachable, stop, a not_run message
        rows = [
            ({"a": result("updated", fresh), "b": result("up_to_date", stale)}, ["a"], [1, 1, 1],
             {"a": "updated", "b": "not_run", "c": "not_run"}, [], [], False,
             ("b", "Waits for wave 2 of 3.")),
            ({"a": result("flash_failed", fresh, True), "b": result("updated", stale)}, ["a"],
             [1, "100%"], {"a": "flash_failed", "b": "not_run", "c": "not_run"}, ["a"], [], True,
             ("c", "The run stopped after wave 1 of 2, where a (flash_failed) failed.")),
            ({"a": result("updated", fresh), "b": result("updated", stale)}, ["a", "b", "c"],
             ["100%"], {"a": "updated", "b": "unreachable", "c": "unreachable"}, [], ["b", "c"],
             True, None),
        ]
        for hostvars, batch, waves, outcomes, failed, unreachable, stop, message in rows:
            with self.subTest(batch=batch, waves=waves):
                seen = self.report(hostvars, batch, waves, self.PREVIOUS)
                by_host = dict((r["host"], r) for r in seen["rows"])
                self.assertEqual(dict((h, by_host[h]["outcome"]) for h in "abc"), outcomes)
                self.assertEqual((seen["failed"], seen["unreachable"], seen["stop"]),
                                 (failed, unreachable, stop))
                if message:
                    self.assertEqual(by_host[message[0]]["message"], message[1])
                self.assertEqual(by_host["e"], self.PREVIOUS[0], "outside --limit: kept")
                self.assertEqual(by_host["d"], self.PREVIOUS[1])
                self.assertNotIn("gone", by_host, "no longer in the inventory")
                self.assertEqual(by_host["a"]["groups"], ["rack"])
                self.assertEqual(by_host["a"]["playbook"], "redevi.p3p_firmware.rollout")
                ranks = [0 if r.get("failed") else 1 if r["outcome"] == "not_run" else 2
                         for r in seen["rows"]]
                self.assertEqual(ranks, sorted(ranks), "failed, then not run, then the rest")

    def test_outside_limit_without_an_earlier_row(self):
        seen = self.report({"a": result("updated", "2026-12-08T10:00:05Z")}, ["a", "b", "c"],
                           ["100%"])
        by_host = dict((r["host"], r) for r in seen["rows"])
        self.assertEqual((by_host["d"]["outcome"], by_host["d"]["message"]),
                         ("not_run", "Outside --limit of this run."))


if __name__ == "__main__":
    unittest.main()
