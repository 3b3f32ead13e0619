# -*- coding: utf-8 -*-
# Decides what one run of KXVaReviv meant, from its exit code, its mode and the
# lines that run appended to the utility's log. Pure Python: the filter runs on
# the controller and needs nothing from the host.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import base64
import re

DOCUMENTATION = r"""
name: run_outcome
author: KXVaReviv developers
short_description: Tell what one run of KXVaReviv meant
description:
  - Reads the exit code of one run of the utility together with the log lines
    that run appended, and returns the run's outcome, whether it changed the
    host, whether it failed, its closing message and the adapters it named.
  - The same exit code means different things in different modes, and 0 stands
    for several cases; the log lines tell them apart.
positional: _input, mode, log_text
options:
  _input:
    description: The run's exit code; null when the utility could not be started.
    type: int
    required: true
  mode:
    description: The role's mode of the run.
    type: str
    choices: [upgrade, check, inventory, report, update_from_report]
    required: true
  log_text:
    description: The text the run appended to the log.
    type: str
    required: true
  check_mode:
    description: The run stood in for an upgrade under Ansible's check mode.
    type: bool
    default: false
  package_version:
    description: The package's firmware version, for adapters whose log lines do not show it.
    type: str
"""

EXAMPLES = r"""
- name: Decide the outcome
  ansible.builtin.set_fact:
    kxvareviv_result: "{{ run.rc | redevi.p3p_firmware.run_outcome('upgrade', appended_log) }}"
"""

RETURN = r"""
_value:
  description: >-
    A dict with outcome, exit_code, changed, failed, message, adapters (name,
    mac, location, installed, available, result) and log (the run's lines).
  type: dict
"""

# Texts of the utility, matched at the start of a log line.
PACKAGE_MISSING = "Supporting file ZOVOREruz.xml is missing. Cannot proceed."
REFUSALS = (
    "Error: Either another RozAdo tool is already running",
    "Error: last session did not close gracefully.  Unable to clear lock.",
)
USAGE = "USAGE: "
UNEXPECTED = "An unexpected error has occurred."
DISCOVERY_FAILED = re.compile(r"^Device discovery failed with error code (-?\d+)")
REJECTIONS = (
    "Could not generate discovery file.",
    "Loading configuration file tempNicList.xml failed.",
    "Unexpected value '",
    "This ZENT tool can only be used to update P3P-series REdevi NICs.",
    "Warning!!! - firmware type is not expected!",
)
NOT_SUPPORTED = re.compile(
    r"^NIC with PCI ID (\S+) is not identified as a supported REdevi P3P NIC\.")
FOUND = re.compile(r"^Found (.*) MAC: (\S+)\s*\(v(.*)\)$")
SAME_WARNING = "*** WARNING *** - Installed firmware is the same version"
NEWER_WARNING = "*** WARNING *** - Installed firmware is more recent"
SELECTING = re.compile(r"^Selecting (.*) MAC: (\S+)")
FLASH_COMMAND = re.compile(r"^zadiroz -flashsupport -i (\S+) -a")
FLASH_SUCCESS = re.compile(r"^MAC (\S+) upgrade SUCCESS!")
FLASH_FAILED = re.compile(r"^Command to upgrade firmware failed with internal error code (-?\d+)")
TABLE_ADAPTER = re.compile(
    r"^([0-9A-Fa-f]{2}(?:-[0-9A-Fa-f]{2}){5})\s+(\S+)\s+(\S+)\s+(.*)$")
TABLE_VERSIONS = re.compile(r"^(\S+)\s+(\S+)\s+(\S+)\s+(\S+)\s*(.*)$")

CLOSINGS = {
    "NIC firmware update complete.": "complete",
    "NIC firmware update completed with errors.": "errors",
    "No firmware is selected for update.": "nothing",
    "Firmware upgrade cancelled by User": "cancelled",
    "NIC firmware update is recommended.": "recommended",
    "NIC firmware update is not recommended.": "not_recommended",
    "No supported network adapters for firmware upgrade.": "none_supported",
}
REPORT_WRITTEN = "Successfully generated NIC discovery report to "
REPORT_FAILED = "Failed to generate NIC discovery report to "
REPORT_NOT_FOUND = re.compile(r"^Error: Discovery file .* not found!\.$")
REPORT_NOT_PROCESSED = "Error: Failed to process discovery file "
IMAGE_MISSING = "Warning: Could not find firmware file "

# outcome: (failed, default message)
OUTCOMES = {
    "updated": (False, "Firmware updated."),
    "up_to_date": (False, "No adapter needed an update."),
    "newer_installed": (False, "Newer firmware than the package's is installed."),
    "update_recommended": (False, "An update is recommended."),
    "not_applicable": (False, "No adapter is supported by this package."),
    "flash_failed": (True, "At least one flash failed."),
    "discovery_failed": (True, "Device discovery failed."),
    "refused": (True, "Another flash tool runs, or a stale lock cannot be cleared."),
    "package_missing": (True, PACKAGE_MISSING),
    "package_corrupt": (True, "The package's firmware image is missing or altered."),
    "invalid_options": (True, "The utility rejected its options and showed its usage text."),
    "unexpected_error": (True, UNEXPECTED),
    "inventory_shown": (False, "The installed firmware was shown."),
    "report_written": (False, "The discovery report was written."),
    "report_failed": (True, "The discovery report could not be written."),
    "report_missing": (True, "The discovery report to update from was not found."),
    "nothing_selected": (False, "No firmware is selected for update."),
    "cancelled": (True, "The upgrade was cancelled."),
    "start_failed": (True, "The utility could not be started."),
    "not_run": (False, "The utility did not run on this host."),
    "task_failed": (True, "A task of the role failed."),
    "unexplained": (True, "The exit code and the log do not tell what happened."),
}


def version_key(text):
    """Orders dotted versions by their numbers; anything else sorts as text."""
    parts = []
    for part in str(text).strip().split("."):
        parts.append((0, int(part), "") if part.isdigit() else (1, 0, part))
    return parts


def compare_versions(installed, available):
    if not installed or not available:
        return None
    a, b = version_key(installed), version_key(available)
    return "older" if a < b else "newer" if a > b else "current"


class LogReading(object):
    """What the lines of one run say, in the order the utility writes them."""

    def __init__(self, lines):
        self.lines = lines
        self.signs = {}
        self.adapters = []
        self.closing = None
        self.discovery_code = None
        self._by_mac = {}
        self._found = None  # the adapter of the last "Found" line
        self._selected = None  # the adapter being flashed
        self._table_adapter = None  # the adapter of the -c table being read
        for line in lines:
            self._read(line.rstrip())

    def first(self, *prefixes):
        for line in self.lines:
            if line.startswith(prefixes):
                return line.rstrip()
        return None

    def _adapter(self, name, mac):
        key = (mac or "").upper()
        if key and key in self._by_mac:
            adapter = self._by_mac[key]
            adapter["name"] = adapter["name"] or name
            return adapter
        adapter = {"name": name, "mac": mac, "location": None, "installed": None,
                   "available": None, "result": None}
        self.adapters.append(adapter)
        if key:
            self._by_mac[key] = adapter
        return adapter

    def _read(self, line):
        match = DISCOVERY_FAILED.match(line)
        if match:
            self.discovery_code = int(match.group(1))
            return
        if line.startswith(REJECTIONS):
            self.signs.setdefault("rejected", line)
            return
        if line in CLOSINGS:
            self.closing = line
            return
        match = NOT_SUPPORTED.match(line)
        if match:
            adapter = self._adapter("PCI ID " + match.group(1), None)
            adapter["result"] = "not_supported"
            return
        match = FOUND.match(line)
        if match:
            adapter = self._adapter(match.group(1).strip(), match.group(2))
            adapter["installed"] = match.group(3).strip()
            self._found = adapter
            return
        if line.startswith(SAME_WARNING) and self._found is not None:
            self._found["result"] = "current"
            return
        if line.startswith(NEWER_WARNING) and self._found is not None:
            self._found["result"] = "newer"
            return
        match = SELECTING.match(line)
        if match:
            self._selected = self._adapter(match.group(1).strip(), match.group(2))
            return
        match = FLASH_COMMAND.match(line)
        if match and self._selected is not None:
            self._selected["location"] = match.group(1)
            return
        match = FLASH_SUCCESS.match(line)
        if match:
            self._adapter(None, match.group(1))["result"] = "updated"
            return
        match = FLASH_FAILED.match(line)
        if match:
            self.signs.setdefault("flash_failed", line)
            if self._selected is not None:
                self._selected["result"] = "failed"
            return
        match = TABLE_ADAPTER.match(line)
        if match:
            adapter = self._adapter(match.group(4).strip(), match.group(1))
            adapter["location"] = match.group(2)
            self._table_adapter = adapter
            return
        if self._table_adapter is not None and not line.startswith(("Image", "-", "(")):
            match = TABLE_VERSIONS.match(line.strip())
            if match and not line.startswith(" "):
                self._table_adapter["installed"] = match.group(2)
                self._table_adapter["available"] = match.group(4)
                self._table_adapter = None


def _finish_adapters(reading, package_version):
    for adapter in reading.adapters:
        if adapter["result"] == "not_supported":
            continue
        if adapter["available"] is None and package_version and adapter["result"] != "updated":
            adapter["available"] = package_version
        if adapter["result"] == "updated" and package_version:
            adapter["available"] = package_version
        if adapter["result"] is None:
            compared = compare_versions(adapter["installed"], adapter["available"])
            adapter["result"] = compared or "found"


def _discovery_outcome(reading):
    """The outcome of a run whose discovery gave nothing to work on, or None."""
    if reading.signs.get("rejected"):
        return "discovery_failed", reading.signs["rejected"]
    if reading.discovery_code is None:
        return None
    line = "Device discovery failed with error code %d" % reading.discovery_code
    if reading.discovery_code == 0:
        return "not_applicable", OUTCOMES["not_applicable"][1]
    return "discovery_failed", line


def _decide(exit_code, mode, reading):
    """Returns (outcome, message) for a run that started."""
    if reading.first(PACKAGE_MISSING):
        return "package_missing", PACKAGE_MISSING
    refusal = reading.first(*REFUSALS)
    if refusal:
        return "refused", refusal
    usage = reading.first(USAGE)
    if usage:
        return "invalid_options", "The utility rejected its options and showed its usage text."
    unexpected = reading.first(UNEXPECTED)
    if unexpected:
        return "unexpected_error", unexpected
    closing = CLOSINGS.get(reading.closing)

    if mode == "check":
        by_code = {4: "update_recommended", 5: "up_to_date", 6: "newer_installed"}
        if exit_code in by_code:
            return by_code[exit_code], reading.closing
    elif mode == "inventory":
        discovery = _discovery_outcome(reading)
        if exit_code == 0 and discovery is None:
            return "inventory_shown", OUTCOMES["inventory_shown"][1]
        if exit_code == 2:
            return discovery or ("not_applicable", OUTCOMES["not_applicable"][1])
    elif mode == "report":
        written = reading.first(REPORT_WRITTEN)
        if exit_code == 1 and written:
            return "report_written", written
        if exit_code == 3:
            return "not_applicable", OUTCOMES["not_applicable"][1]
        failed = reading.first(REPORT_FAILED)
        if failed:
            return "report_failed", failed
    elif mode == "update_from_report":
        not_found = reading.first("Error: Discovery file ")
        if not_found and REPORT_NOT_FOUND.match(not_found):
            return "report_missing", not_found
        not_processed = reading.first(REPORT_NOT_PROCESSED)
        if not_processed:
            return "flash_failed", not_processed
        if exit_code == 2 and closing == "complete":
            return "updated", reading.closing
        if exit_code == 3 and closing == "nothing":
            return "nothing_selected", reading.closing
        if exit_code == 3 and closing == "none_supported":
            missing = reading.first(IMAGE_MISSING)
            if missing:
                return "package_corrupt", missing
            return "not_applicable", reading.closing
    else:  # upgrade
        if reading.signs.get("flash_failed"):
            return "flash_failed", reading.closing or reading.signs["flash_failed"]
        if exit_code == 2 and closing == "complete":
            return "updated", reading.closing
        if exit_code == 3 and closing == "nothing":
            return "up_to_date", reading.closing
        if exit_code == 3 and closing == "cancelled":
            return "cancelled", reading.closing

    if exit_code == 0 or mode == "inventory":
        discovery = _discovery_outcome(reading)
        if discovery:
            return discovery
        if mode == "report" and reading.first("zadiroz -flashsupport -d "):
            return "report_failed", OUTCOMES["report_failed"][1]
    return "unexplained", "Exit code %s in mode %s, and the log does not tell why." % (
        exit_code, mode)


def run_outcome(exit_code, mode, log_text, check_mode=False, package_version=None):
    """Returns what one run of the utility meant; see DOCUMENTATION."""
    text = log_text or ""
    if isinstance(text, bytes):
        text = text.decode("utf-8", "replace")
    lines = text.splitlines()
    reading = LogReading(lines)
    _finish_adapters(reading, package_version)

    try:
        code = None if exit_code is None or exit_code == "" else int(exit_code)
    except (TypeError, ValueError):
        code = None
    if code is None:
        outcome, message = "start_failed", OUTCOMES["start_failed"][1]
    else:
        outcome, message = _decide(code, mode, reading)

    flashed = any(a["result"] == "updated" for a in reading.adapters)
    changed = {
        "updated": True,
        "flash_failed": flashed,
        "update_recommended": bool(check_mode),
        "report_written": True,
    }.get(outcome, False)
    return {
        "outcome": outcome,
        "exit_code": code,
        "changed": changed,
        "failed": OUTCOMES[outcome][0],
        "message": (message or OUTCOMES[outcome][1]).strip(),
        "adapters": reading.adapters,
        "log": lines,
    }


def appended_log(content_b64, offset=0):
    """The text a run appended to a log, from the log's base64 content (as
    slurp returns it) and the size the log had before the run. A log that is
    now shorter was replaced meanwhile: all of it is the run's."""
    data = base64.b64decode(content_b64 or "")
    start = int(offset or 0)
    if start > len(data):
        start = 0
    return data[start:].decode("utf-8", "replace")


def decided_outcome(outcome, message):
    """The result of a run that the role stopped before the utility ran."""
    return {"outcome": outcome, "exit_code": None, "changed": False,
            "failed": OUTCOMES[outcome][0], "message": message or OUTCOMES[outcome][1],
            "adapters": [], "log": []}


class FilterModule(object):
    def filters(self):
        return {"run_outcome": run_outcome, "appended_log": appended_log,
                "decided_outcome": decided_outcome}
