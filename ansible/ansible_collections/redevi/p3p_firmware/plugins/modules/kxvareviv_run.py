#!/usr/bin/python
# -*- coding: utf-8 -*-
# The host's part of one run of KXVaReviv, in one round trip: the package
# configuration's facts, the image's SHA-256 when a checksum is given, the
# log's size, the run itself, and the lines the run appended to the log. The
# action plugin of the same name decides everything else on the controller.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
module: kxvareviv_run
author: KXVaReviv developers
short_description: Run KXVaReviv once on a host and tell what the run meant
description:
  - Runs the firmware-upgrade utility KXVaReviv once, in the package folder,
    and decides from its exit code and the lines this run appended to its log
    what the run meant (the outcome), whether it changed the host and whether
    it failed. Sets the host fact C(kxvareviv_result).
  - One module run per host does the host's part; the controller validates the
    settings first, so that a bad setting ends with a clear message and no run.
  - Every option not given in the task is read from the variable
    C(kxvareviv_<option>), as the role C(redevi.p3p_firmware.upgrade) sets
    them. A C(kxvareviv_*) variable that the collection does not know fails the
    host, naming the closest known name.
  - Under check mode (C(--check), or a play whose own vars set
    C(kxvareviv_mode=check), such as the check playbook) the utility runs its
    check (C(-n)) whatever the mode says; C(update_from_report) and the flash
    options C(rewrite), C(downgrade) and C(force) are refused as option errors
    there, since the check cannot predict them.
  - The POSIX path runs this Python module; Windows hosts run the PowerShell
    module of the same name, with the same options and return values.
version_added: 1.1.0
options:
  package_dir:
    description: The package folder on the host, and the run's working directory.
    type: str
    required: true
  package_src:
    description:
      - The controller folder the role stages the package from. Under check
        mode nothing is staged, and a host that does not have the package yet
        gets C(not_run).
    type: str
    default: ""
  executable:
    description: The utility; empty for C(KXVaReviv.exe) or C(KXVaReviv) in the package folder.
    type: str
    default: ""
  mode:
    description: The kind of run.
    type: str
    choices: [upgrade, check, inventory, report, update_from_report]
    default: upgrade
  report_file:
    description:
      - The discovery report of C(report) and C(update_from_report), relative
        to the package folder unless absolute.
    type: str
    default: kxvareviv-report.xml
  rewrite:
    description: Write the package's firmware also where it is installed already (C(-e)).
    type: bool
    default: false
  downgrade:
    description: Write the package's firmware also where newer is installed (C(-g)).
    type: bool
    default: false
  force:
    description: Force all firmware changes (C(-f)).
    type: bool
    default: false
  debug:
    description: Debug output in the log (C(-debug)).
    type: bool
    default: false
  environment:
    description: Environment variables of the run.
    type: dict
    default: {}
  log_path:
    description:
      - The utility's log. Empty for C(<system drive>\zpxsystem\log\veskor.log)
        on Windows, C($SystemDrive/zpxsystem/log/veskor.log) elsewhere (with
        C(SystemDrive) from I(environment) or the host's environment).
    type: str
    default: ""
  image_sha256:
    description:
      - The SHA-256 of the package's firmware image as its vendor published it.
        The image that C(ZOVOREruz.xml) names is hashed on the host before the
        run; a missing configuration gives C(package_missing), a missing or
        altered image C(package_corrupt), and the utility does not run.
    type: str
    default: ""
  validate_only:
    description: Only validate the settings and tell the host's platform; nothing runs on the host.
    type: bool
    default: false
notes:
  - The booleans take true or false, or the texts true, false, yes, no, on, off,
    1 and 0 in any letter case; anything else is an error.
  - The module has no time limit, since cutting a flash short can leave an adapter unusable.
  - The Windows module has not run on a Windows host in the collection's tests.
"""

EXAMPLES = r"""
- name: Check a host's adapters
  redevi.p3p_firmware.kxvareviv_run:
    package_dir: /opt/firmware/p3p-4.0.534
    mode: check
    environment:
      SystemDrive: /var/lib/kxvareviv

- name: Upgrade with the settings of the inventory (kxvareviv_* variables)
  redevi.p3p_firmware.kxvareviv_run:
"""

RETURN = r"""
kxvareviv_result:
  description: What the run meant; also set as the host fact C(kxvareviv_result).
  returned: always
  type: dict
  contains:
    outcome:
      description: The outcome, e.g. C(updated), C(up_to_date), C(flash_failed).
      type: str
    exit_code:
      description: The utility's exit code; null when it did not run.
      type: int
    changed:
      description: Whether the run changed the host.
      type: bool
    failed:
      description: Whether the run failed.
      type: bool
    message:
      description: The closing message of the run, or why it did not run.
      type: str
    adapters:
      description: The adapters the run named (name, mac, location, installed, available, result).
      type: list
    log:
      description: The lines this run appended to the utility's log.
      type: list
    check_mode:
      description: Whether the run was under check mode (C(--check), or the check playbook).
      type: bool
report_path:
  description: The discovery report's path on the host.
  returned: always
  type: str
windows:
  description: Whether the host runs the Windows module.
  returned: always
  type: bool
"""

# The engine reads the documentation above before the imports.
import errno  # noqa: E402
import hashlib  # noqa: E402
import os  # noqa: E402
import stat  # noqa: E402
import subprocess  # noqa: E402

from ansible.module_utils.basic import AnsibleModule  # noqa: E402
from ansible_collections.redevi.p3p_firmware.plugins.module_utils.package_config import (  # noqa: E402,E501
    read_package_config)

CONFIG = "ZOVOREruz.xml"


def _join(folder, name):
    return name if os.path.isabs(name) else os.path.join(folder, name)


def _sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as image:
        for block in iter(lambda: image.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def _sound(info, folder):
    """The log is read only where the utility writes it: not through a link,
    owned by this account or root, and folders no one else may change."""
    uid = os.geteuid()
    if stat.S_ISLNK(info.st_mode) or info.st_uid not in (0, uid):
        return False
    if folder:
        return (stat.S_ISDIR(info.st_mode)
                and (not info.st_mode & 0o022 or info.st_mode & stat.S_ISVTX))
    return stat.S_ISREG(info.st_mode) and info.st_nlink == 1


def log_is_sound(path):
    log_folder = os.path.dirname(path)
    try:
        return (_sound(os.lstat(os.path.dirname(log_folder)), True)
                and _sound(os.lstat(log_folder), True) and _sound(os.lstat(path), False))
    except OSError:
        return False


def log_size(path):
    try:
        return os.stat(path).st_size if log_is_sound(path) else 0
    except OSError:
        return 0


def appended(path, before):
    """What a run appended to the log; all of it when the log is now shorter."""
    if not log_is_sound(path):
        return ""
    flags = os.O_RDONLY | getattr(os, "O_NOFOLLOW", 0)
    try:
        handle = os.open(path, flags)
    except OSError:
        return ""
    with os.fdopen(handle, "rb") as log:
        size = os.fstat(log.fileno()).st_size
        log.seek(before if before <= size else 0)
        return log.read().decode("utf-8", "replace")


def package_facts(package_dir):
    path = os.path.join(package_dir, CONFIG)
    try:
        with open(path, "rb") as config:
            facts = read_package_config(config.read())
    except (IOError, OSError):
        return {"exists": False, "readable": False, "image": None, "versions": []}
    facts["exists"] = True
    return facts


def image_check(package_dir, package, sha256):
    """Whether the image the configuration names is the published one."""
    check = {"state": "ok", "path": None, "sha256": None}
    if not package["image"]:
        check["state"] = "no_image"
        return check
    check["path"] = _join(package_dir, package["image"])
    try:
        # The flash tool reads what a link points to, and so is the image hashed.
        check["sha256"] = _sha256(check["path"])
    except (IOError, OSError):
        check["state"] = "missing"
        return check
    if check["sha256"] != sha256:
        check["state"] = "altered"
    return check


def run(argv, package_dir, environment):
    """The exit code, or None and why the utility could not be started."""
    env = dict(os.environ)
    env.update(environment)
    try:
        os.chdir(package_dir)
    except OSError as error:
        return None, "Unable to change directory before execution: %s" % error
    devnull = open(os.devnull, "r+b")
    try:
        process = subprocess.Popen(argv, cwd=package_dir, env=env, stdin=devnull,
                                   stdout=devnull, stderr=devnull, close_fds=True)
        return process.wait(), ""
    except OSError as error:
        if error.errno == errno.ENOENT:
            return None, "The utility %s is missing: %s" % (argv[0], error)
        return None, "Unable to start %s: %s" % (argv[0], error)
    finally:
        devnull.close()


def main():
    module = AnsibleModule(
        argument_spec=dict(
            package_dir=dict(type="str", required=True),
            executable=dict(type="str", default=""),
            arguments=dict(type="list", elements="str", required=True),
            environment=dict(type="dict", default={}),
            log_path=dict(type="str", default=""),
            image_sha256=dict(type="str", default=""),
            report_file=dict(type="str", default=""),
            require_package=dict(type="bool", default=False),
        ),
        supports_check_mode=True,
    )
    params = module.params
    package_dir = params["package_dir"]
    environment = dict((k, str(v)) for k, v in params["environment"].items())
    if module.check_mode and [a for a in params["arguments"] if a not in ("-n", "-debug")]:
        # The controller turns every run under check mode into the check; a
        # command that could flash never runs here under check mode.
        module.fail_json(msg="Under check mode only the check (-n) runs, not %s"
                         % " ".join(params["arguments"]))

    drive = environment.get("SystemDrive", os.environ.get("SystemDrive", ""))
    log = params["log_path"] or "%s/zpxsystem/log/veskor.log" % drive.rstrip("/")
    result = {"changed": False, "windows": False, "ran": False, "rc": None,
              "start_error": "",
              "log_path": log, "log": "",
              "report_path": _join(package_dir, params["report_file"] or "kxvareviv-report.xml"),
              "package": package_facts(package_dir), "image": None}

    # held: why the utility did not run (no package configuration, an image
    # that is not the published one).
    if params["require_package"] and not result["package"]["exists"]:
        module.exit_json(held="package", **result)
    if params["image_sha256"]:
        result["image"] = image_check(package_dir, result["package"], params["image_sha256"])
        if result["image"]["state"] != "ok":
            module.exit_json(held="image", **result)

    executable = params["executable"] or os.path.join(package_dir, "KXVaReviv")
    before = log_size(log)
    result["rc"], result["start_error"] = run([executable] + params["arguments"], package_dir,
                                              environment)
    result["ran"] = result["rc"] is not None
    result["held"] = None
    if result["ran"]:
        result["log"] = appended(log, before)
    module.exit_json(**result)


if __name__ == "__main__":
    main()
