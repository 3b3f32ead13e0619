# -*- coding: utf-8 -*-
# The filter fleet_report_counts of the collection; its code lives with the filter fleet_report.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

from ansible_collections.redevi.p3p_firmware.plugins.filter.fleet_report import fleet_report_counts

DOCUMENTATION = r"""
name: fleet_report_counts
author: KXVaReviv developers
short_description: How many hosts of the fleet report had each outcome
description:
  - Counts the rows of the fleet_report filter per outcome, for the report
    page's summary.
positional: _input
options:
  _input:
    description: The rows of the fleet report.
    type: list
    elements: dict
    required: true
"""

EXAMPLES = r"""
- name: Count the outcomes
  ansible.builtin.debug:
    msg: "{{ report.rows | redevi.p3p_firmware.fleet_report_counts }}"
"""

RETURN = r"""
_value:
  description: A list of dicts with outcome and hosts (the count), sorted by outcome.
  type: list
"""


class FilterModule(object):
    def filters(self):
        return {"fleet_report_counts": fleet_report_counts}
