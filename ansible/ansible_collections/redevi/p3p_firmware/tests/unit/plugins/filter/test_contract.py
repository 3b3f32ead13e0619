# What the collection reads of the utility, compared with the utility's C++
# sources: every log text the outcome is read from is a line the sources print,
# every closing message the update pass ends with is one the collection knows,
# the exit codes are the sources' constants, and the option table is the one
# the utility checks its command line with. Any difference fails.
import os
import re
import unittest

from ansible_collections.redevi.p3p_firmware.plugins.filter import kxvareviv_arguments as args
from ansible_collections.redevi.p3p_firmware.plugins.filter import run_outcome as ro

SOURCES = os.path.abspath(os.path.join(os.path.dirname(__file__), *[".."] * 8))
PRODUCT_DIRS = ("app", "firmware", "inventory", "platform", "ui", "xml")
TOKEN = re.compile(r'"(?:\\.|[^"\\\n])*"|//[^\n]*|/\*.*?\*/|\'(?:\\.|[^\'\\\n])*\'', re.S)
ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "0": "\0", "\\": "\\", '"': '"', "'": "'"}


def read(*path):
    with open(os.path.join(SOURCES, *path)) as source:
        return source.read()


def literals(code):
    """The string literals of C++ code, adjacent ones joined, escapes resolved."""
    found, last_end = [], None
    for token in TOKEN.finditer(code):
        text = token.group(0)
        if not text.startswith('"'):
            continue  # a comment or a character
        value = re.sub(r"\\(.)", lambda m: ESCAPES.get(m.group(1), m.group(1)), text[1:-1])
        between = code[last_end:token.start()] if last_end is not None else "x"
        if found and TOKEN.sub("", between).strip() == "":
            found[-1] += value
        else:
            found.append(value)
        last_end = token.end()
    return found


def product_lines():
    lines = set()
    for folder in PRODUCT_DIRS:
        for base, _, names in os.walk(os.path.join(SOURCES, folder)):
            for name in names:
                if name.endswith((".cpp", ".h")) and not name.endswith("_test.cpp"):
                    for literal in literals(read(base, name)):
                        lines.update(literal.split("\n"))
    return lines


def constants(code, kind):
    """{name: value} of constexpr constants, qualified by their namespace."""
    found, namespace = {}, ""
    for line in code.splitlines():
        opened = re.match(r"namespace (\w+) \{", line)
        if opened:
            namespace = opened.group(1) + "::"
        elif line.startswith("}  // namespace"):
            namespace = ""
        match = re.match(r"\s*(?:inline )?constexpr %s (\w+)(?:\[\])? =\s*([^;]*)" % kind, line)
        if match:
            found[namespace + match.group(1)] = match.group(2)
    return found


@unittest.skipUnless(os.path.exists(os.path.join(SOURCES, "app", "exit_codes.h")),
                     "needs the utility's source tree")
class ContractTest(unittest.TestCase):
    maxDiff = None

    def test_every_text_the_outcome_is_read_from_is_printed_by_the_utility(self):
        printed = product_lines()
        missing = sorted(name for name, text in ro.TEXTS.items() if text not in printed)
        self.assertEqual(missing, [], "texts the utility no longer prints as they stand")

    def test_every_closing_message_is_known(self):
        closings = {}
        for path in (("app", "update_pass.cpp"), ("app", "exit_codes.h")):
            for literal in literals(read(*path)):
                if literal.startswith("\n") or path[1] == "exit_codes.h":
                    closings[literal.strip()] = path[1]
        self.assertEqual(sorted(set(closings) - set(ro.CLOSINGS)), [])

    def test_exit_codes_and_names(self):
        codes = dict((k, int(v)) for k, v in constants(read("app", "exit_codes.h"), "int").items())
        self.assertEqual(codes, ro.EXIT_CODES)
        names = dict((k, v.strip('"')) for k, v in
                     constants(read("ui", "names.h"), "char").items())
        self.assertEqual((names["kPackageConfigFile"], names["kNicListFile"],
                          names["kFlashToolCommand"]),
                         (ro.PACKAGE_CONFIG_FILE, ro.NIC_LIST_FILE, ro.FLASH_TOOL_COMMAND))
        limits = constants(read("app", "command_line.h"), "size_t")
        self.assertEqual(int(limits["kMaxReportPath"]), args.MAX_REPORT_PATH)

    def test_option_table(self):
        code = read("app", "command_line.cpp")
        rows = re.findall(r"\{0x[0-9A-Fa-f]+, /\* (\S+) \*/ \{([01, ]+)\}\}", code)
        names = [name for name, _ in rows]
        table = dict((name, dict(zip(names, [int(x) for x in allowed.split(",")])))
                     for name, allowed in rows)
        used = sorted(args.ALLOWED_WITH)
        self.assertEqual(dict((a, set(b for b in used if table[a][b])) for a in used),
                         args.ALLOWED_WITH)
        self.assertEqual(sorted(set(args.MODE_OPTIONS.values()) | set(
            o for _, o in args.FLAG_OPTIONS)), used)
        for option in used + ["-debug"]:
            self.assertIn('"%s"' % option, code, "the utility takes %s" % option)


if __name__ == "__main__":
    unittest.main()
