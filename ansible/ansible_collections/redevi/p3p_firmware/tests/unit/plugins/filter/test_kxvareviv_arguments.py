# The options of each role mode, and the combinations the utility would answer
# with its usage text (and exit code 0). The integration target run_outcome
# checks the same table against the utility itself.
import unittest

from ansible_collections.redevi.p3p_firmware.plugins.filter.kxvareviv_arguments import (
    kxvareviv_arguments)


class ArgumentsTest(unittest.TestCase):
    # mode, flags set, the options, or the conflict (one the utility would answer
    # with its usage text and exit code 0)
    ROWS = [
        ("upgrade", "", "-s"),
        ("upgrade", "rewrite downgrade debug", "-s -e -g -debug"),
        ("upgrade", "force", "-s -f"),
        ("upgrade", "force rewrite",
         "kxvareviv_rewrite (-e) cannot be combined with kxvareviv_force (-f)"),
        ("upgrade", "force downgrade",
         "kxvareviv_downgrade (-g) cannot be combined with kxvareviv_force (-f)"),
        ("check", "rewrite",
         "kxvareviv_mode: check (-n) cannot be combined with kxvareviv_rewrite (-e)"),
        ("inventory", "force",
         "kxvareviv_mode: inventory (-c) cannot be combined with kxvareviv_force (-f)"),
        ("report", "downgrade",
         "kxvareviv_mode: report (-d) cannot be combined with kxvareviv_downgrade (-g)"),
        ("update_from_report", "", "-u r.xml"),
        ("update_from_report", "no_file",
         "kxvareviv_mode: update_from_report needs kxvareviv_report_file"),
        ("report", "long_file", "kxvareviv_report_file is longer than 259 characters"),
        ("upgrade", "rewrite check_mode", "-n"),
    ]

    def test_options_and_conflicts(self):
        files = {"no_file": "", "long_file": "x" * 260}
        for mode, flags, expected in self.ROWS:
            settings = {"mode": mode, **{f: True for f in flags.split()}}
            settings["report_file"] = next((files[f] for f in flags.split() if f in files), "r.xml")
            result = kxvareviv_arguments(settings)
            with self.subTest(mode=mode, flags=flags):
                if expected.startswith("-"):
                    self.assertEqual((result["options"], result["conflicts"]),
                                     (expected.split(), []))
                else:
                    self.assertEqual(result["conflicts"], [expected])


if __name__ == "__main__":
    unittest.main()
