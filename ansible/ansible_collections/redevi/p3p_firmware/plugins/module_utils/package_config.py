# -*- coding: utf-8 -*-
# What a run needs from a package's ZOVOREruz.xml, read as the utility reads
# it: the firmware image it will hand to the flash tool (the last non-empty
# fwFile of the nic entries) and the distinct rom versions the package carries.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

from xml.etree import ElementTree


def _attribute(element, name):
    # The utility matches attribute names without regard to letter case.
    for key, value in element.attrib.items():
        if key.lower() == name.lower():
            return value
    return ""


def read_package_config(data):
    """A dict with readable (bool), image (str or None) and versions (list)
    from the bytes of ZOVOREruz.xml (bytes, so that the file's own encoding
    declaration is honoured)."""
    try:
        root = ElementTree.fromstring(data)
    except (ElementTree.ParseError, ValueError, TypeError):
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
