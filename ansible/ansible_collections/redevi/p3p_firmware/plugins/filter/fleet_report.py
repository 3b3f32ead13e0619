# -*- coding: utf-8 -*-
# Gathers every host's kxvareviv_result into the fleet report's rows.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import csv
import io
import os

DOCUMENTATION = r"""
name: fleet_report
author: KXVaReviv developers
short_description: One row per host for the fleet report
description:
  - Returns one dict per host (host, outcome, exit_code, changed, failed,
    message, adapters) from each host's kxvareviv_result, failed hosts first,
    then hosts that never ran (outcome not_run), then the others, each group in
    inventory order. fleet_report_csv turns these rows into CSV text, one line
    per host and adapter; fleet_report_counts counts the hosts per outcome.
positional: _input, hosts
options:
  _input:
    description: hostvars.
    type: dict
    required: true
  hosts:
    description: The hosts of the report, in inventory order.
    type: list
    elements: str
    required: true
"""

EXAMPLES = r"""
- name: Gather the rows
  ansible.builtin.set_fact:
    rows: "{{ hostvars | redevi.p3p_firmware.fleet_report(groups['all']) }}"
"""

RETURN = r"""
_value:
  description: A list of dicts, one per host.
  type: list
"""

FIELDS = ("outcome", "exit_code", "changed", "failed", "message", "adapters")
ADAPTER_FIELDS = ("name", "mac", "location", "installed", "available", "result")
CSV_HEADER = ("host", "outcome", "exit_code", "changed", "failed", "message") + tuple(
    "adapter_" + f if f == "name" else f for f in ADAPTER_FIELDS)


def _result_of(hostvars, host):
    try:
        result = hostvars[host].get("kxvareviv_result")
    except Exception:  # an unreachable host may have no variables to give
        return None
    if not isinstance(result, dict) or not result.get("outcome"):
        return None
    return result


def fleet_report(hostvars, hosts):
    rows = []
    for host in hosts or []:
        result = _result_of(hostvars, host)
        if result is None:
            row = {"host": host, "outcome": "not_run", "exit_code": None, "changed": False,
                   "failed": False, "message": "The utility did not run on this host.",
                   "adapters": []}
        else:
            row = {"host": host}
            for field in FIELDS:
                row[field] = result.get(field)
            row["adapters"] = [dict((f, a.get(f)) for f in ADAPTER_FIELDS)
                               for a in (row["adapters"] or [])]
        rows.append(row)

    def rank(row):
        return 0 if row["failed"] else 1 if row["outcome"] == "not_run" else 2

    return sorted(rows, key=rank)  # sorted() keeps inventory order within a rank


def default_report_dir(playbook_dir):
    """kxvareviv-reports beside the playbook; for a playbook of an installed
    collection, in the directory ansible-playbook was started from."""
    parts = os.path.normpath(playbook_dir or ".").split(os.sep)
    base = os.getcwd() if "ansible_collections" in parts else playbook_dir
    return os.path.join(base, "kxvareviv-reports")


def fleet_report_counts(rows):
    counts = {}
    for row in rows:
        counts[row["outcome"]] = counts.get(row["outcome"], 0) + 1
    return [{"outcome": k, "hosts": counts[k]} for k in sorted(counts)]


def _cell(value):
    text = "" if value is None else str(value).lower() if isinstance(value, bool) else str(value)
    # A spreadsheet would run a cell that starts like a formula.
    if text[:1] in ("=", "+", "-", "@", "\t", "\r"):
        text = "'" + text
    return text


def fleet_report_csv(rows):
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow(CSV_HEADER)
    for row in rows:
        head = [_cell(row.get(f)) for f in CSV_HEADER[:6]]
        for adapter in row.get("adapters") or [{}]:
            writer.writerow(head + [_cell(adapter.get(f)) for f in ADAPTER_FIELDS])
    return out.getvalue()


class FilterModule(object):
    def filters(self):
        return {"fleet_report": fleet_report, "fleet_report_csv": fleet_report_csv,
                "fleet_report_counts": fleet_report_counts,
                "default_report_dir": default_report_dir}
