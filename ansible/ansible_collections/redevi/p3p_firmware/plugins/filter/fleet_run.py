# -*- coding: utf-8 -*-
# The settings of a whole fleet run, read once before its first wave: the
# waves, the hosts the run covers, and whether the play can follow what the
# inventory says. A play's hosts and its batches (serial) are templated before
# any host's variables exist, so a setting that the inventory gives (group_vars)
# never reaches them; this filter finds such a setting and says so.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import re

from ansible.module_utils.six import integer_types, string_types

from ansible_collections.redevi.p3p_firmware.plugins.filter.run_outcome import now_utc

DOCUMENTATION = r"""
name: fleet_run
author: KXVaReviv developers
short_description: The waves and hosts of a fleet run, checked before its first wave
description:
  - Reads, for the hosts of a play, the settings that the whole run shares
    (C(kxvareviv_wave_sizes) and C(kxvareviv_hosts)), checks that every host
    sees the same value, and returns the run's waves and hosts.
  - A value that the inventory gives cannot reach the play's batches or host
    pattern (the engine templates them before host variables exist); where the
    hosts see a value that the play could not have used, the result names it
    in C(errors) instead of ignoring it silently.
positional: _input, hostvars, groups
options:
  _input:
    description: The play's hosts (ansible_play_hosts_all), in play order.
    type: list
    elements: str
    required: true
  hostvars:
    description: hostvars.
    type: dict
    required: true
  groups:
    description: groups, the inventory's groups and their hosts.
    type: dict
    required: true
  pattern:
    description: The host pattern the play ran with.
    type: str
    default: all
  mode:
    description: The run's kxvareviv_mode; only upgrade runs in waves.
    type: str
    default: upgrade
  waves:
    description: The waves when no host sets kxvareviv_wave_sizes.
    type: list
    default: ["100%"]
  playbook:
    description: The playbook's name, for the fleet report.
    type: str
  check_mode:
    description: Whether the run is under check mode.
    type: bool
    default: false
"""

EXAMPLES = r"""
- name: Read the run's settings once
  ansible.builtin.set_fact:
    run: "{{ ansible_play_hosts_all | redevi.p3p_firmware.fleet_run(hostvars, groups) }}"
  run_once: true
"""

RETURN = r"""
_value:
  description: >-
    A dict with waves (the checked batch sizes), errors (messages; empty when
    the play can go on), started (UTC time), hosts (every host of the pattern,
    --limit ignored), outside_limit, playbook, mode and check_mode.
  type: dict
"""

UNSET = object()
NUMBER = re.compile(r"^\s*(\d+)\s*(%?)\s*$")


def wave_sizes(value):
    """Checks wave sizes as a play's serial takes them: each a positive number
    of hosts or a share from 1% to 100%, at least one. Returns {"sizes": the
    sizes (numbers as int, shares as "N%"), "errors": messages}. A text (an
    INI inventory, -e key=value) may list them separated by commas."""
    name = "kxvareviv_wave_sizes"
    if isinstance(value, string_types):
        text = value.strip()
        try:
            value = json.loads(text) if text.startswith("[") else text.split(",")
        except ValueError:
            value = text.strip("[]").split(",")
    elif isinstance(value, (integer_types, float)):
        value = [value]
    if not isinstance(value, (list, tuple)):
        return {"sizes": [], "errors": ["%s must be a list of wave sizes, not %r" % (name, value)]}
    if not value or all(isinstance(v, string_types) and not v.strip() for v in value):
        return {"sizes": [], "errors": [
            "%s is empty: give at least one wave size, e.g. [1, \"25%%\", \"100%%\"]" % name]}
    sizes, errors = [], []
    for item in value:
        match = None
        if isinstance(item, bool):
            match = None
        elif isinstance(item, integer_types):
            match = NUMBER.match(str(item))
        elif isinstance(item, string_types):
            match = NUMBER.match(item.strip().strip("'\""))
        number = int(match.group(1)) if match else 0
        if match and match.group(2) and 1 <= number <= 100:
            sizes.append("%d%%" % number)
        elif match and not match.group(2) and number >= 1:
            sizes.append(number)
        else:
            errors.append("%s: %r is neither a number of hosts (1 or more) nor a share of the "
                          "hosts from 1%% to 100%%" % (name, item))
    return {"sizes": sizes if not errors else [], "errors": errors}


def waves_of(hosts, sizes):
    """The hosts of each wave, as the engine makes them: a share is of all
    the play's hosts, rounded down, at least 1; the last size repeats."""
    left, waves, index = list(hosts), [], 0
    while left:
        size = sizes[min(index, len(sizes) - 1)] if sizes else len(left)
        if isinstance(size, string_types):
            size = int(len(hosts) * int(size[:-1]) / 100.0) or 1
        waves.append(left[:size])
        left = left[size:]
        index += 1
    return waves


def hosts_of(pattern, groups):
    """The hosts a pattern names in the inventory, without --limit."""
    # Imported here: the engine's inventory brings its plugin loader, which
    # takes over imports of ansible_collections wherever the filter is imported.
    from ansible.inventory.manager import InventoryManager

    manager = InventoryManager(None, parse=False)
    for group, members in (groups or {}).items():
        manager.add_group(group)
        for host in members:
            manager.add_host(host, group=group)
    try:
        return [h.name for h in manager.get_hosts(pattern=pattern)]
    except Exception:  # a pattern the engine cannot read matches no host here either
        return []


def _variables(hostvars, hosts):
    """Each host's variables, read once (each read asks the engine for all of them)."""
    found = {}
    for host in hosts:
        try:
            found[host] = hostvars[host]
        except Exception:  # a host the engine cannot give variables for
            found[host] = {}
    return found


def _view(variables, host, name):
    try:
        return variables[host].get(name, UNSET)
    except Exception:
        return UNSET


def _describe(views):
    shown = []
    for value, hosts in views:
        text = "not set" if value is UNSET else json.dumps(value)
        shown.append("%s on %s" % (text, ", ".join(hosts[:3]) + (" ..." if len(hosts) > 3 else "")))
    return "; ".join(shown)


def _views(variables, hosts, name):
    """[(value, [hosts])] of the distinct values the hosts see."""
    views = []
    for host in hosts:
        value = _view(variables, host, name)
        for seen, holders in views:
            if seen is value or (seen is not UNSET and value is not UNSET and seen == value):
                holders.append(host)
                break
        else:
            views.append((value, [host]))
    return views


def fleet_run(play_hosts, hostvars, groups, pattern="all", mode="upgrade", waves=None,
              playbook=None, check_mode=False):
    play_hosts = list(play_hosts or [])
    variables = _variables(hostvars, play_hosts)
    errors = []

    # Given with -e, the pattern chose the play's hosts, and each of them is one
    # it names; given by the inventory only, it could not have.
    for value, holders in _views(variables, play_hosts, "kxvareviv_hosts"):
        if value is UNSET:
            continue
        named = set(hosts_of(str(value), groups))
        outside = [host for host in play_hosts if host not in named]
        if outside:
            errors.append(
                "kxvareviv_hosts is %s in the inventory, where the play cannot read it: a "
                "play's hosts are chosen before the inventory's variables are read, so this "
                "run would cover hosts outside it (%s). Give it with -e kxvareviv_hosts=... "
                "(any host pattern), or use --limit."
                % (json.dumps(value), ", ".join(outside[:3]) + ("..." if outside[3:] else "")))
            break

    sizes = list(waves or ["100%"])
    if mode == "upgrade":
        wave_views = _views(variables, play_hosts, "kxvareviv_wave_sizes")
        if len(wave_views) > 1:
            errors.append(
                "kxvareviv_wave_sizes differs between the hosts of the run (%s): the waves are "
                "one setting of the whole rollout; set it in group_vars/all or with -e"
                % _describe(wave_views))
        elif wave_views and wave_views[0][0] is not UNSET:
            checked = wave_sizes(wave_views[0][0])
            errors.extend(checked["errors"])
            sizes = checked["sizes"]
        else:
            checked = wave_sizes(sizes)
            errors.extend(checked["errors"])
            sizes = checked["sizes"]
    else:
        sizes = ["100%"]

    everyone = hosts_of(pattern, groups)
    return {
        "waves": sizes if not errors else ["100%"],
        "errors": errors,
        "started": now_utc(),
        "pattern": pattern,
        "hosts": everyone,
        "outside_limit": [h for h in everyone if h not in set(play_hosts)],
        "playbook": playbook,
        "mode": mode,
        "check_mode": bool(check_mode),
    }


class FilterModule(object):
    def filters(self):
        return {"fleet_run": fleet_run}
