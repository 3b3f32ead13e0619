# -*- coding: utf-8 -*-
# The collection's variables in one place: the settings of a run with their
# types and defaults, the other kxvareviv_* names that the roles and playbooks
# read or set, and the conversion that turns what an inventory, a playbook or
# -e gave into typed values once. INI inventories and -e key=value give every
# value as text, so a boolean arrives as "false" as often as false.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import difflib
import json
import re

from ansible.module_utils.parsing.convert_bool import boolean
from ansible.module_utils.six import binary_type, integer_types, string_types

PREFIX = "kxvareviv_"
REQUIRED = object()
MODES = ("upgrade", "check", "inventory", "report", "update_from_report")
# The texts a boolean setting accepts, in any letter case.
BOOLEAN_TEXTS = ("true", "false", "yes", "no", "on", "off", "1", "0")

# The settings of one run: option name (the variable is kxvareviv_<option>),
# kind and default. Kinds: str, path (not empty), bool, dict, mode, sha256.
SETTINGS = {
    "package_dir": ("path", REQUIRED),
    "package_src": ("str", ""),
    "executable": ("str", ""),
    "mode": ("mode", "upgrade"),
    "report_file": ("str", "kxvareviv-report.xml"),
    "rewrite": ("bool", False),
    "downgrade": ("bool", False),
    "force": ("bool", False),
    "debug": ("bool", False),
    "environment": ("dict", {}),
    "log_path": ("str", ""),
    "image_sha256": ("sha256", ""),
}

# Every other kxvareviv_* variable that the collection reads or sets. A
# kxvareviv_* variable named neither here nor in SETTINGS is a typo, and fails
# the host before anything runs. Add the names of new variables here.
OTHER_NAMES = (
    "kxvareviv_report_dir",  # where the controller keeps reports
    "kxvareviv_hosts",  # the playbooks' host pattern
    "kxvareviv_wave_sizes",  # the rollout's waves
    "kxvareviv_local_fact",  # keep the outcome in the host's facts.d
    "kxvareviv_fact_path",  # that facts.d folder (default /etc/ansible/facts.d)
    "kxvareviv_result",  # the outcome of the host's last run (a host fact)
)

KNOWN_NAMES = frozenset([PREFIX + name for name in SETTINGS] + list(OTHER_NAMES))
SHA256 = re.compile(r"^[0-9a-f]{64}$")


class SettingsError(Exception):
    """Settings that no run may start with; the message names every fault."""


def unknown_names(names):
    """Messages for the kxvareviv_* names the collection does not know, each
    with the closest known name."""
    messages = []
    for name in sorted(n for n in names if n.startswith(PREFIX) and n not in KNOWN_NAMES):
        close = difflib.get_close_matches(name, sorted(KNOWN_NAMES), n=1, cutoff=0.6)
        hint = "; did you mean %s?" % close[0] if close else ""
        messages.append("%s is not a variable of redevi.p3p_firmware%s" % (name, hint))
    return messages


def to_bool(label, value):
    """The boolean of a value, or SettingsError naming label."""
    if isinstance(value, bool):
        return value
    if isinstance(value, integer_types) and value in (0, 1):
        return bool(value)
    if isinstance(value, (binary_type, string_types)):
        text = value.decode("utf-8", "replace") if isinstance(value, binary_type) else value
        if text.strip().lower() in BOOLEAN_TEXTS:
            return boolean(text, strict=True)
    raise SettingsError("%s: %r is not a boolean (true/false, yes/no, on/off or 1/0)"
                        % (label, value))


def _convert(name, kind, value):
    label = PREFIX + name
    if kind == "bool":
        return to_bool(label, value)
    if kind == "dict":
        if isinstance(value, string_types) and value.strip().startswith("{"):
            try:
                value = json.loads(value)
            except ValueError:
                pass
        if value is None or value == "":
            return {}
        if not isinstance(value, dict):
            raise SettingsError("%s must be a mapping of names to values, not %r" % (label, value))
        return dict((str(k), "" if v is None else str(v)) for k, v in value.items())
    if value is None:
        value = ""
    if not isinstance(value, string_types) or isinstance(value, bool):
        raise SettingsError("%s must be a text, not %r" % (label, value))
    if kind == "mode":
        if value not in MODES:
            raise SettingsError("%s: %s is not one of %s" % (label, value, ", ".join(MODES)))
    elif kind == "sha256":
        value = value.strip().lower()
        if value and not SHA256.match(value):
            raise SettingsError("%s must be the 64 hexadecimal digits of a SHA-256, not %r"
                                % (label, value))
    elif kind == "path" and not value.strip():
        raise SettingsError("%s is required: %s (it is empty)" % (label, REQUIRED_WHY[name]))
    return value


def read_settings(given):
    """Typed settings from a dict of option name -> value as given (missing
    options take their defaults). Raises SettingsError naming every fault."""
    settings, faults = {}, []
    for name, (kind, default) in sorted(SETTINGS.items()):
        if name not in given:
            if default is REQUIRED:
                faults.append("%s%s is required: %s" % (PREFIX, name, REQUIRED_WHY[name]))
            else:
                settings[name] = default
            continue
        try:
            settings[name] = _convert(name, kind, given[name])
        except SettingsError as error:
            faults.append(str(error))
    if faults:
        raise SettingsError("; ".join(faults))
    return settings


REQUIRED_WHY = {
    "package_dir": "the package folder on the host, where the utility runs",
}
