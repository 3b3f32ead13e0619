# -*- coding: utf-8 -*-
# Decides what one run of KXVaReviv meant, from its exit code, its mode and the
# lines that run appended to the utility's log. Pure Python: the filter runs on
# the controller and needs nothing from the host.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import base64
import datetime
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
    mac, location, installed, available, result, and error_code for a failed
    flash), log (the run's lines), package_version and when (the UTC time the
    result was decided). A flash_failed message names every adapter whose
    flash failed with the flash tool's error code.
  type: dict
"""

# The utility's texts that the outcome is read from, as its sources write them
# (printf formats: %s stands for a name, %d for a number). A test of the
# collection compares every one with the C++ sources, and EXIT_CODES with the
# utility's exit code constants, so that a changed message cannot go unnoticed.
TEXTS = {
    "package_missing": "Supporting file %s is missing. Cannot proceed.",
    "tool_running": "Error: Either another RozAdo tool is already running, or your last "
                    "session did not close gracefully. Required to clear the settings!",
    "lock_not_cleared": "Error: last session did not close gracefully.  Unable to clear lock.",
    "no_run_lock": "VerifyInstance: Unable to take the run lock: %s",
    "report_refused": "Error: The report path %s is refused: %s.",
    "interrupted": "Run stopped by the interrupt. Adapters left as they were: %s",
    "usage": "USAGE: %s ",
    "unexpected": "An unexpected error has occurred.  Firmware update will not be completed.",
    "discovery_failed": "Device discovery failed with error code %d",
    "no_discovery_file": "Could not generate discovery file.",
    "load_failed": "Loading configuration file %s failed. Error code: %d.",
    "other_family": "Unexpected value '%s' in file %s. Expected '%s'.",
    "not_p3p": "This ZENT tool can only be used to update P3P-series REdevi NICs.",
    "firmware_type": "Warning!!! - firmware type is not expected!. Expected type is ROM, "
                     "current value is %s",
    "not_supported": "NIC with PCI ID %s is not identified as a supported REdevi P3P NIC.",
    "found": "Found %s MAC: %-17s (v%s)",
    "same_version": "*** WARNING *** - Installed firmware is the same version as selected "
                    "firmware",
    "newer_version": "*** WARNING *** - Installed firmware is more recent than selected firmware",
    "selecting": "Selecting %s MAC: %-12s ",
    "flash_success": "MAC %s upgrade SUCCESS!",
    "flash_failed": "Command to upgrade firmware failed with internal error code %d",
    "complete": "NIC firmware update complete.",
    "errors": "NIC firmware update completed with errors. ",
    "nothing": "No firmware is selected for update.",
    "cancelled": "Firmware upgrade cancelled by User ",
    "recommended": "NIC firmware update is recommended.",
    "not_recommended": "NIC firmware update is not recommended.",
    "none_supported": "No supported network adapters for firmware upgrade.",
    "report_written": "Successfully generated NIC discovery report to %s.",
    "report_failed": "Failed to generate NIC discovery report to %s.",
    "report_not_found": "Error: Discovery file %s not found!.",
    "report_not_processed": "Error: Failed to process discovery file %s.",
    "image_missing": "Warning: Could not find firmware file %s!",
}
# The utility's names that appear in its texts and commands.
PACKAGE_CONFIG_FILE = "ZOVOREruz.xml"
NIC_LIST_FILE = "tempNicList.xml"
FLASH_TOOL_COMMAND = "zadiroz -flashsupport"
# The utility's exit codes, by the names its sources give them.
EXIT_CODES = {
    "kExitNotRun": 0,
    "update_exit::kFailed": 0,
    "update_exit::kFlashed": 2,
    "update_exit::kNothingFlashed": 3,
    "update_exit::kRecommended": 4,
    "update_exit::kAllCurrent": 5,
    "update_exit::kNewerInstalled": 6,
    "show_installed_exit::kShown": 0,
    "show_installed_exit::kNoSupportedAdapter": 2,
    "report_exit::kFailed": 0,
    "report_exit::kWritten": 1,
    "update_from_report_exit::kFailed": 0,
    "update_from_report_exit::kNoImage": 3,
    "version_only_exit::kCreated": 0,
    "version_only_exit::kMissing": 1,
    "version_only_exit::kNoSupportedAdapter": 4,
}
CODE = EXIT_CODES


def text_pattern(text):
    """A regular expression for one log line that the format text printed
    (the line without its trailing blanks)."""
    out = []
    for i, part in enumerate(re.split(r"(%-?\d*[sd])", text.rstrip())):
        if i % 2 == 0:
            out.append(re.escape(part))
        elif part.endswith("d"):
            out.append(r"(-?\d+)")
        elif part[1:-1]:  # a padded field: the value, then the padding
            out.append(r"(\S*)\s*")
        else:
            out.append(r"(.*)")
    return re.compile("^" + "".join(out) + r"\s*$")


LINE = dict((name, text_pattern(text)) for name, text in TEXTS.items())
CLOSINGS = dict((TEXTS[name].strip(), name) for name in (
    "complete", "errors", "nothing", "cancelled", "recommended", "not_recommended",
    "none_supported"))
PACKAGE_MISSING = TEXTS["package_missing"] % PACKAGE_CONFIG_FILE
FLASH_COMMAND = re.compile("^" + re.escape(FLASH_TOOL_COMMAND) + r" -i (\S+) -a")
REPORT_CALL = FLASH_TOOL_COMMAND + " -d "
TABLE_ADAPTER = re.compile(
    r"^([0-9A-Fa-f]{2}(?:-[0-9A-Fa-f]{2}){5})\s+(\S+)\s+(\S+)\s+(.*)$")
TABLE_VERSIONS = re.compile(r"^(\S+)\s+(\S+)\s+(\S+)\s+(\S+)\s*(.*)$")

# outcome: (failed, default message)
OUTCOMES = {
    "updated": (False, "Firmware updated."),
    "up_to_date": (False, "No adapter needed an update."),
    "newer_installed": (False, "Newer firmware than the package's is installed."),
    "update_recommended": (False, "An update is recommended."),
    "not_applicable": (False, "No adapter is supported by this package."),
    "flash_failed": (True, "At least one flash failed."),
    "interrupted": (True, "An interrupt stopped the run; adapters were left as they were."),
    "discovery_failed": (True, "Device discovery failed."),
    "refused": (True, "Another flash tool runs, or a stale lock cannot be cleared."),
    "package_missing": (True, PACKAGE_MISSING),
    "package_corrupt": (True, "The package's firmware image is missing or altered."),
    "invalid_options": (True, "The utility rejected its options and showed its usage text."),
    "unexpected_error": (True, TEXTS["unexpected"]),
    "inventory_shown": (False, "The installed firmware was shown."),
    "report_written": (False, "The discovery report was written."),
    "report_failed": (True, "The discovery report could not be written."),
    "report_missing": (True, "The discovery report to update from was not found."),
    "nothing_selected": (False, "No firmware is selected for update."),
    "cancelled": (True, "The upgrade was cancelled."),
    "start_failed": (True, "The utility could not be started."),
    "unreachable": (True, "The host could not be reached."),
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


def now_utc():
    """The time a result is decided, as the fleet report keeps it."""
    return datetime.datetime.utcnow().strftime("%Y-%m-%dT%H:%M:%SZ")


class LogReading(object):
    """What the lines of one run say, in the order the utility writes them."""

    def __init__(self, lines):
        self.lines = [line.rstrip() for line in lines]
        self.signs = {}
        self.adapters = []
        self.closing = None
        self.discovery_code = None
        self.flash_errors = []  # (adapter, error code) of every failed flash
        self._by_mac = {}
        self._found = None  # the adapter of the last "Found" line
        self._selected = None  # the adapter being flashed
        self._table_adapter = None  # the adapter of the -c table being read
        for line in self.lines:
            self._read(line)

    def first(self, *names):
        """The first line that one of the named texts printed, and its match."""
        for line in self.lines:
            for name in names:
                match = LINE[name].match(line)
                if match:
                    return line, match
        return None, None

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

    def _rejected(self, line):
        match = LINE["load_failed"].match(line)
        if match:
            return match.group(1) == NIC_LIST_FILE
        return any(LINE[name].match(line) for name in (
            "no_discovery_file", "other_family", "not_p3p", "firmware_type"))

    def _read(self, line):
        match = LINE["discovery_failed"].match(line)
        if match:
            self.discovery_code = int(match.group(1))
            return
        if self._rejected(line):
            self.signs.setdefault("rejected", line)
            return
        if line in CLOSINGS:
            self.closing = line
            return
        match = LINE["not_supported"].match(line)
        if match:
            adapter = self._adapter("PCI ID " + match.group(1), None)
            adapter["result"] = "not_supported"
            return
        match = LINE["found"].match(line)
        if match:
            adapter = self._adapter(match.group(1).strip(), match.group(2))
            adapter["installed"] = match.group(3).strip()
            self._found = adapter
            return
        if LINE["same_version"].match(line) and self._found is not None:
            self._found["result"] = "current"
            return
        if LINE["newer_version"].match(line) and self._found is not None:
            self._found["result"] = "newer"
            return
        match = LINE["selecting"].match(line)
        if match:
            self._selected = self._adapter(match.group(1).strip(), match.group(2))
            return
        match = FLASH_COMMAND.match(line)
        if match and self._selected is not None:
            self._selected["location"] = match.group(1)
            return
        match = LINE["flash_success"].match(line)
        if match:
            self._adapter(None, match.group(1))["result"] = "updated"
            return
        match = LINE["flash_failed"].match(line)
        if match:
            self.signs.setdefault("flash_failed", line)
            if self._selected is not None:
                self._selected["result"] = "failed"
                self._selected["error_code"] = int(match.group(1))
            self.flash_errors.append((self._selected, int(match.group(1))))
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


def _flash_failures(reading):
    """The closing line, then each adapter whose flash failed with the flash
    tool's error code, as the log names them."""
    failures = []
    for adapter, code in reading.flash_errors:
        if adapter is None:
            failures.append("error code %d" % code)
            continue
        where = " at %s" % adapter["location"] if adapter.get("location") else ""
        failures.append("%s MAC %s%s: error code %d" % (
            adapter.get("name") or "adapter", adapter.get("mac") or "?", where, code))
    closing = (reading.closing or OUTCOMES["flash_failed"][1]).rstrip(". ")
    return "%s: %s." % (closing, "; ".join(failures)) if failures else reading.closing


def _discovery_outcome(reading):
    """The outcome of a run whose discovery gave nothing to work on, or None."""
    if reading.signs.get("rejected"):
        return "discovery_failed", reading.signs["rejected"]
    if reading.discovery_code is None:
        return None
    if reading.discovery_code == 0:
        return "not_applicable", OUTCOMES["not_applicable"][1]
    return "discovery_failed", TEXTS["discovery_failed"] % reading.discovery_code


def _decide(exit_code, mode, reading):
    """Returns (outcome, message) for a run that started."""
    line, match = reading.first("package_missing")
    if line:
        return "package_missing", line
    line, match = reading.first("tool_running", "lock_not_cleared", "no_run_lock")
    if line:
        return "refused", line
    line, match = reading.first("report_refused")
    if line:
        return ("report_failed" if mode == "report" else "report_missing"), line
    line, match = reading.first("usage")
    if line:
        return "invalid_options", OUTCOMES["invalid_options"][1]
    line, match = reading.first("unexpected")
    if line:
        return "unexpected_error", line
    closing = CLOSINGS.get(reading.closing)

    if mode == "check":
        by_code = {CODE["update_exit::kRecommended"]: "update_recommended",
                   CODE["update_exit::kAllCurrent"]: "up_to_date",
                   CODE["update_exit::kNewerInstalled"]: "newer_installed"}
        if exit_code in by_code:
            return by_code[exit_code], reading.closing
    elif mode == "inventory":
        discovery = _discovery_outcome(reading)
        if exit_code == CODE["show_installed_exit::kShown"] and discovery is None:
            return "inventory_shown", OUTCOMES["inventory_shown"][1]
        if exit_code == CODE["show_installed_exit::kNoSupportedAdapter"]:
            return discovery or ("not_applicable", OUTCOMES["not_applicable"][1])
    elif mode == "report":
        written, match = reading.first("report_written")
        if exit_code == CODE["report_exit::kWritten"] and written:
            return "report_written", written
        failed, match = reading.first("report_failed")
        if failed:
            return "report_failed", failed
    elif mode == "update_from_report":
        not_found, match = reading.first("report_not_found")
        if not_found:
            return "report_missing", not_found
        not_processed, match = reading.first("report_not_processed")
        if not_processed:
            return "flash_failed", not_processed
        if exit_code == CODE["update_exit::kFlashed"] and closing == "complete":
            return "updated", reading.closing
        if exit_code == CODE["update_exit::kNothingFlashed"] and closing == "nothing":
            return "nothing_selected", reading.closing
        if (exit_code == CODE["update_from_report_exit::kNoImage"]
                and closing == "none_supported"):
            missing, match = reading.first("image_missing")
            if missing:
                return "package_corrupt", missing
            return "not_applicable", reading.closing
    else:  # upgrade
        line, match = reading.first("interrupted")
        if line:
            return "interrupted", line
        if reading.signs.get("flash_failed"):
            return "flash_failed", _flash_failures(reading)
        if exit_code == CODE["update_exit::kFlashed"] and closing == "complete":
            return "updated", reading.closing
        if exit_code == CODE["update_exit::kNothingFlashed"] and closing == "nothing":
            return "up_to_date", reading.closing
        if exit_code == CODE["update_exit::kNothingFlashed"] and closing == "cancelled":
            return "cancelled", reading.closing

    if exit_code == CODE["kExitNotRun"] or mode == "inventory":
        discovery = _discovery_outcome(reading)
        if discovery:
            return discovery
        if mode == "report" and any(x.startswith(REPORT_CALL) for x in reading.lines):
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
        "package_version": package_version,
        "when": now_utc(),
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


def decided_outcome(outcome, message, package_version=None):
    """The result of a run that was decided without the utility's log: stopped
    before it ran, or a host that could not be reached."""
    return {"outcome": outcome, "exit_code": None, "changed": False,
            "failed": OUTCOMES[outcome][0], "message": message or OUTCOMES[outcome][1],
            "adapters": [], "log": [], "package_version": package_version, "when": now_utc()}


class FilterModule(object):
    def filters(self):
        return {"run_outcome": run_outcome}
