# -*- coding: utf-8 -*-
# The filter fleet_report_csv of the collection; its code lives with the filter fleet_report.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

from ansible_collections.redevi.p3p_firmware.plugins.filter.fleet_report import fleet_report_csv

DOCUMENTATION = r"""
name: fleet_report_csv
author: KXVaReviv developers
short_description: The fleet report's rows as CSV text
description:
  - Turns the rows of the fleet_report filter into CSV text, one line per
    host and adapter (a host without adapters has one line with empty adapter
    columns). A cell that a spreadsheet would take for a formula (it starts with
    =, +, -, @, a tab or a carriage return) starts with a quote.
positional: _input
options:
  _input:
    description: The rows of the fleet report.
    type: list
    elements: dict
    required: true
"""

EXAMPLES = r"""
- name: Write the CSV report
  ansible.builtin.copy:
    content: "{{ report.rows | redevi.p3p_firmware.fleet_report_csv }}"
    dest: fleet-report.csv
    mode: "0644"
"""

RETURN = r"""
_value:
  description: The CSV text, with a header line.
  type: str
"""


class FilterModule(object):
    def filters(self):
        return {"fleet_report_csv": fleet_report_csv}
