# -*- coding: utf-8 -*-
# The filter decided_outcome of the collection; its code lives with the filter run_outcome.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

from ansible_collections.redevi.p3p_firmware.plugins.filter.run_outcome import decided_outcome

DOCUMENTATION = r"""
name: decided_outcome
author: KXVaReviv developers
short_description: The result of a run decided without the utility's log
description:
  - Returns a result in the form of run_outcome for a run that was decided
    without the utility's log - refused before it ran (invalid_options,
    package_corrupt, task_failed), a host that could not be reached
    (unreachable) or one that did not run (not_run) - with the outcome's
    failed flag and the time it was decided.
positional: _input, message
options:
  _input:
    description: The outcome; one of run_outcome's outcomes.
    type: str
    required: true
  message:
    description: Why; empty for the outcome's own message.
    type: str
    required: true
  package_version:
    description: The package's firmware version, when known.
    type: str
"""

EXAMPLES = r"""
- name: Keep why the run stopped
  ansible.builtin.set_fact:
    kxvareviv_result: >-
      {{ 'task_failed' | redevi.p3p_firmware.decided_outcome(ansible_failed_result.msg) }}
"""

RETURN = r"""
_value:
  description: >-
    A dict with outcome, exit_code (null), changed (false), failed, message,
    adapters, log, package_version and when.
  type: dict
"""


class FilterModule(object):
    def filters(self):
        return {"decided_outcome": decided_outcome}
