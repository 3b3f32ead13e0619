# The host module reads the log only where the utility writes it, and only what
# this run appended.
from __future__ import absolute_import, division, print_function

__metaclass__ = type

import os
import shutil
import tempfile
import unittest

from ansible_collections.redevi.p3p_firmware.plugins.modules.kxvareviv_run import appended


def append(path, text):
    with open(path, "a") as log:
        log.write(text)


def replace(path, text):
    os.remove(path)
    with open(path, "w") as log:
        log.write(text)


def link_to_secret(path, secret):
    os.remove(path)
    os.symlink(secret, path)


class LogTest(unittest.TestCase):
    # what happens between noting the size and reading -> what the run appended
    ROWS = [
        ("appended", lambda path, secret: append(path, "run\n"), "run\n"),
        ("replaced by a shorter log", lambda path, secret: replace(path, "new\n"), "new\n"),
        ("the log a link", link_to_secret, ""),
        ("the log folder writable by others",
         lambda path, secret: os.chmod(os.path.dirname(path), 0o777), ""),
        ("the system folder writable by others",
         lambda path, secret: os.chmod(os.path.dirname(os.path.dirname(path)), 0o777), ""),
        ("a second hard link", lambda path, secret: os.link(path, path + ".2"), ""),
        ("missing", lambda path, secret: os.remove(path), ""),
    ]

    def test_rows(self):
        for name, change, expected in self.ROWS:
            root = tempfile.mkdtemp(prefix="kx-log-")
            try:
                os.makedirs(os.path.join(root, "zpxsystem", "log"), 0o755)
                path = os.path.join(root, "zpxsystem", "log", "veskor.log")
                secret = os.path.join(root, "secret")
                for name_, text in ((path, "earlier runs\n"), (secret, "not a log\n")):
                    with open(name_, "w") as out:
                        out.write(text)
                before = os.path.getsize(path)
                change(path, secret)
                self.assertEqual(appended(path, before), expected, name)
            finally:
                shutil.rmtree(root)


if __name__ == "__main__":
    unittest.main()
