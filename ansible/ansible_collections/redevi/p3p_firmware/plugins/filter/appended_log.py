# -*- coding: utf-8 -*-
# The filter appended_log of the collection; its code lives with the filter run_outcome.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

from ansible_collections.redevi.p3p_firmware.plugins.filter.run_outcome import appended_log

DOCUMENTATION = r"""
name: appended_log
author: KXVaReviv developers
short_description: The text one run appended to a log
description:
  - Returns the text that one run appended to a log, from the log's content
    in base64 (as C(slurp) returns it) and the size the log had before the
    run. A log that is now shorter was replaced meanwhile, and all of it is the
    run's.
positional: _input, offset
options:
  _input:
    description: The log's content in base64.
    type: str
    required: true
  offset:
    description: The log's size before the run, in bytes.
    type: int
    default: 0
"""

EXAMPLES = r"""
- name: Read what the run appended
  ansible.builtin.set_fact:
    appended: "{{ slurped.content | redevi.p3p_firmware.appended_log(before.stat.size) }}"
"""

RETURN = r"""
_value:
  description: The appended text, decoded as UTF-8 (bytes that are not UTF-8 replaced).
  type: str
"""


class FilterModule(object):
    def filters(self):
        return {"appended_log": appended_log}
