# The fleet report's rows and CSV.
import csv
import unittest

from ansible_collections.redevi.p3p_firmware.plugins.filter.fleet_report import fleet_report_csv


class FleetReportCsvTest(unittest.TestCase):
    # A cell that a spreadsheet would run as a formula is kept as text.
    CELLS = [("=HYPERLINK(\"x\")", "'=HYPERLINK(\"x\")"), ("+1", "'+1"), ("-1", "'-1"),
             ("@A1", "'@A1"), ("02-5E-ED-AA-00-01", "02-5E-ED-AA-00-01"), (True, "true"),
             (None, "")]

    def test_cells(self):
        for value, cell in self.CELLS:
            row = {"host": "h", "outcome": "updated", "exit_code": 2, "changed": True,
                   "failed": False, "message": value, "adapters": []}
            line = fleet_report_csv([row]).splitlines()[1]
            self.assertEqual(next(csv.reader([line]))[5], cell)


if __name__ == "__main__":
    unittest.main()
