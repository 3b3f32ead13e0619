# Each role's meta/argument_specs.yml names the same variables as its
# defaults/main.yml, with the same defaults, so that ansible-doc -t role tells
# what a run really uses.
import os
import unittest

import yaml

ROLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "roles")


def load(*path):
    with open(os.path.join(ROLES, *path)) as data:
        return yaml.safe_load(data) or {}


class ArgumentSpecsTest(unittest.TestCase):
    def test_declared_options_match_the_defaults(self):
        for role in sorted(os.listdir(ROLES)):
            defaults = load(role, "defaults", "main.yml")
            options = load(role, "meta", "argument_specs.yml")["argument_specs"]["main"]["options"]
            with self.subTest(role=role):
                self.assertEqual(sorted(set(defaults) - set(options)), [], "undocumented")
                for name, option in options.items():
                    if name in defaults:
                        self.assertIn("default", option, name)
                        self.assertEqual(option["default"], defaults[name], name)
                    else:  # no default: required, or documented as unset
                        self.assertNotIn("default", option, name)


if __name__ == "__main__":
    unittest.main()
