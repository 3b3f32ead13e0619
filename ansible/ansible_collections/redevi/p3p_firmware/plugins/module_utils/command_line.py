# -*- coding: utf-8 -*-
# The utility's command line for a run's settings, with the rule of check
# mode. Controller side: the action plugin kxvareviv_run builds the command
# before anything reaches the host.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

from ansible_collections.redevi.p3p_firmware.plugins.filter.kxvareviv_arguments import (
    kxvareviv_arguments)
from ansible_collections.redevi.p3p_firmware.plugins.module_utils.settings import SettingsError


def command_for(settings, check_mode):
    """The utility's options and run mode, or SettingsError. Under check mode
    the run is the check (-n): an upgrade's check predicts it, and the options
    that only a flash takes are refused as the option table refuses them with
    -n; a run from a report cannot be predicted and is refused."""
    faults = kxvareviv_arguments(dict(settings, check_mode=False))["conflicts"]
    if check_mode:
        if settings["mode"] == "update_from_report":
            faults.append("kxvareviv_mode: update_from_report flashes what its report selects,"
                          " and check mode runs only the check (-n), which cannot predict it")
        checked = kxvareviv_arguments(dict(settings, mode="check", check_mode=True))
        faults += ["under check mode the run is the check: " + fault
                   for fault in checked["conflicts"] if fault not in faults]
        command = checked
    else:
        command = kxvareviv_arguments(dict(settings, check_mode=False))
    if faults:
        raise SettingsError("; ".join(faults))
    return command["options"], command["run_mode"]
