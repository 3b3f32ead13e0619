# Shared helpers of the collection's tests: hosts made of scratch folders on
# this machine, each with its own package, system drive, temporary folder and
# simulated flash tool scenario, and real runs of the built utility there.
import csv
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

# The collection lies in <source tree>/ansible/ansible_collections/redevi/p3p_firmware.
COLLECTION = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
COLLECTIONS = os.path.abspath(os.path.join(COLLECTION, "..", "..", ".."))
ROOT = os.path.dirname(COLLECTIONS)
BUILD = os.environ.get("KX_BUILD_DIR", os.path.join(ROOT, "build"))
UTILITY = os.path.join(BUILD, "KXVaReviv")
FLASH_TOOL = os.path.join(BUILD, "zadiroz")
EXAMPLES = os.path.join(ROOT, "examples")
PACKAGE_VERSION = "4.0.534"

# The collection's Python as the engine imports it: ansible_collections.redevi.p3p_firmware...
if COLLECTIONS not in sys.path:
    sys.path.insert(0, COLLECTIONS)


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
# What run_outcome tells of OLDER after a successful flash.
UPDATED_ADAPTER = {"name": "REdevi P3P Q4T quad-port", "mac": "02-5E-ED-AA-00-01",
                   "location": "3:0.0", "installed": "4.0.520", "available": PACKAGE_VERSION,
                   "result": "updated"}
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


FLASH_FAILS = '<operation name="flash" location="4:0.0" exit="7"/>'
RECAP = re.compile(r"^(\S+)\s+: ok=(\d+)\s+changed=(\d+)\s+unreachable=(\d+)\s+failed=(\d+)", re.M)
ALL_AT_ONCE = ["-e", '{"kxvareviv_wave_sizes": ["100%"]}']

# name: scenario parts, inventory variables, setup
FLEET = {
    "older": ([OLDER], {"kxvareviv_package_src": "{src}"}, "unstaged"),
    "current": ([CURRENT], {"kxvareviv_image_sha256": "{sha256}"}, None),
    "newer": ([adapter("4.0.602", product="P3P &lt;Q4T&gt; &amp; port")], {}, None),
    "unsupported": ([UNSUPPORTED], {}, None),
    "flash-fails": ([SECOND_OLDER, FLASH_FAILS], {}, None),
    "tool-running": ([OLDER], {}, "lock"),
    "no-config": ([OLDER], {}, "no_config"),
    "conflict": ([OLDER], {"kxvareviv_force": True, "kxvareviv_rewrite": True}, None),
    "bad-image": ([OLDER], {"kxvareviv_image_sha256": "0" * 64}, None),
    "no-image": ([OLDER], {"kxvareviv_image_sha256": "{sha256}"}, "no_image"),
}
WAVES = {  # the first wave (one host) fails, the later ones must never start
    "wave-1": ([SECOND_OLDER, FLASH_FAILS], {}, None),
    "wave-2": ([OLDER], {}, None),
    "wave-3": ([OLDER], {}, None),
    "wave-4": ([OLDER], {}, None),
    "wave-5": ([OLDER], {}, None),
}


def sha256_of(path):
    with open(path, "rb") as image:
        return hashlib.sha256(image.read()).hexdigest()


# A host that cannot be reached: its ssh connection ends at once, without a network.
UNREACHABLE = {"ansible_connection": "ssh", "ansible_host": "unreachable.invalid",
               "ansible_ssh_common_args": "-o ProxyCommand=/bin/false -o BatchMode=yes"}
WAVE_PLAY = "PLAY [Run KXVaReviv on the fleet]"
HOST_LINE = re.compile(r"^(?:ok|changed|fatal|skipping): \[([^\]\s]+)", re.M)


def waves_run(out):
    """The hosts of each wave that the play ran, from ansible-playbook's output."""
    waves = []
    for section in out.split(WAVE_PLAY)[1:]:
        section = section.split("PLAY RECAP")[0]
        waves.append(sorted(set(HOST_LINE.findall(section))))
    return waves


class Fleet(object):
    """Host folders and the inventory that names them; groups ({group: [hosts]})
    and group_vars ({group: variables}) beside it."""

    def __init__(self, root, layout, processes, groups=None, group_vars=None):
        self.root = make_dir(root)
        self.hosts = {}
        src = stage_package(os.path.join(root, "package-src"))
        sha256 = sha256_of(os.path.join(src, "p3p_rom.bin"))
        inventory = {"all": {"vars": {"ansible_connection": "local",
                                      "ansible_python_interpreter": "/usr/bin/python3"},
                             "hosts": {}, "children": {}}}
        for group, members in (groups or {}).items():
            inventory["all"]["children"][group] = {"hosts": dict((h, None) for h in members)}
        self.set_group_vars(group_vars or {})
        for name, (parts, variables, setup) in layout.items():
            host = Host(root, name, scenario(*parts), staged=(setup != "unstaged"))
            if setup in ("no_config", "no_image"):
                os.remove(os.path.join(host.package, "ZOVOREruz.xml" if setup == "no_config"
                                       else "p3p_rom.bin"))
            if setup == "lock":
                processes.append(self.start_flash_tool(host))
            entry = {"kxvareviv_package_dir": host.package,
                     "kxvareviv_environment": host.environment}
            if setup == "unreachable":
                entry.update(UNREACHABLE)
            for key, value in variables.items():
                if isinstance(value, str):
                    value = value.format(src=src, sha256=sha256)
                entry[key] = value
            inventory["all"]["hosts"][name] = entry
            self.hosts[name] = host
        self.inventory = os.path.join(root, "hosts.yml")
        with open(self.inventory, "w") as out:
            json.dump(inventory, out, indent=1)

    def set_group_vars(self, group_vars):
        folder = os.path.join(self.root, "group_vars")
        shutil.rmtree(folder, ignore_errors=True)
        make_dir(folder)
        for group, variables in group_vars.items():
            with open(os.path.join(folder, group + ".yml"), "w") as out:
                json.dump(variables, out)

    @staticmethod
    def start_flash_tool(host):
        """A flash tool busy on this host: it holds its lock in the host's TMPDIR."""
        busy = make_dir(os.path.join(host.root, "busy"))
        with open(os.path.join(busy, "scenario.xml"), "w") as out:
            out.write(scenario('<operation name="list" sleep_ms="600000"/>'))
        env = dict(os.environ, TMPDIR=host.tmp, ZADIROZ_SCENARIO="scenario.xml")
        process = subprocess.Popen([FLASH_TOOL, "-flashsupport", "-d", "p3p_rom.bin",
                                    "tempNicList.xml", "-p3"], cwd=busy, env=env)
        lock = os.path.join(host.tmp, "rozado_lock_file")
        for _ in range(200):
            if os.path.exists(lock):
                break
            time.sleep(0.05)
        return process

    def playbook(self, name, *args, **more_env):
        env = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=COLLECTIONS, ANSIBLE_NOCOLOR="1",
                   ANSIBLE_LOCAL_TEMP=os.path.join(self.root, ".ansible-tmp"),
                   ANSIBLE_REMOTE_TEMP=os.path.join(self.root, ".ansible-tmp"),
                   ANSIBLE_LOCALHOST_WARNING="false", **more_env)
        run = subprocess.run(["ansible-playbook", "-i", self.inventory,
                              "redevi.p3p_firmware." + name] + list(args),
                             cwd=self.root, env=env, stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, universal_newlines=True)
        recap = {m.group(1): {"ok": int(m.group(2)), "changed": int(m.group(3)),
                              "unreachable": int(m.group(4)), "failed": int(m.group(5))}
                 for m in RECAP.finditer(run.stdout)}
        return run.returncode, recap, run.stdout

    def report(self):
        folder = os.path.join(self.root, "kxvareviv-reports")
        with open(os.path.join(folder, "fleet-report.json")) as data:
            rows = json.load(data)
        with open(os.path.join(folder, "fleet-report.csv"), newline="") as data:
            lines = list(csv.DictReader(data))
        with open(os.path.join(folder, "fleet-report.html")) as page:
            html = page.read()
        return rows, lines, html

    def report_rows(self):
        return dict((row["host"], row) for row in self.report()[0])

    def flash_calls(self):
        return {name: [c for c in host.tool_calls() if " -i " in c]
                for name, host in self.hosts.items()}

    def forget_calls(self):
        for host in self.hosts.values():
            if os.path.exists(host.calls):
                os.remove(host.calls)


if __name__ == "__main__":
    # The test fleet for trying the playbooks by hand: python3 fleet_support.py <folder>
    folder = make_dir(os.path.abspath(sys.argv[1]))
    busy = []
    Fleet(folder, FLEET, busy)
    with open(os.path.join(folder, "busy-flash-tool.pid"), "w") as out:
        out.write("%d\n" % busy[0].pid)
    print("Inventory: %s (a flash tool is busy on tool-running for 10 minutes: process %d)"
          % (os.path.join(folder, "hosts.yml"), busy[0].pid))
