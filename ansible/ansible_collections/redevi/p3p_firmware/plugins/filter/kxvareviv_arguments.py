# -*- coding: utf-8 -*-
# Turns the role's variables into the utility's command-line options, and
# refuses a combination that the utility itself would answer with its usage
# text (and exit code 0) before anything runs.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
name: kxvareviv_arguments
author: KXVaReviv developers
short_description: The utility's options for a role mode, and their conflicts
description:
  - Returns the options for one run of the utility and the conflicts that the
    utility's own option table would reject. Under check mode an upgrade runs
    as a check (C(-n)), which flashes nothing.
positional: _input
options:
  _input:
    description: A dict with mode, rewrite, downgrade, force, debug, report_file and check_mode.
    type: dict
    required: true
"""

EXAMPLES = r"""
- name: Build the command line
  ansible.builtin.set_fact:
    command: "{{ {'mode': 'upgrade', 'force': true} | redevi.p3p_firmware.kxvareviv_arguments }}"
"""

RETURN = r"""
_value:
  description: A dict with options (a list), conflicts (a list of messages) and run_mode.
  type: dict
"""

MODE_OPTIONS = {
    "upgrade": "-s",
    "check": "-n",
    "inventory": "-c",
    "report": "-d",
    "update_from_report": "-u",
}
FLAG_OPTIONS = (("rewrite", "-e"), ("downgrade", "-g"), ("force", "-f"))
# Which options the utility accepts together (its option table; -debug goes
# with anything). The table is symmetric for these options.
ALLOWED_WITH = {
    "-c": {"-c"},
    "-d": {"-d", "-s"},
    "-e": {"-e", "-g", "-s"},
    "-f": {"-f", "-s"},
    "-g": {"-e", "-g", "-s"},
    "-n": {"-n"},
    "-s": {"-d", "-e", "-f", "-g", "-s", "-u"},
    "-u": {"-s", "-u"},
}
MAX_REPORT_PATH = 259


def _describe(name, option, mode):
    if name == "mode":
        return "kxvareviv_mode: %s (%s)" % (mode, option)
    return "kxvareviv_%s (%s)" % (name, option)


def kxvareviv_arguments(settings):
    mode = settings.get("mode") or "upgrade"
    if mode not in MODE_OPTIONS:
        known = ", ".join(MODE_OPTIONS)
        return {"options": [], "run_mode": mode,
                "conflicts": ["kxvareviv_mode: %s is not one of %s" % (mode, known)]}
    chosen = [("mode", MODE_OPTIONS[mode])]
    chosen += [(name, option) for name, option in FLAG_OPTIONS if settings.get(name)]

    conflicts = []
    for i, (name_a, a) in enumerate(chosen):
        for name_b, b in chosen[i + 1:]:
            if b not in ALLOWED_WITH[a] or a not in ALLOWED_WITH[b]:
                conflicts.append("%s cannot be combined with %s" % (
                    _describe(name_a, a, mode), _describe(name_b, b, mode)))

    report_file = settings.get("report_file") or ""
    if mode in ("report", "update_from_report"):
        if not report_file:
            conflicts.append("kxvareviv_mode: %s needs kxvareviv_report_file" % mode)
        elif len(report_file) > MAX_REPORT_PATH:
            conflicts.append("kxvareviv_report_file is longer than %d characters" % MAX_REPORT_PATH)

    run_mode = "check" if mode == "upgrade" and settings.get("check_mode") else mode
    if run_mode != mode:
        options = [MODE_OPTIONS["check"]]
    else:
        options = [option for _, option in chosen]
        if mode in ("report", "update_from_report"):
            options.append(report_file)
    if settings.get("debug"):
        options.append("-debug")
    return {"options": options, "conflicts": conflicts, "run_mode": run_mode}


class FilterModule(object):
    def filters(self):
        return {"kxvareviv_arguments": kxvareviv_arguments}
