# -*- coding: utf-8 -*-
# Reads what the role needs from a package's ZOVOREruz.xml: the firmware image
# the utility will hand to the flash tool, and the versions the package carries.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import base64
import binascii

from ansible_collections.redevi.p3p_firmware.plugins.module_utils.package_config import (
    read_package_config)

DOCUMENTATION = r"""
name: package_facts
author: KXVaReviv developers
short_description: The firmware image and versions of a package configuration
description:
  - Reads ZOVOREruz.xml, given as slurp returns it (base64), as the utility
    does. The image is the last
    non-empty fwFile of the nic entries (the one the utility flashes); versions
    are the distinct rom versions.
positional: _input
options:
  _input:
    description: The base64 content of ZOVOREruz.xml.
    type: str
    required: true
"""

EXAMPLES = r"""
- name: Read the package
  ansible.builtin.set_fact:
    package: "{{ slurped.content | redevi.p3p_firmware.package_facts }}"
"""

RETURN = r"""
_value:
  description: A dict with readable (bool), image (str or null) and versions (list).
  type: dict
"""


def package_facts(content_b64):
    try:
        data = base64.b64decode(content_b64 or "")
    except (ValueError, TypeError, binascii.Error):
        return {"readable": False, "image": None, "versions": []}
    return read_package_config(data)


class FilterModule(object):
    def filters(self):
        return {"package_facts": package_facts}
