# The image and versions a package configuration names, read as the utility reads it.
import base64
import os
import unittest

from ansible_collections.redevi.p3p_firmware.plugins.filter.package_facts import package_facts

EXAMPLE = os.path.join(os.path.dirname(__file__), *[".."] * 8 + ["examples", "ZOVOREruz.xml"])


class PackageFactsTest(unittest.TestCase):
    # The image is the one the utility flashes: the last non-empty fwFile of a nic entry.
    ROWS = [
        ('<p><nic><nic rom="1.0" fwFile="a.bin"/><nic rom="2.0" FWFILE="b.bin"/><nic rom="2.0"/>'
         '</nic><other><nic fwFile="c.bin"/></other></p>', "b.bin", ["1.0", "2.0"]),
        ('<p><nic fwFile="top.bin"/></p>', None, []),
        ("<p><nic>", None, []),
    ]
    if os.path.exists(EXAMPLE):  # the source tree's example package
        with open(EXAMPLE) as example:
            ROWS.insert(0, (example.read(), "p3p_rom.bin", ["4.0.534"]))

    def test_image_and_versions(self):
        for text, image, versions in self.ROWS:
            with self.subTest(text=text[:40]):
                facts = package_facts(base64.b64encode(text.encode()).decode())
                self.assertEqual((facts["image"], facts["versions"]), (image, versions))
                self.assertEqual(facts["readable"], text != "<p><nic>")


if __name__ == "__main__":
    unittest.main()
