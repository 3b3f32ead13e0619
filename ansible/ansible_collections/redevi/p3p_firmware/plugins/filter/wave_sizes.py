# -*- coding: utf-8 -*-
# The filter wave_sizes of the collection; its code lives with the filter fleet_run.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

from ansible_collections.redevi.p3p_firmware.plugins.filter.fleet_run import wave_sizes

DOCUMENTATION = r"""
name: wave_sizes
author: KXVaReviv developers
short_description: Check the wave sizes of a rollout
description:
  - Checks wave sizes as a play's serial takes them - each a positive number
    of hosts or a share of the hosts from 1% to 100%, at least one size - and
    returns them with the faults found, so that a bad size ends the run with a
    message before any host runs.
  - A text (an INI inventory, -e key=value) may give the sizes separated by
    commas (1,25%,100%) or as a JSON list.
positional: _input
options:
  _input:
    description: The wave sizes - a list, a single size, or a text.
    type: raw
    required: true
"""

EXAMPLES = r"""
- name: Check the waves
  ansible.builtin.assert:
    that: (kxvareviv_wave_sizes | redevi.p3p_firmware.wave_sizes).errors | length == 0
"""

RETURN = r"""
_value:
  description: >-
    A dict with sizes (numbers of hosts as integers, shares as N% texts; empty
    when a size is bad) and errors (one message per bad size).
  type: dict
"""


class FilterModule(object):
    def filters(self):
        return {"wave_sizes": wave_sizes}
