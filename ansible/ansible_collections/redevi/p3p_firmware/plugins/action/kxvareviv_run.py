# -*- coding: utf-8 -*-
# The controller's part of one run of KXVaReviv: read and convert the settings
# once, refuse what no run may start with, build the command, call the host's
# module once (Python on POSIX hosts, PowerShell on Windows hosts, chosen by the
# connection's shell), and tell from what comes back what the run meant.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

from ansible.errors import AnsibleError
from ansible.module_utils.common.text.converters import to_text
from ansible.plugins.action import ActionBase

from ansible_collections.redevi.p3p_firmware.plugins.filter.fleet_report import (
    default_report_dir)
from ansible_collections.redevi.p3p_firmware.plugins.filter.run_outcome import (
    decided_outcome, run_outcome)
from ansible_collections.redevi.p3p_firmware.plugins.module_utils.command_line import (
    command_for)
from ansible_collections.redevi.p3p_firmware.plugins.module_utils.settings import (
    PREFIX, SETTINGS, SettingsError, read_settings, to_bool, unknown_names)

MODULE = "redevi.p3p_firmware.kxvareviv_run"
WINDOWS_MODULE = "redevi.p3p_firmware.win_kxvareviv_run"
OPTIONS = frozenset(list(SETTINGS) + ["validate_only"])


def play_declares_check(task):
    """Whether the task's play says kxvareviv_mode: check in its own vars (as
    the check playbook does). Extra vars override variables, never the play."""
    node = task
    while node is not None:
        play = getattr(node, "_play", None)
        if play is not None:
            return (play.vars or {}).get(PREFIX + "mode") == "check"
        node = getattr(node, "_parent", None)
    return False


def image_refusal(image, name, config, published):
    if image["state"] == "no_image":
        return "The package configuration %s names no firmware image" % config
    if image["state"] == "missing":
        return "The firmware image %s is missing" % name
    return "The firmware image %s has SHA-256 %s, not the published %s" % (
        name, image["sha256"], published)


class ActionModule(ActionBase):
    TRANSFERS_FILES = False

    def _given(self, task_vars):
        """The settings as given: the task's options, else the kxvareviv_* variables."""
        faults = unknown_names(task_vars)
        for option in sorted(set(self._task.args) - OPTIONS):
            faults.append("%s is not an option of %s" % (option, MODULE))
        given = {}
        for name in SETTINGS:
            try:
                if name in self._task.args:
                    given[name] = self._task.args[name]
                elif PREFIX + name in task_vars:
                    given[name] = self._templar.template(task_vars[PREFIX + name])
            except AnsibleError as error:
                faults.append("%s%s: %s" % (PREFIX, name, to_text(error)))
        try:
            settings = read_settings(given)
        except SettingsError as error:
            faults.append(to_text(error))
        if faults:
            raise SettingsError("; ".join(faults))
        return settings

    def run(self, tmp=None, task_vars=None):
        result = super(ActionModule, self).run(tmp, task_vars)
        del tmp
        task_vars = task_vars or {}
        windows = self._connection._shell.SHELL_FAMILY == "powershell"
        check_mode = bool(self._play_context.check_mode) or play_declares_check(self._task)
        result.update(windows=windows, check_mode=check_mode, changed=False)
        try:
            settings = self._given(task_vars)
            options, run_mode = command_for(settings, check_mode)
        except SettingsError as error:
            return self._finish(result, decided_outcome("invalid_options", to_text(error)))
        try:
            validate_only = to_bool("validate_only", self._task.args.get("validate_only", False))
        except SettingsError as error:
            return self._finish(result, decided_outcome("invalid_options", to_text(error)))
        if validate_only:
            result.update(package_dir=settings["package_dir"],
                          package_src=settings["package_src"])
            return result

        module_args = {
            "package_dir": settings["package_dir"],
            "executable": settings["executable"],
            "arguments": options,
            "environment": settings["environment"],
            "log_path": settings["log_path"],
            "image_sha256": settings["image_sha256"],
            "report_file": settings["report_file"],
            # Without its configuration a package can be neither hashed nor checked.
            "require_package": bool(settings["image_sha256"]
                                    or (check_mode and settings["package_src"])),
        }
        reply = self._execute_module(module_name=WINDOWS_MODULE if windows else MODULE,
                                     module_args=module_args,
                                     task_vars=task_vars)
        result["report_path"] = reply.get("report_path", "")
        if reply.get("failed") or "ran" not in reply:
            why = [reply.get("msg") or "The host's part of the run failed."]
            why += [reply[k].strip() for k in ("module_stderr", "module_stdout") if reply.get(k)]
            return self._finish(result, decided_outcome("task_failed", "\n".join(why)))
        outcome = self._outcome(reply, settings, run_mode, check_mode)
        if outcome["outcome"] == "report_written":
            outcome = self._fetch_report(result, outcome, task_vars)
        return self._finish(result, outcome)

    def _fetch_report(self, result, outcome, task_vars):
        """Fetches the discovery report to <kxvareviv_report_dir>/<host>/ (by
        default kxvareviv-reports beside the playbook, or in the current
        directory for the collection's own playbooks)."""
        folder = task_vars.get(PREFIX + "report_dir")
        folder = self._templar.template(folder) if folder else default_report_dir(
            task_vars.get("playbook_dir"))
        task = self._task.copy()
        task.args = {"src": result["report_path"], "flat": True,
                     "dest": "%s/%s/" % (folder, task_vars.get("inventory_hostname"))}
        fetch = self._shared_loader_obj.action_loader.get(
            "ansible.legacy.fetch", task=task, connection=self._connection,
            play_context=self._play_context, loader=self._loader, templar=self._templar,
            shared_loader_obj=self._shared_loader_obj)
        fetched = fetch.run(task_vars=task_vars)
        if fetched.get("failed"):
            return decided_outcome("report_failed", "The discovery report %s was written but "
                                   "not fetched: %s" % (result["report_path"], fetched.get("msg")))
        result["report_fetched"] = fetched.get("dest")
        return outcome

    @staticmethod
    def _outcome(reply, settings, run_mode, check_mode):
        package = reply["package"]
        versions = package.get("versions") or []
        version = versions[0] if len(versions) == 1 else None
        if reply.get("held") == "package":
            if check_mode and settings["package_src"]:
                return decided_outcome("not_run", (
                    "The package is not on the host yet: a real run stages it from %s; "
                    "check mode stages nothing" % settings["package_src"]), version)
            return decided_outcome("package_missing", None, version)
        if reply.get("held") == "image":
            config = settings["package_dir"].rstrip("\\/") + (
                "\\" if reply["windows"] else "/") + "ZOVOREruz.xml"
            return decided_outcome("package_corrupt", image_refusal(
                reply["image"], package["image"], config, settings["image_sha256"]), version)
        if not reply["ran"]:
            return decided_outcome("start_failed", "The utility could not be started: %s"
                                   % reply.get("start_error", ""), version)
        return run_outcome(reply["rc"], run_mode, reply["log"], check_mode=check_mode,
                           package_version=version)

    @staticmethod
    def _finish(result, outcome):
        # Whether the run was under check mode (the check playbook's runs are,
        # whatever ansible_check_mode says): what later tasks may change depends on it.
        outcome = dict(outcome, check_mode=result["check_mode"])
        result["kxvareviv_result"] = outcome
        result["ansible_facts"] = {"kxvareviv_result": outcome}
        result["changed"] = outcome["changed"]
        result["failed"] = outcome["failed"]
        result["msg"] = "%s: %s" % (outcome["outcome"], outcome["message"])
        return result
