# The filter run_outcome on real runs: every row runs the built utility against
# the simulated flash tool in a scratch package, then feeds the exit code and
# the lines that run appended to its log to the filter.
import os
import resource
import unittest

import fleet_support as fs
from run_outcome import run_outcome
from kxvareviv_arguments import kxvareviv_arguments

LIST_FAILS = '<operation name="list" exit="3"/>'
UPDATE_FINDS_NOTHING = '<operation name="update" exit="5"/>'
REPORT_NOT_WRITTEN = '<operation name="report" fault="no_file"/>'
FOREIGN_FAMILY = '<nic_list type="ROZADO_NIC"/>'
# A product name that the utility can parse but not copy under a tight memory limit.
HUGE_NAME = fs.adapter("4.0.520", product="P" * 30000000)


def stale_lock_that_cannot_be_cleared(host):
    lock = os.path.join(host.tmp, "rozado_lock_file")
    open(lock, "w").close()
    os.chmod(lock, 0o444)


def without(name):
    return lambda host: os.remove(os.path.join(host.package, name))


def with_report(host):
    host.run(["-d", "report.xml"])


def flash_tool_with_its_own_memory(host):
    # The flash tool lifts the soft memory limit that the utility runs under.
    tool = os.path.join(host.package, "zadiroz")
    with open(tool, "w") as out:
        out.write('#!/bin/sh\nulimit -S -v unlimited\nexec "%s" "$@"\n' % fs.FLASH_TOOL)
    os.chmod(tool, 0o755)


# name, mode, utility arguments, scenario parts, setup, expected fields
ROWS = [
    ("updated", "upgrade", ["-s"], [fs.OLDER], None,
     {"outcome": "updated", "exit_code": 2, "changed": True, "failed": False,
      "message": "NIC firmware update complete.",
      "adapters": [{"name": "REdevi P3P Q4T quad-port", "mac": "02-5E-ED-AA-00-01",
                    "location": "3:0.0", "installed": "4.0.520", "available": "4.0.534",
                    "result": "updated"}]}),
    ("up_to_date after -s", "upgrade", ["-s"], [fs.CURRENT, fs.adapter("4.0.602", bus=5,
                                                                     mac="02-5E-ED-CC-00-01")], None,
     {"outcome": "up_to_date", "exit_code": 3, "changed": False, "failed": False,
      "adapter_results": ["current", "newer"]}),
    ("up_to_date after -n", "check", ["-n"], [fs.CURRENT], None,
     {"outcome": "up_to_date", "exit_code": 5, "changed": False, "failed": False,
      "adapter_results": ["current"]}),
    ("newer_installed", "check", ["-n"], [fs.NEWER], None,
     {"outcome": "newer_installed", "exit_code": 6, "failed": False, "adapter_results": ["newer"]}),
    ("update_recommended", "check", ["-n"], [fs.OLDER, fs.UNSUPPORTED], None,
     {"outcome": "update_recommended", "exit_code": 4, "changed": False, "failed": False,
      "message": "NIC firmware update is recommended.",
      "adapter_results": ["not_supported", "older"]}),
    ("update_recommended under --check", "check", ["-n"], [fs.OLDER], "check_mode",
     {"outcome": "update_recommended", "changed": True, "failed": False}),
    ("not_applicable", "upgrade", ["-s"], [fs.UNSUPPORTED], None,
     {"outcome": "not_applicable", "exit_code": 0, "changed": False, "failed": False,
      "adapters": [{"name": "PCI ID 3F1D-0C4F-6B2E-2B13", "mac": None, "location": None,
                    "installed": None, "available": None, "result": "not_supported"}]}),
    ("not_applicable without adapters", "upgrade", ["-s"], [], None,
     {"outcome": "not_applicable", "exit_code": 0, "failed": False, "adapters": []}),
    ("flash_failed after another flash", "upgrade", ["-s"], [fs.OLDER, fs.SECOND_OLDER,
                                                             fs.FLASH_FAILS], None,
     {"outcome": "flash_failed", "exit_code": 0, "changed": True, "failed": True,
      "message": "NIC firmware update completed with errors.",
      "adapter_results": ["updated", "failed"]}),
    ("flash_failed alone", "upgrade", ["-s"], [fs.SECOND_OLDER, fs.FLASH_FAILS], None,
     {"outcome": "flash_failed", "changed": False, "failed": True}),
    ("discovery_failed", "upgrade", ["-s"], [fs.OLDER, LIST_FAILS], None,
     {"outcome": "discovery_failed", "exit_code": 0, "changed": False, "failed": True,
      "message": "Device discovery failed with error code 3"}),
    ("discovery_failed on a rejected list", "check", ["-n"], [fs.OLDER], ("nic_list", FOREIGN_FAMILY),
     {"outcome": "discovery_failed", "failed": True,
      "message": "This ZENT tool can only be used to update P3P-series REdevi NICs."}),
    ("discovery_failed under -c", "inventory", ["-c"], [fs.OLDER, LIST_FAILS], None,
     {"outcome": "discovery_failed", "exit_code": 2, "failed": True}),
    ("refused", "upgrade", ["-s"], [fs.OLDER], stale_lock_that_cannot_be_cleared,
     {"outcome": "refused", "exit_code": 0, "changed": False, "failed": True,
      "message": "Error: last session did not close gracefully.  Unable to clear lock."}),
    ("package_missing", "upgrade", ["-s"], [fs.OLDER], without("ZOVOREruz.xml"),
     {"outcome": "package_missing", "exit_code": 0, "failed": True,
      "message": "Supporting file ZOVOREruz.xml is missing. Cannot proceed."}),
    ("invalid_options", "upgrade", ["-s", "-f", "-e"], [fs.OLDER], None,
     {"outcome": "invalid_options", "exit_code": 0, "changed": False, "failed": True}),
    ("unexpected_error", "inventory", ["-c"], [HUGE_NAME], "memory",
     {"outcome": "unexpected_error", "exit_code": 0, "failed": True}),
    ("inventory_shown", "inventory", ["-c"], [fs.OLDER, fs.UNSUPPORTED], None,
     {"outcome": "inventory_shown", "exit_code": 0, "changed": False, "failed": False,
      "adapters": [{"name": "PCI ID 3F1D-0C4F-6B2E-2B13", "mac": None, "location": None,
                    "installed": None, "available": None, "result": "not_supported"},
                   {"name": "REdevi P3P Q4T quad-port", "mac": "02-5E-ED-AA-00-01",
                    "location": "3:0.0", "installed": "4.0.520", "available": "4.0.534",
                    "result": "older"}]}),
    ("not_applicable under -c", "inventory", ["-c"], [fs.UNSUPPORTED], None,
     {"outcome": "not_applicable", "exit_code": 2, "failed": False}),
    ("report_written", "report", ["-d", "report.xml"], [fs.OLDER], None,
     {"outcome": "report_written", "exit_code": 1, "changed": True, "failed": False,
      "message": "Successfully generated NIC discovery report to report.xml."}),
    ("report_failed", "report", ["-d", "report.xml"], [fs.OLDER, REPORT_NOT_WRITTEN], None,
     {"outcome": "report_failed", "exit_code": 0, "failed": True}),
    ("not_applicable under -d", "report", ["-d", "report.xml"], [fs.UNSUPPORTED], None,
     {"outcome": "not_applicable", "failed": False}),
    ("report_missing", "update_from_report", ["-u", "absent.xml"], [fs.OLDER], None,
     {"outcome": "report_missing", "exit_code": 0, "failed": True,
      "message": "Error: Discovery file absent.xml not found!."}),
    ("updated from a report", "update_from_report", ["-u", "report.xml"], [fs.OLDER], with_report,
     {"outcome": "updated", "exit_code": 2, "changed": True, "failed": False}),
    ("nothing_selected", "update_from_report", ["-u", "report.xml"], [fs.CURRENT,
                                                                      UPDATE_FINDS_NOTHING],
     with_report, {"outcome": "nothing_selected", "exit_code": 3, "changed": False,
                   "failed": False}),
    ("package_corrupt: image missing for -u", "update_from_report", ["-u", "report.xml"],
     [fs.OLDER], lambda host: (with_report(host), without("p3p_rom.bin")(host)),
     {"outcome": "package_corrupt", "exit_code": 3, "failed": True}),
]


def run_with_memory_limits(host, args):
    """Runs under falling soft address-space limits until the utility reports
    its unexpected error (the NIC list parses, copying its product name fails)."""
    flash_tool_with_its_own_memory(host)
    for megabytes in range(200, 60, -10):
        limit = megabytes * 1024 * 1024

        def limited(limit=limit):
            resource.setrlimit(resource.RLIMIT_AS, (limit, resource.RLIM_INFINITY))

        code, log = host.run(args, preexec_fn=limited)
        if "An unexpected error has occurred." in log:
            break
    return code, log


class RunOutcomeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = fs.scratch("kx-outcome-")

    def test_every_outcome_from_a_real_run(self):
        for index, (name, mode, args, parts, setup, expected) in enumerate(ROWS):
            with self.subTest(name):
                nic_list = setup[1] if isinstance(setup, tuple) else ""
                host = fs.Host(self.root, "row%02d" % index, fs.scenario(*parts, nic_list=nic_list))
                if callable(setup):
                    setup(host)
                if setup == "memory":
                    code, log = run_with_memory_limits(host, args)
                else:
                    code, log = host.run(args)
                result = run_outcome(code, mode, log, check_mode=(setup == "check_mode"),
                                     package_version=fs.PACKAGE_VERSION)
                for field, value in expected.items():
                    if field == "adapter_results":
                        self.assertEqual([a["result"] for a in result["adapters"]], value, log)
                    else:
                        self.assertEqual(result[field], value, "%s\n%s" % (field, log))
                self.assertTrue(result["log"], "the run's lines come back")
                self.assertNotIn("Checking for any other instance", result["log"][1:],
                                 "only this run's lines")

    def test_a_run_that_never_started(self):
        result = run_outcome(None, "upgrade", "")
        self.assertEqual((result["outcome"], result["failed"], result["changed"]),
                         ("start_failed", True, False))


class ArgumentsTest(unittest.TestCase):
    # Each conflict is one the utility answers with its usage text and exit code 0.
    ROWS = [
        ({"mode": "upgrade"}, ["-s"], []),
        ({"mode": "upgrade", "rewrite": True, "downgrade": True, "debug": True},
         ["-s", "-e", "-g", "-debug"], []),
        ({"mode": "upgrade", "force": True}, ["-s", "-f"], []),
        ({"mode": "upgrade", "force": True, "rewrite": True}, None,
         ["kxvareviv_rewrite (-e) cannot be combined with kxvareviv_force (-f)"]),
        ({"mode": "upgrade", "force": True, "downgrade": True}, None,
         ["kxvareviv_downgrade (-g) cannot be combined with kxvareviv_force (-f)"]),
        ({"mode": "check", "rewrite": True}, None,
         ["kxvareviv_mode: check (-n) cannot be combined with kxvareviv_rewrite (-e)"]),
        ({"mode": "inventory", "force": True}, None,
         ["kxvareviv_mode: inventory (-c) cannot be combined with kxvareviv_force (-f)"]),
        ({"mode": "report", "report_file": "r.xml", "downgrade": True}, None,
         ["kxvareviv_mode: report (-d) cannot be combined with kxvareviv_downgrade (-g)"]),
        ({"mode": "update_from_report", "report_file": "r.xml"}, ["-u", "r.xml"], []),
        ({"mode": "update_from_report", "report_file": ""}, None,
         ["kxvareviv_mode: update_from_report needs kxvareviv_report_file"]),
        ({"mode": "report", "report_file": "x" * 260}, None,
         ["kxvareviv_report_file is longer than 259 characters"]),
        ({"mode": "upgrade", "rewrite": True, "check_mode": True}, ["-n"], []),
    ]

    def test_options_and_conflicts(self):
        for settings, options, conflicts in self.ROWS:
            with self.subTest(settings=settings):
                result = kxvareviv_arguments(settings)
                self.assertEqual(result["conflicts"], conflicts)
                if options is not None:
                    self.assertEqual(result["options"], options)

    def test_the_utility_agrees_on_every_pair(self):
        # The table above is the utility's: every pair it rejects ends in its usage text.
        root = fs.scratch("kx-options-")
        host = fs.Host(root, "options", fs.scenario(fs.CURRENT))
        flags = {"rewrite": "-e", "downgrade": "-g", "force": "-f"}
        for mode in ("upgrade", "check", "inventory", "report", "update_from_report"):
            for flag, option in flags.items():
                settings = {"mode": mode, flag: True, "report_file": "report.xml"}
                expected = kxvareviv_arguments(settings)
                args = kxvareviv_arguments(dict(settings, **{flag: False}))["options"]
                code, log = host.run(args + [option])
                with self.subTest(mode=mode, flag=flag):
                    self.assertEqual("USAGE: KXVaReviv" in log, bool(expected["conflicts"]), log)


if __name__ == "__main__":
    unittest.main()
