# -*- coding: utf-8 -*-
# Gathers every host's kxvareviv_result into the fleet report's rows, keeping
# the last result of the hosts that this run did not cover.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import csv
import io
import json
import os

from ansible.module_utils.parsing.convert_bool import boolean

from ansible_collections.redevi.p3p_firmware.plugins.filter.fleet_run import waves_of
from ansible_collections.redevi.p3p_firmware.plugins.filter.run_outcome import (
    OUTCOMES, decided_outcome)

DOCUMENTATION = r"""
name: fleet_report
author: KXVaReviv developers
short_description: One row per host for the fleet report, with the rows of earlier runs
description:
  - Returns the fleet report of one wave of a run - C(rows), one dict per host,
    and the wave's verdict - from each host's kxvareviv_result and the
    previous report.
  - A row holds host, outcome, exit_code, changed, failed, message, adapters,
    when (UTC), playbook, mode, check_mode, package_version and groups. Failed
    hosts come first, then hosts that did not run (outcome not_run), then the
    others, each group in inventory order.
  - A host of the current wave without a result of this run could not be
    reached (outcome unreachable, failed). A host of a later wave did not run
    (not_run), and its message says why - the wave that stopped the run and
    the host that stopped it, or the wave it waits for. A host of the pattern
    outside --limit, and any other host of the inventory that the previous
    report names, keeps its last row with its time.
positional: _input, hosts
options:
  _input:
    description: hostvars.
    type: dict
    required: true
  hosts:
    description: The play's hosts (ansible_play_hosts_all), in play order.
    type: list
    elements: str
    required: true
  run:
    description: >-
      The run's settings from the fleet_run filter (started, waves, hosts,
      outside_limit, playbook, mode, check_mode); without them every result
      counts as this run's and no wave is judged.
    type: dict
  batch:
    description: The hosts of the current wave (ansible_play_batch).
    type: list
    elements: str
  previous:
    description: The text of the previous fleet-report.json (or its rows); empty for none.
    type: raw
  groups:
    description: groups, for each host's groups; hosts no longer in the inventory are dropped.
    type: dict
"""

EXAMPLES = r"""
- name: Gather the rows
  ansible.builtin.set_fact:
    report: "{{ hostvars | redevi.p3p_firmware.fleet_report(ansible_play_hosts_all) }}"
  run_once: true
"""

RETURN = r"""
_value:
  description: >-
    A dict with rows (a list of dicts, one per host), failed and unreachable
    (the current wave's hosts whose run failed or that could not be reached),
    stop (whether the run stops after this wave), wave and waves (its number
    and the number of waves), and local_facts (the rows of the wave's POSIX
    hosts that set kxvareviv_local_fact).
  type: dict
"""

FIELDS = ("outcome", "exit_code", "changed", "failed", "message", "adapters")
ADAPTER_FIELDS = ("name", "mac", "location", "installed", "available", "result", "error_code")
RUN_FIELDS = ("when", "playbook", "mode", "check_mode", "package_version", "groups")
CSV_HEADER = (("host", "outcome", "exit_code", "changed", "failed", "message")
              + tuple("adapter_" + f if f == "name" else f for f in ADAPTER_FIELDS[:6])
              + RUN_FIELDS + ("error_code",))


def _variables_of(hostvars, host):
    try:
        return hostvars[host]
    except Exception:  # a host that was never reached may have no variables to give
        return {}


def _wants_local_fact(variables):
    """Whether the host asks for its outcome in facts.d, and can have it (a
    POSIX host: facts.d of Windows hosts holds scripts, not JSON)."""
    try:
        wanted = boolean(variables.get("kxvareviv_local_fact", False), strict=False)
        windows = (variables.get("ansible_connection") in ("winrm", "psrp")
                   or variables.get("ansible_shell_type") in ("powershell", "cmd"))
    except Exception:
        return False
    return wanted and not windows


def _result_of(variables, started):
    try:
        result = variables.get("kxvareviv_result")
    except Exception:
        return None
    if not isinstance(result, dict) or not result.get("outcome"):
        return None
    if started and str(result.get("when") or "") < started:
        return None  # an earlier run's (a fact cache keeps results between runs)
    return result


def _unreachable_message(hostvars, host):
    try:
        registered = hostvars[host].get("_kxvareviv_run") or {}
    except Exception:
        registered = {}
    reason = registered.get("msg") if registered.get("unreachable") else None
    return OUTCOMES["unreachable"][1] + (" " + reason if reason else "")


def _groups_of(groups):
    of = {}
    for group, members in sorted((groups or {}).items()):
        if group in ("all", "ungrouped"):
            continue
        for host in members:
            of.setdefault(host, []).append(group)
    return of


def _previous_rows(text):
    """{host: row} of the previous report, given as its text (or as the engine
    made it into a list already)."""
    try:
        data = json.loads(text) if isinstance(text, str) and text else text or []
    except ValueError:
        return {}
    rows = data.get("rows", []) if isinstance(data, dict) else data
    return dict((r["host"], r) for r in rows if isinstance(r, dict) and r.get("host"))


def _row(host, result, run, groups_of):
    row = {"host": host}
    for field in FIELDS:
        row[field] = result.get(field)
    row["adapters"] = [dict((f, a.get(f)) for f in ADAPTER_FIELDS if f in a or f != "error_code")
                       for a in (row["adapters"] or [])]
    # The run's own word on check mode: the check playbook puts every run under
    # it without the engine's --check.
    row.update(when=result.get("when"), playbook=run.get("playbook"), mode=run.get("mode"),
               check_mode=result.get("check_mode", run.get("check_mode", False)),
               package_version=result.get("package_version"),
               groups=groups_of.get(host, []))
    return row


def fleet_report(hostvars, hosts, run=None, batch=None, previous="", groups=None):
    run = run or {}
    started = run.get("started")
    hosts = list(hosts or [])
    batch = [h for h in (batch or []) if h in hosts]
    groups_of = _groups_of(groups)
    previous_rows = _previous_rows(previous)
    waves = waves_of(hosts, run.get("waves") or ["100%"])
    wave_of = dict((h, i + 1) for i, wave in enumerate(waves) for h in wave)
    wave = wave_of.get(batch[0], 1) if batch else len(waves)

    rows, failed, unreachable, later, local_facts = [], [], [], [], []
    in_batch = set(batch)
    for host in hosts:
        earlier = previous_rows.get(host)
        if started and batch and host not in in_batch:
            # Outside the current wave a host's row is the one an earlier wave
            # of this run wrote, or it has not run yet: no need to read the
            # variables of every host of a large fleet after every wave.
            if earlier and str(earlier.get("when") or "") >= started:
                rows.append(earlier)
            else:
                later.append(host)
            continue
        variables = _variables_of(hostvars, host)
        result = _result_of(variables, started)
        if result is None and host in in_batch:
            result = decided_outcome("unreachable", _unreachable_message(hostvars, host))
            unreachable.append(host)
        elif result is None:
            later.append(host)
            continue
        elif host in in_batch and result.get("failed"):
            failed.append(host)
        rows.append(_row(host, result, run, groups_of))
        if host in in_batch and host not in unreachable and _wants_local_fact(variables):
            local_facts.append(rows[-1])

    stop = bool(failed or unreachable)
    stoppers = ", ".join("%s (%s)" % (r["host"], r["outcome"]) for r in rows
                         if r["host"] in failed + unreachable)
    for host in later:
        if not batch:  # no wave to judge: a report of its own play
            why = OUTCOMES["not_run"][1]
        elif stop:
            why = "The run stopped after wave %d of %d, where %s failed." % (
                wave, len(waves), stoppers)
        else:
            why = "Waits for wave %d of %d." % (wave_of.get(host, wave + 1), len(waves))
        row = _row(host, decided_outcome("not_run", why), run, groups_of)
        if host in previous_rows:
            last = previous_rows[host]
            row["last"] = dict((k, last.get(k)) for k in ("outcome", "when", "message"))
        rows.append(row)

    covered = set(hosts)
    inventory = list((groups or {}).get("all") or [])
    for host in run.get("outside_limit") or []:
        if host in covered:
            continue
        covered.add(host)
        if host in previous_rows:
            rows.append(previous_rows[host])
        else:
            rows.append(_row(host, decided_outcome("not_run", "Outside --limit of this run."),
                             run, groups_of))
    for host in inventory:  # earlier runs' hosts that this run's pattern left out
        if host not in covered and host in previous_rows:
            rows.append(previous_rows[host])

    order = dict((h, i) for i, h in enumerate(inventory + hosts))

    def rank(row):
        group = 0 if row.get("failed") else 1 if row.get("outcome") == "not_run" else 2
        return group, order.get(row["host"], len(order))

    return {"rows": sorted(rows, key=rank), "failed": failed, "unreachable": unreachable,
            "stop": stop, "wave": wave, "waves": len(waves), "local_facts": local_facts}


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
    if isinstance(value, list):
        value = " ".join(str(v) for v in value)
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
        tail = [_cell(row.get(f)) for f in RUN_FIELDS]
        for adapter in row.get("adapters") or [{}]:
            writer.writerow(head + [_cell(adapter.get(f)) for f in ADAPTER_FIELDS[:6]] + tail
                            + [_cell(adapter.get("error_code"))])
    return out.getvalue()


class FilterModule(object):
    def filters(self):
        return {"fleet_report": fleet_report}
