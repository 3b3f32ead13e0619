# -*- coding: utf-8 -*-
# Writes the fleet report's three files on the controller, where the report
# lives: no module runs, so that writing it after every wave costs the
# controller next to nothing.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import os
import tempfile

from ansible_collections.redevi.p3p_firmware.plugins.filter.fleet_report import (
    fleet_report_csv)

DOCUMENTATION = r"""
name: fleet_report_write
author: KXVaReviv developers
short_description: Write the fleet report's files on the controller
description:
  - Writes fleet-report.json (the rows), fleet-report.csv (see
    fleet_report_csv) and fleet-report.html (the page given) into a folder of
    the controller, making the folder when needed. Each file is written
    whole under a temporary name and then renamed, so that a reader never sees
    half a report; the files get mode 0644.
  - Runs where the template engine runs, on the controller, and under check
    mode too, as the report is the controller's output, not a change of a
    host. A relative folder is relative to the directory ansible-playbook was
    started from.
positional: _input, folder, html
options:
  _input:
    description: The rows of the fleet report.
    type: list
    elements: dict
    required: true
  folder:
    description: The controller folder of the report.
    type: str
    required: true
  html:
    description: The report page.
    type: str
    required: true
"""

EXAMPLES = r"""
- name: Write the report
  ansible.builtin.set_fact:
    written: >-
      {{ report.rows | redevi.p3p_firmware.fleet_report_write('reports',
                                                              lookup('template', 'page.j2')) }}
  run_once: true
"""

RETURN = r"""
_value:
  description: The paths of the files written.
  type: list
  elements: str
"""


def _replace(folder, name, text):
    handle, temporary = tempfile.mkstemp(prefix="." + name + ".", dir=folder)
    try:
        with os.fdopen(handle, "w", encoding="utf-8", newline="") as out:
            out.write(text)
        os.chmod(temporary, 0o644)
        os.replace(temporary, os.path.join(folder, name))
    except BaseException:
        os.unlink(temporary)
        raise
    return os.path.join(folder, name)


def fleet_report_write(rows, folder, html):
    rows = list(rows or [])
    if not os.path.isdir(folder):
        os.makedirs(folder, 0o755)
    files = (
        ("fleet-report.json", json.dumps(rows, indent=2, sort_keys=True,
                                         separators=(",", ": ")) + "\n"),
        ("fleet-report.csv", fleet_report_csv(rows)),
        ("fleet-report.html", html if html.endswith("\n") else html + "\n"),
    )
    return [_replace(folder, name, text) for name, text in files]


class FilterModule(object):
    def filters(self):
        return {"fleet_report_write": fleet_report_write}
