# The command of a run: what check mode makes of each mode and flash option.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import unittest

from ansible_collections.redevi.p3p_firmware.plugins.module_utils.command_line import (
    command_for)
from ansible_collections.redevi.p3p_firmware.plugins.module_utils.settings import (
    SettingsError, read_settings)


class CommandTest(unittest.TestCase):
    # mode, flags set, check mode -> the options and run mode, or words of the refusal
    ROWS = [
        ("upgrade", "", False, ("-s", "upgrade")),
        ("upgrade", "downgrade debug", False, ("-s -g -debug", "upgrade")),
        ("upgrade", "", True, ("-n", "check")),
        ("upgrade", "debug", True, ("-n -debug", "check")),
        ("check", "", True, ("-n", "check")),
        ("inventory", "", True, ("-n", "check")),
        ("report", "", True, ("-n", "check")),
        ("report", "", False, ("-d kxvareviv-report.xml", "report")),
        ("upgrade", "downgrade", True,
         "under check mode the run is the check: kxvareviv_mode: check (-n) cannot be combined"
         " with kxvareviv_downgrade (-g)"),
        ("upgrade", "force", True, "kxvareviv_force (-f)"),
        ("update_from_report", "", True, "update_from_report flashes what its report selects"),
        ("update_from_report", "", False, ("-u kxvareviv-report.xml", "update_from_report")),
        ("upgrade", "force rewrite", False,
         "kxvareviv_rewrite (-e) cannot be combined with kxvareviv_force (-f)"),
    ]

    def test_rows(self):
        for mode, flags, check_mode, expected in self.ROWS:
            settings = read_settings(dict({f: True for f in flags.split()}, package_dir="/p",
                                          mode=mode))
            label = "%s %s check=%s" % (mode, flags, check_mode)
            if isinstance(expected, tuple):
                options, run_mode = command_for(settings, check_mode)
                self.assertEqual((" ".join(options), run_mode), expected, label)
            else:
                with self.assertRaises(SettingsError, msg=label) as raised:
                    command_for(settings, check_mode)
                self.assertIn(expected, str(raised.exception), label)


if __name__ == "__main__":
    unittest.main()
