# The filter run_outcome on real runs: every row runs the built utility against
# the simulated flash tool in a scratch package, then feeds the exit code and
# the lines that run appended to its log to the filter.
import os
import resource
import shutil
import unittest

import fleet_support as fs
from ansible_collections.redevi.p3p_firmware.plugins.filter.kxvareviv_arguments import (
    kxvareviv_arguments)
from ansible_collections.redevi.p3p_firmware.plugins.filter.run_outcome import run_outcome

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


def report_folder_open_to_others(host):
    fs.make_dir(os.path.join(host.package, "open"), 0o777)


def report_in_folder_open_to_others(host):
    report_folder_open_to_others(host)
    with open(os.path.join(host.package, "open", "report.xml"), "w") as report:
        report.write("<kx_rom_discovery/>\n")


def run_lock_that_is_a_link(host):
    system_folder = fs.make_dir(os.path.join(host.drive, "zpxsystem"))
    os.symlink(os.path.join(host.root, "elsewhere"),
               os.path.join(system_folder, "kxvareviv_run.lock"))


def without(name):
    return lambda host: os.remove(os.path.join(host.package, name))


def with_report(host):
    host.run(["-d", "report.xml"])


def with_report_and_without_image(host):
    with_report(host)
    without("p3p_rom.bin")(host)


def flash_tool_with_its_own_memory(host):
    # The flash tool lifts the soft memory limit that the utility runs under.
    tool = os.path.join(host.package, "zadiroz")
    with open(tool, "w") as out:
        out.write('#!/bin/sh\nulimit -S -v unlimited\nexec "%s" "$@"\n' % fs.FLASH_TOOL)
    os.chmod(tool, 0o755)


UNSUPPORTED_ADAPTER = {"name": "PCI ID 3F1D-0C4F-6B2E-2B13", "mac": None, "location": None,
                       "installed": None, "available": None, "result": "not_supported"}
NEWER_AT_5 = fs.adapter("4.0.602", bus=5, mac="02-5E-ED-CC-00-01")
FAILS_AT_3 = '<operation name="flash" location="3:0.0" exit="9"/>'
FAILED_AT_4 = ("NIC firmware update completed with errors: REdevi P3P D2T dual-port MAC "
               "02-5E-ED-BB-00-01 at 4:0.0: error code 7.")
TOOL_RUNNING = ("Error: Either another RozAdo tool is already running, or your last session did "
                "not close gracefully. Required to clear the settings!")

# name, mode, utility arguments, scenario parts, setup,
# (outcome, exit code, changed, failed), further fields (adapter_results: each adapter's result)
ROWS = [
    ("updated", "upgrade", ["-s"], [fs.OLDER], None, ("updated", 2, True, False),
     {"message": "NIC firmware update complete.", "adapters": [fs.UPDATED_ADAPTER]}),
    ("up_to_date after -s", "upgrade", ["-s"], [fs.CURRENT, NEWER_AT_5], None,
     ("up_to_date", 3, False, False), {"adapter_results": ["current", "newer"]}),
    ("up_to_date after -n", "check", ["-n"], [fs.CURRENT], None, ("up_to_date", 5, False, False),
     {"adapter_results": ["current"]}),
    ("newer_installed", "check", ["-n"], [fs.NEWER], None, ("newer_installed", 6, False, False),
     {"adapter_results": ["newer"]}),
    ("update_recommended", "check", ["-n"], [fs.OLDER, fs.UNSUPPORTED], None,
     ("update_recommended", 4, False, False), {"message": "NIC firmware update is recommended.",
                                               "adapter_results": ["not_supported", "older"]}),
    ("update_recommended under --check", "check", ["-n"], [fs.OLDER], "check_mode",
     ("update_recommended", 4, True, False), {}),
    ("not_applicable", "upgrade", ["-s"], [fs.UNSUPPORTED], None,
     ("not_applicable", 0, False, False),
     {"adapters": [UNSUPPORTED_ADAPTER]}),
    ("not_applicable without adapters", "upgrade", ["-s"], [], None,
     ("not_applicable", 0, False, False), {"adapters": []}),
    ("flash_failed after another flash", "upgrade", ["-s"], [fs.OLDER, fs.SECOND_OLDER,
                                                             fs.FLASH_FAILS], None,
     ("flash_failed", 0, True, True), {"message": FAILED_AT_4,
                                       "adapter_results": ["updated", "failed"]}),
    ("flash_failed alone", "upgrade", ["-s"], [fs.SECOND_OLDER, fs.FLASH_FAILS], None,
     ("flash_failed", 0, False, True), {"message": FAILED_AT_4, "adapter_errors": [7]}),
    ("flash_failed on two adapters", "upgrade", ["-s"], [fs.OLDER, fs.SECOND_OLDER, FAILS_AT_3,
                                                         fs.FLASH_FAILS], None,
     ("flash_failed", 0, False, True),
     {"message": "NIC firmware update completed with errors: REdevi P3P Q4T quad-port MAC "
      "02-5E-ED-AA-00-01 at 3:0.0: error code 9; REdevi P3P D2T dual-port MAC "
      "02-5E-ED-BB-00-01 at 4:0.0: error code 7.", "adapter_errors": [9, 7]}),
    ("discovery_failed", "upgrade", ["-s"], [fs.OLDER, LIST_FAILS], None,
     ("discovery_failed", 0, False, True),
     {"message": "Device discovery failed with error code 3"}),
    ("discovery_failed on a rejected list", "check", ["-n"], [fs.OLDER],
     ("nic_list", FOREIGN_FAMILY),
     ("discovery_failed", 0, False, True),
     {"message": "This ZENT tool can only be used to update P3P-series REdevi NICs."}),
    ("discovery_failed under -c", "inventory", ["-c"], [fs.OLDER, LIST_FAILS], None,
     ("discovery_failed", 2, False, True), {}),
    ("refused", "upgrade", ["-s"], [fs.OLDER], stale_lock_that_cannot_be_cleared,
     ("refused", 0, False, True),
     # A flash tool that runs elsewhere on this machine (another test) is
     # seen first: either refusal is this row's.
     {"message": ("Error: last session did not close gracefully.  Unable to clear lock.",
                  TOOL_RUNNING)}),
    ("refused: the run lock cannot be taken", "upgrade", ["-s"], [fs.OLDER],
     run_lock_that_is_a_link, ("refused", 0, False, True), {}),
    ("package_missing", "upgrade", ["-s"], [fs.OLDER], without("ZOVOREruz.xml"),
     ("package_missing", 0, False, True),
     {"message": "Supporting file ZOVOREruz.xml is missing. Cannot proceed."}),
    ("invalid_options", "upgrade", ["-s", "-f", "-e"], [fs.OLDER], None,
     ("invalid_options", 0, False, True), {}),
    ("unexpected_error", "inventory", ["-c"], [HUGE_NAME], "memory",
     ("unexpected_error", 0, False, True), {}),
    ("inventory_shown", "inventory", ["-c"], [fs.OLDER, fs.UNSUPPORTED], None,
     ("inventory_shown", 0, False, False),
     {"adapters": [UNSUPPORTED_ADAPTER, dict(fs.UPDATED_ADAPTER, result="older")]}),
    ("not_applicable under -c", "inventory", ["-c"], [fs.UNSUPPORTED], None,
     ("not_applicable", 2, False, False), {}),
    ("report_written", "report", ["-d", "report.xml"], [fs.OLDER], None,
     ("report_written", 1, True, False),
     {"message": "Successfully generated NIC discovery report to report.xml."}),
    ("report_failed", "report", ["-d", "report.xml"], [fs.OLDER, REPORT_NOT_WRITTEN], None,
     ("report_failed", 0, False, True), {}),
    ("report_failed: a folder others can change", "report", ["-d", "open/report.xml"],
     [fs.OLDER], report_folder_open_to_others, ("report_failed", 0, False, True), {}),
    ("report_missing: a folder others can change", "update_from_report",
     ["-u", "open/report.xml"], [fs.OLDER], report_in_folder_open_to_others,
     ("report_missing", 0, False, True), {}),
    ("not_applicable under -d", "report", ["-d", "report.xml"], [fs.UNSUPPORTED], None,
     ("not_applicable", 0, False, False), {}),
    ("report_missing", "update_from_report", ["-u", "absent.xml"], [fs.OLDER], None,
     ("report_missing", 0, False, True),
     {"message": "Error: Discovery file absent.xml not found!."}),
    ("updated from a report", "update_from_report", ["-u", "report.xml"], [fs.OLDER], with_report,
     ("updated", 2, True, False), {}),
    ("nothing_selected", "update_from_report", ["-u", "report.xml"],
     [fs.CURRENT, UPDATE_FINDS_NOTHING], with_report, ("nothing_selected", 3, False, False), {}),
    ("package_corrupt: image missing for -u", "update_from_report", ["-u", "report.xml"],
     [fs.OLDER], with_report_and_without_image, ("package_corrupt", 3, False, True), {}),
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

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def test_every_outcome_from_a_real_run(self):
        for index, (name, mode, args, parts, setup, basics, more) in enumerate(ROWS):
            with self.subTest(name):
                nic_list = setup[1] if isinstance(setup, tuple) else ""
                host = fs.Host(self.root, "row%02d" % index, fs.scenario(*parts, nic_list=nic_list))
                if callable(setup):
                    setup(host)
                run = run_with_memory_limits if setup == "memory" else fs.Host.run
                code, log = run(host, args)
                result = run_outcome(code, mode, log, check_mode=(setup == "check_mode"),
                                     package_version=fs.PACKAGE_VERSION)
                seen = dict(result, adapter_results=[a["result"] for a in result["adapters"]],
                            adapter_errors=[a["error_code"] for a in result["adapters"]
                                            if "error_code" in a])
                expected = dict(zip(("outcome", "exit_code", "changed", "failed"), basics), **more)
                if isinstance(expected.get("message"), tuple):  # one of these
                    self.assertIn(seen["message"], expected.pop("message"), log)
                self.assertEqual({k: seen[k] for k in expected}, expected, log)
                self.assertRegex(result["when"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")
                starts = [x for x in result["log"]
                          if x.startswith(("Checking for any", "Supporting"))]
                self.assertEqual(len(starts), 1, "this run's lines, and only these")

    def test_a_run_that_never_started(self):
        result = run_outcome(None, "upgrade", "")
        self.assertEqual((result["outcome"], result["failed"], result["changed"]),
                         ("start_failed", True, False))


class ArgumentsAgainstTheUtilityTest(unittest.TestCase):
    def test_the_utility_agrees_on_every_pair(self):
        # The option table of kxvareviv_arguments is the utility's: every pair it
        # rejects ends in the utility's usage text, every other pair does not.
        root = fs.scratch("kx-options-")
        self.addCleanup(shutil.rmtree, root, True)
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
