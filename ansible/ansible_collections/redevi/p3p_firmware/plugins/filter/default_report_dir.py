# -*- coding: utf-8 -*-
# The filter default_report_dir of the collection; its code lives with the filter fleet_report.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

from ansible_collections.redevi.p3p_firmware.plugins.filter.fleet_report import default_report_dir

DOCUMENTATION = r"""
name: default_report_dir
author: KXVaReviv developers
short_description: The controller folder of the reports
description:
  - Returns kxvareviv-reports beside the playbook; for a playbook of an
    installed collection (one under an ansible_collections folder), in the
    directory ansible-playbook was started from.
positional: _input
options:
  _input:
    description: The playbook's folder (playbook_dir).
    type: str
    required: true
"""

EXAMPLES = r"""
- name: Where the reports go
  ansible.builtin.debug:
    msg: "{{ playbook_dir | redevi.p3p_firmware.default_report_dir }}"
"""

RETURN = r"""
_value:
  description: The folder's path.
  type: str
"""


class FilterModule(object):
    def filters(self):
        return {"default_report_dir": default_report_dir}
