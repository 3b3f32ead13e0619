# The settings as an inventory, a playbook or -e give them, converted once.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import unittest

from ansible_collections.redevi.p3p_firmware.plugins.module_utils.settings import (
    SettingsError, read_settings, unknown_names)

PACKAGE = {"package_dir": "/opt/p3p"}


class SettingsTest(unittest.TestCase):
    # value of kxvareviv_force -> the boolean, or words of the error
    BOOLEANS = [
        (True, True), (False, False), ("true", True), ("False", False), ("YES", True),
        ("no", False), ("On", True), ("off", False), ("1", True), ("0", False), (" yes ", True),
        (1, True), (0, False),
        ("maybe", "'maybe' is not a boolean"), ("y", "'y' is not a boolean"),
        ("t", "'t' is not a boolean"), ("", "'' is not a boolean"), (2, "2 is not a boolean"),
        (None, "None is not a boolean"), (["true"], "is not a boolean"),
    ]
    # the settings given -> words of the error
    FAULTS = [
        ({}, "kxvareviv_package_dir is required: the package folder on the host"),
        ({"package_dir": " "}, "kxvareviv_package_dir is required"),
        (dict(PACKAGE, mode="flash"), "kxvareviv_mode: flash is not one of upgrade, check"),
        (dict(PACKAGE, image_sha256="abc"), "kxvareviv_image_sha256 must be the 64 hexadecimal"),
        (dict(PACKAGE, environment="TMPDIR=/x"), "kxvareviv_environment must be a mapping"),
        (dict(PACKAGE, report_file=5), "kxvareviv_report_file must be a text"),
        ({"force": "maybe"}, "kxvareviv_force: 'maybe' is not a boolean (true/false, yes/no, on/off"
                             " or 1/0); kxvareviv_package_dir is required"),
    ]
    # names -> messages
    NAMES = [
        (["kxvareviv_image_sha265", "kxvareviv_mode", "_kxvareviv_dir", "kxvareviv"],
         ["kxvareviv_image_sha265 is not a variable of redevi.p3p_firmware; "
          "did you mean kxvareviv_image_sha256?"]),
        (["kxvareviv_pakage_dir", "kxvareviv_zzzz_qqqq_wwww", "kxvareviv_wave_sizes",
          "kxvareviv_result", "kxvareviv_report_dir", "other"],
         ["kxvareviv_pakage_dir is not a variable of redevi.p3p_firmware; "
          "did you mean kxvareviv_package_dir?",
          "kxvareviv_zzzz_qqqq_wwww is not a variable of redevi.p3p_firmware"]),
    ]

    def test_booleans(self):
        for value, expected in self.BOOLEANS:
            if isinstance(expected, bool):
                self.assertIs(read_settings(dict(PACKAGE, force=value))["force"], expected, value)
            else:
                with self.assertRaises(SettingsError, msg=repr(value)) as raised:
                    read_settings(dict(PACKAGE, force=value))
                self.assertIn(expected, str(raised.exception))

    def test_faults_and_defaults(self):
        for given, words in self.FAULTS:
            with self.assertRaises(SettingsError, msg=repr(given)) as raised:
                read_settings(given)
            self.assertIn(words, str(raised.exception))
        settings = read_settings(dict(PACKAGE, environment='{"TMPDIR": "/x"}',
                                      image_sha256=" " + "AB" * 32))
        self.assertEqual((settings["mode"], settings["environment"], settings["image_sha256"],
                          settings["force"]), ("upgrade", {"TMPDIR": "/x"}, "ab" * 32, False))

    def test_unknown_names(self):
        for names, messages in self.NAMES:
            self.assertEqual(unknown_names(names), messages)


if __name__ == "__main__":
    unittest.main()
