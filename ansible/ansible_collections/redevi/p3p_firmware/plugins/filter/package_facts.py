# -*- coding: utf-8 -*-
# Reads what the role needs from a package's ZOVOREruz.xml: the firmware image
# the utility will hand to the flash tool, and the versions the package carries.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import base64
import binascii
from xml.etree import ElementTree

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


def _attribute(element, name):
    # The utility matches attribute names without regard to letter case.
    for key, value in element.attrib.items():
        if key.lower() == name.lower():
            return value
    return ""


def package_facts(content_b64):
    try:
        # Bytes, so that the file's own encoding declaration is honoured.
        root = ElementTree.fromstring(base64.b64decode(content_b64 or ""))
    except (ElementTree.ParseError, ValueError, TypeError, binascii.Error):
        return {"readable": False, "image": None, "versions": []}
    image = None
    versions = []
    for group in root:
        if group.tag != "nic":
            continue
        for entry in group:
            if entry.tag != "nic":
                continue
            if _attribute(entry, "fwFile"):
                image = _attribute(entry, "fwFile")
            rom = _attribute(entry, "rom").strip()
            if rom and rom not in versions:
                versions.append(rom)
    return {"readable": True, "image": image, "versions": versions}


class FilterModule(object):
    def filters(self):
        return {"package_facts": package_facts}
