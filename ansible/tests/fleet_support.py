# Shared helpers of the collection's tests: hosts made of scratch folders on
# this machine, each with its own package, system drive, temporary folder and
# simulated flash tool scenario, and real runs of the built utility there.
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD = os.environ.get("KX_BUILD_DIR", os.path.join(ROOT, "build"))
UTILITY = os.path.join(BUILD, "KXVaReviv")
FLASH_TOOL = os.path.join(BUILD, "zadiroz")
COLLECTIONS = os.path.join(ROOT, "ansible")
COLLECTION = os.path.join(COLLECTIONS, "ansible_collections", "redevi", "p3p_firmware")
EXAMPLES = os.path.join(ROOT, "examples")
PACKAGE_VERSION = "4.0.534"

sys.path.insert(0, os.path.join(COLLECTION, "plugins", "filter"))


def adapter(version, subdevid="2A7D", devid="0C4A", bus=3, mac="02-5E-ED-AA-00-01",
            product="REdevi P3P Q4T quad-port"):
    """One adapter of a scenario, at location <bus>:0.0."""
    return ('<adapter device_id="Port %d" venid="3F1D" devid="%s" subvenid="6B2E" subdevid="%s" '
            'macaddress="%s" product_id="%s" busnumber="%d" devicenumber="0" funcnumber="0" '
            'firmware_id="%s" version="%s" action="update" shared="NO" duration="60" message="-"/>'
            % (bus, devid, subdevid, mac, product, bus, version, version))


OLDER = adapter("4.0.520")
CURRENT = adapter(PACKAGE_VERSION)
NEWER = adapter("4.0.602")
UNSUPPORTED = adapter("3.1.200", subdevid="2B13", devid="0C4F", bus=6, mac="02-5E-ED-DD-00-01",
                      product="REdevi P3P S1T single-port")
SECOND_OLDER = adapter("4.0.520", subdevid="2A91", bus=4, mac="02-5E-ED-BB-00-01",
                       product="REdevi P3P D2T dual-port")


def scenario(*parts, nic_list=""):
    return ('<?xml version="1.0" encoding="utf-8"?>\n<zadiroz_scenario flash_version="%s">%s\n%s\n'
            '</zadiroz_scenario>\n' % (PACKAGE_VERSION, nic_list, "\n".join(parts)))


def make_dir(path, mode=0o755):
    # The utility writes its log only through folders that others cannot write.
    os.makedirs(path, exist_ok=True)
    os.chmod(path, mode)
    return path


class Host(object):
    """A host folder: package/ (the working directory), drive/ (SystemDrive),
    tmp/ (TMPDIR) and scenario.xml."""

    def __init__(self, root, name, scenario_text, staged=True):
        self.name = name
        self.root = make_dir(os.path.join(root, name))
        self.package = os.path.join(self.root, "package")
        self.drive = make_dir(os.path.join(self.root, "drive"))
        self.tmp = make_dir(os.path.join(self.root, "tmp"))
        self.scenario = os.path.join(self.root, "scenario.xml")
        self.calls = os.path.join(self.root, "calls.txt")
        with open(self.scenario, "w") as out:
            out.write(scenario_text)
        if staged:
            stage_package(self.package)

    @property
    def log(self):
        return os.path.join(self.drive, "zpxsystem", "log", "veskor.log")

    @property
    def environment(self):
        return {"SystemDrive": self.drive, "TMPDIR": self.tmp, "ZADIROZ_SCENARIO": self.scenario,
                "ZADIROZ_CALLS": self.calls,
                "ZADIROZ_STATE": os.path.join(self.root, "state.txt")}

    def tool_calls(self):
        if not os.path.exists(self.calls):
            return []
        with open(self.calls) as calls:
            return calls.read().splitlines()

    def log_size(self):
        return os.path.getsize(self.log) if os.path.exists(self.log) else 0

    def run(self, args, preexec_fn=None):
        """Runs the utility here; returns its exit code and what it appended to the log."""
        before = self.log_size()
        env = dict(os.environ)
        env.update(self.environment)
        exe = os.path.join(self.package, "KXVaReviv")
        code = subprocess.call([exe] + list(args), cwd=self.package, env=env,
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, preexec_fn=preexec_fn)
        with open(self.log, "rb") as log:
            log.seek(before)
            return code, log.read().decode("utf-8", "replace")


def stage_package(folder):
    """A package as an administrator copies it: the utility, the flash tool,
    ZOVOREruz.xml and the image."""
    make_dir(folder)
    for source in (UTILITY, FLASH_TOOL, os.path.join(EXAMPLES, "ZOVOREruz.xml"),
                   os.path.join(EXAMPLES, "p3p_rom.bin")):
        shutil.copy2(source, folder)
    return folder


def scratch(prefix):
    return make_dir(tempfile.mkdtemp(prefix=prefix))
