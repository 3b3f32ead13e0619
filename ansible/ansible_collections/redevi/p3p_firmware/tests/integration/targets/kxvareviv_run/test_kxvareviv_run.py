# What the administrator wrote, and what ran: an inventory in two sources (the
# fleet's YAML with each host's folders, an INI file with the texts under test)
# and -e, against the flash tool's calls of every host and the fleet report.
import json
import os
import shutil
import unittest

import fleet_support as fs
from fleet_support import ALL_AT_ONCE, CURRENT, NEWER, OLDER, Fleet

SHA = "{sha256}"
# host: scenario, INI text of its variables, setup (as in fleet_support)
TYPED = {
    "dg-false": (NEWER, "kxvareviv_downgrade=false", None),
    "dg-Off": (NEWER, "kxvareviv_downgrade=Off", None),
    "dg-0": (NEWER, "kxvareviv_downgrade=0", None),
    "dg-YES": (NEWER, "kxvareviv_downgrade=YES", None),
    "dg-maybe": (NEWER, "kxvareviv_downgrade=maybe", None),
    "dg-y": (NEWER, "kxvareviv_downgrade=y", None),
    "rewrite-in-ini": (CURRENT, "kxvareviv_rewrite=true", None),
    "typo-sha": (OLDER, "kxvareviv_image_sha265=" + "0" * 64, None),
    "typo-dir": (OLDER, "kxvareviv_pakage_dir={package}", "no_package_dir"),
    "no-folder": (OLDER, "kxvareviv_package_dir={root}/no-such-folder", None),
    "sha-no-config": (OLDER, "kxvareviv_image_sha256=" + SHA, "no_config"),
}
# host: outcome (None: any failure), flash calls, words of the message
TYPED_EXPECTED = {
    "dg-false": ("up_to_date", 0, []),
    "dg-Off": ("up_to_date", 0, []),
    "dg-0": ("up_to_date", 0, []),
    "dg-YES": ("updated", 1, []),
    "dg-maybe": (None, 0, ["kxvareviv_downgrade", "maybe"]),
    "dg-y": ("invalid_options", 0, ["kxvareviv_downgrade", "'y' is not a boolean"]),
    "rewrite-in-ini": ("up_to_date", 0, []),  # -e kxvareviv_rewrite=false wins
    "typo-sha": ("invalid_options", 0, ["kxvareviv_image_sha265", "kxvareviv_image_sha256?"]),
    "typo-dir": (None, 0, ["kxvareviv_package_dir"]),
    "no-folder": ("start_failed", 0, ["Unable to change directory before execution",
                                      "no-such-folder"]),
    "sha-no-config": ("package_missing", 0, ["ZOVOREruz.xml is missing"]),
}

STAGING = {
    "staged": (OLDER, "", None),
    "unstaged": (OLDER, "kxvareviv_package_src={src}", "unstaged"),
    "unstaged-sha": (OLDER, "kxvareviv_package_src={src} kxvareviv_image_sha256=" + SHA,
                     "unstaged"),
}
NOT_STAGED = ("not_run", False, ["not on the host yet"])
# playbook and its arguments: host -> (outcome, changed, words of the message)
CHECKS = [
    (["check", "-e", "kxvareviv_mode=upgrade"], {
        "staged": ("update_recommended", True, []),
        "unstaged": NOT_STAGED, "unstaged-sha": NOT_STAGED}),
    (["rollout", "--check"] + ALL_AT_ONCE, {
        "staged": ("update_recommended", True, []),
        "unstaged": NOT_STAGED, "unstaged-sha": NOT_STAGED}),
    (["check", "-e", "kxvareviv_force=yes"], {
        name: ("invalid_options", False, ["kxvareviv_force (-f)"]) for name in STAGING}),
    (["rollout", "-e", "kxvareviv_mode=update_from_report", "--check"] + ALL_AT_ONCE, {
        name: ("invalid_options", False, ["update_from_report"]) for name in STAGING}),
]


class TypedFleet(Fleet):
    """The test fleet with the variables under test in an INI inventory."""

    def __init__(self, root, layout, processes):
        Fleet.__init__(self, root, {name: ([scenario], {}, None if setup == "no_package_dir"
                                           else setup)
                                    for name, (scenario, _, setup) in layout.items()}, processes)
        with open(self.inventory) as data:
            inventory = json.load(data)
        sha256 = fs.sha256_of(os.path.join(fs.EXAMPLES, "p3p_rom.bin"))
        lines = ["[all]"]
        for name, (_, text, setup) in layout.items():
            entry = inventory["all"]["hosts"][name]
            if setup == "no_package_dir":
                del entry["kxvareviv_package_dir"]
            lines.append("%s %s" % (name, text.format(
                package=self.hosts[name].package, root=root, src=os.path.join(root, "package-src"),
                sha256=sha256)))
        with open(self.inventory, "w") as out:
            json.dump(inventory, out)
        self.ini = os.path.join(root, "typed.ini")
        with open(self.ini, "w") as out:
            out.write("\n".join(lines) + "\n")

    def playbook(self, name, *args):
        return Fleet.playbook(self, name, "-i", self.ini, *args)


class KxvarevivRunTest(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        self.root = fs.scratch("kx-run-")

    def tearDown(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def assertHosts(self, fleet, expected, recap, out):
        rows = {row["host"]: row for row in fleet.report()[0]}
        for name, (outcome, changed, words) in expected.items():
            row = rows[name]
            if outcome:
                self.assertEqual(row["outcome"], outcome, "%s: %s" % (name, row["message"]))
            else:
                self.assertTrue(row["failed"], name)
            if isinstance(changed, bool):
                self.assertEqual(recap[name]["changed"] > 0, changed, name + "\n" + out)
            for word in words:
                self.assertIn(word, row["message"], name)
        return rows

    def test_typed_settings_in_ini_and_extra_vars(self):
        fleet = TypedFleet(self.root, TYPED, [])
        code, recap, out = fleet.playbook("rollout", "-e", "kxvareviv_rewrite=false",
                                          "-e", "kxvareviv_force=false", *ALL_AT_ONCE)
        self.assertEqual(code, 2, out)
        self.assertHosts(fleet, TYPED_EXPECTED, recap, out)
        self.assertEqual({name: len(calls) for name, calls in fleet.flash_calls().items()},
                         {name: flashes for name, (_, flashes, _) in TYPED_EXPECTED.items()})
        for name, (outcome, _, _) in TYPED_EXPECTED.items():
            if outcome in (None, "invalid_options", "start_failed"):
                self.assertEqual(fleet.hosts[name].tool_calls(), [], name + " reached the tool")

    def test_check_never_changes_a_host(self):
        fleet = TypedFleet(self.root, STAGING, [])
        facts = os.path.join(self.root, "facts.d")
        for args, expected in CHECKS:
            # A host that asks for its outcome in facts.d gets none from a check.
            code, recap, out = fleet.playbook(*(args + ["-e", "kxvareviv_local_fact=true",
                                                        "-e", "kxvareviv_fact_path=" + facts]))
            self.assertHosts(fleet, expected, recap, out)
            self.assertEqual(fleet.flash_calls(), {name: [] for name in STAGING}, args)
            for name in ("unstaged", "unstaged-sha"):
                self.assertFalse(os.path.exists(fleet.hosts[name].package), "staged by %s" % args)
            self.assertFalse(os.path.exists(os.path.join(facts, "kxvareviv.fact")), args)
            # The report tells a check as one, whatever mode the variables name.
            row = fleet.report_rows()["staged"]
            self.assertEqual((row["check_mode"], row["playbook"]),
                             (True, "redevi.p3p_firmware." + args[0]), args)


if __name__ == "__main__":
    unittest.main()
