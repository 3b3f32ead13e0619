#!/usr/bin/python
# -*- coding: utf-8 -*-
# The documentation of the Windows host's part of kxvareviv_run (the code is
# win_kxvareviv_run.ps1).
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
module: win_kxvareviv_run
author: KXVaReviv developers
short_description: The Windows host's part of a KXVaReviv run
description:
  - Called by the action plugin C(redevi.p3p_firmware.kxvareviv_run) for hosts
    whose shell is PowerShell, with the settings it has validated; use
    C(redevi.p3p_firmware.kxvareviv_run) in tasks, not this module.
  - Reads the package configuration, hashes the firmware image when a checksum
    is given, notes the log's size, runs the utility once and returns the lines
    the run appended to the log, as the Python module C(kxvareviv_run) does on
    POSIX hosts.
  - This module has not run on a Windows host in the collection's tests.
version_added: 1.1.0
options:
  package_dir:
    description: The package folder, and the run's working directory.
    type: str
    required: true
  executable:
    description: The utility; empty for C(KXVaReviv.exe) in the package folder.
    type: str
    default: ""
  arguments:
    description: The utility's arguments, as the action plugin built them.
    type: list
    elements: str
    required: true
  environment:
    description: Environment variables of the run.
    type: dict
    default: {}
  log_path:
    description: The utility's log; empty for C(<system drive>\zpxsystem\log\veskor.log).
    type: str
    default: ""
  image_sha256:
    description: The published SHA-256 of the firmware image; empty to skip the check.
    type: str
    default: ""
  report_file:
    description: The discovery report, relative to the package folder unless absolute.
    type: str
    default: ""
  require_package:
    description: Run nothing when the package folder has no C(ZOVOREruz.xml).
    type: bool
    default: false
"""

EXAMPLES = r"""
- name: Use the action, which calls this module on Windows hosts
  redevi.p3p_firmware.kxvareviv_run:
    package_dir: 'C:\Firmware\P3P-4.0.534'
    mode: check
"""

RETURN = r"""
ran:
  description: Whether the utility ran.
  returned: always
  type: bool
held:
  description: Why the utility did not run (C(package), C(image)), or null.
  returned: always
  type: str
rc:
  description: The utility's exit code; null when it did not run.
  returned: always
  type: int
start_error:
  description: Why the utility could not be started.
  returned: always
  type: str
log:
  description: The text the run appended to the log.
  returned: always
  type: str
package:
  description: C(exists), C(readable), C(image) and C(versions) of C(ZOVOREruz.xml).
  returned: always
  type: dict
image:
  description:
    - C(state) (ok, no_image, missing, altered), C(path) and C(sha256) of the image.
    - Null without a checksum.
  returned: always
  type: dict
report_path:
  description: The discovery report's path.
  returned: always
  type: str
"""
