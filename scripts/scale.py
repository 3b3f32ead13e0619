#!/usr/bin/env python3
"""Times whole runs of the utility against the simulated flash tool with many
adapters; scripts/scale.sh builds what it needs and calls it.

For every adapter count N it writes a package (the example package's two
adapter types, image 4.0.534) and a scenario of N supported adapters, all with
the older firmware 4.0.520, into WORK/<mode>-<N>/, runs the utility there once
and checks the outcome (exit code, what was shown or flashed). It reports:

  wall       elapsed time of the whole run (the utility and every tool process)
  own cpu    user+sys CPU of the utility's process itself (RUSAGE_SELF, taken at
             its exit by the LD_PRELOAD probe scale_probe.so)
  tool cpu   user+sys CPU of the flash tool processes it started and waited
             for (RUSAGE_CHILDREN of the utility, by the same probe)
  own peak   peak resident set of the utility's process (VmHWM at its exit, by
             the probe; ru_maxrss would also count the forking parent's pages)

The total that wait4() reports for the utility (its own time plus its
children's) is checked against the probe's two parts.
"""

import argparse
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
IMAGE_VERSION = "4.0.534"
INSTALLED_VERSION = "4.0.520"
# The two adapter types of the example package: (sub-device ID, product name).
TYPES = [("2A7D", "REdevi P3P Q4T quad-port"), ("2A91", "REdevi P3P D2T dual-port")]

PACKAGE = """<?xml version="1.0" encoding="utf-8"?>
<nic_fw_package version="1.0">
  <nic name="REdevi P3P adapters">
    <nic name="REdevi P3P Q4T quad-port" venid="3F1D" devid="0C4A" subvenid="6B2E" subdevid="2A7D" rom="{v}" fwFile="p3p_rom.bin"/>
    <nic name="REdevi P3P D2T dual-port" venid="3F1D" devid="0C4A" subvenid="6B2E" subdevid="2A91" rom="{v}" fwFile="p3p_rom.bin"/>
  </nic>
</nic_fw_package>
"""


def location(i):
    """Adapter i's bus, device and function numbers: 256 x 32 x 8 distinct places."""
    return i >> 8, (i >> 3) & 31, i & 7


def write_scenario(path, count):
    lines = ['<?xml version="1.0" encoding="utf-8"?>',
             '<zadiroz_scenario flash_version="%s">' % IMAGE_VERSION,
             '  <nic_list root_version="1.0" type="REDEVI_NIC" version="1.0"'
             ' takes_effect="immediate"/>']
    for i in range(count):
        bus, dev, func = location(i)
        subdevid, product = TYPES[i % len(TYPES)]
        lines.append(
            '  <adapter device_id="P3P Port %d" venid="3F1D" devid="0C4A" subvenid="6B2E"'
            ' subdevid="%s" macaddress="02-5E-ED-%02X-%02X-%02X" product_id="%s"'
            ' busnumber="%d" devicenumber="%d" funcnumber="%d" slotnumber="%d"'
            ' firmware_id="%s" version="%s" action="update" shared="NO" duration="90"'
            ' message="The new firmware takes effect immediately."/>'
            % (i + 1, subdevid, (i >> 16) & 255, (i >> 8) & 255, i & 255, product, bus, dev,
               func, bus + 1, INSTALLED_VERSION, INSTALLED_VERSION))
    lines.append('</zadiroz_scenario>')
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        out.write("\n".join(lines) + "\n")


def prepare(work, mode, count):
    """A fresh package folder with its scenario, log drive and temporary folder."""
    run_dir = os.path.join(work, "%s-%d" % (mode, count))
    shutil.rmtree(run_dir, ignore_errors=True)
    package = os.path.join(run_dir, "package")
    for sub in (package, os.path.join(run_dir, "drive"), os.path.join(run_dir, "tmp")):
        os.makedirs(sub)
    with open(os.path.join(package, "ZOVOREruz.xml"), "w", encoding="utf-8") as out:
        out.write(PACKAGE.format(v=IMAGE_VERSION))
    shutil.copy(os.path.join(ROOT, "examples", "p3p_rom.bin"), package)
    write_scenario(os.path.join(package, "scenario.xml"), count)
    return run_dir


def read_probe(path):
    usage = {}
    with open(path) as f:
        for line in f:
            words = line.split()
            if words[0] == "peak_kb":
                usage["peak_kb"] = int(words[1])
            else:
                usage[words[0]] = (int(words[1]) / 1e6, int(words[2]) / 1e6)
    return usage


def count_lines(path):
    if not os.path.exists(path):
        return 0
    with open(path, "rb") as f:
        return sum(1 for _ in f)


def run(build, probe, work, mode, count):
    run_dir = prepare(work, mode, count)
    package = os.path.join(run_dir, "package")
    probe_out = os.path.join(run_dir, "probe.txt")
    console = os.path.join(run_dir, "console.txt")
    env = dict(os.environ)
    env.update({
        "SystemDrive": os.path.join(run_dir, "drive"),
        "TMPDIR": os.path.join(run_dir, "tmp"),
        "ZADIROZ_SCENARIO": os.path.join(package, "scenario.xml"),
        "ZADIROZ_CALLS": os.path.join(package, "zadiroz-calls.txt"),
        "ZADIROZ_STATE": os.path.join(package, "zadiroz-state.txt"),
        "LD_PRELOAD": probe,
        "KX_SCALE_PROBE": probe_out,
    })
    with open(console, "wb") as out, open(os.devnull, "rb") as stdin:
        start = time.perf_counter()
        child = subprocess.Popen([os.path.join(build, "KXVaReviv"), "-" + mode], cwd=package,
                                 env=env, stdin=stdin, stdout=out, stderr=subprocess.STDOUT)
        _, status, total = os.wait4(child.pid, 0)
        wall = time.perf_counter() - start
        child.returncode = os.waitstatus_to_exitcode(status)

    # The run must have done the whole job, or its time means nothing.
    expected_code = 0 if mode == "c" else 2
    problems = []
    if child.returncode != expected_code:
        problems.append("exit code %d, expected %d" % (child.returncode, expected_code))
    tool_starts = count_lines(env["ZADIROZ_CALLS"])
    if mode == "c":
        with open(console, "rb") as f:
            shown = sum(1 for line in f if line.startswith(b"ROM       " + INSTALLED_VERSION.encode()))
        if shown != count:
            problems.append("%d adapters shown, expected %d" % (shown, count))
        if tool_starts != 1:
            problems.append("%d tool starts, expected 1" % tool_starts)
    else:
        flashed = count_lines(env["ZADIROZ_STATE"])
        if flashed != count:
            problems.append("%d adapters flashed, expected %d" % (flashed, count))
        if tool_starts != count + 1:
            problems.append("%d tool starts, expected %d" % (tool_starts, count + 1))
    if problems:
        sys.exit("%s-%d: %s (see %s)" % (mode, count, "; ".join(problems), run_dir))

    usage = read_probe(probe_out)
    own = usage["self"][0] + usage["self"][1]
    tool = usage["children"][0] + usage["children"][1]
    both = total.ru_utime + total.ru_stime
    if abs(both - (own + tool)) > 0.05 + 0.01 * both:
        print("warning: %s-%d: wait4 total %.3f s differs from probe %.3f s"
              % (mode, count, both, own + tool), file=sys.stderr)
    return {
        "mode": mode, "n": count, "wall": wall, "own": own, "tool": tool,
        "own_peak": usage["peak_kb"], "starts": tool_starts,
    }


def print_table(rows):
    print("| run | N | tool starts | wall s | wall/N ms | own CPU s | own CPU/N ms | "
          "tool CPU s | tool CPU/N ms | own peak RSS KB |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for r in rows:
        n = r["n"]
        print("| `-%s` | %d | %d | %.3f | %.3f | %.3f | %.4f | %.3f | %.4f | %d |" % (
            r["mode"], n, r["starts"], r["wall"], 1000 * r["wall"] / n, r["own"],
            1000 * r["own"] / n, r["tool"], 1000 * r["tool"] / n, r["own_peak"]))


def counts(text):
    return [int(c) for c in text.split(",") if c]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="folder holding KXVaReviv and zadiroz")
    parser.add_argument("--probe", required=True, help="the built scale_probe.so")
    parser.add_argument("--work", required=True, help="scratch folder for the runs")
    parser.add_argument("--check", type=counts, default=counts("1,16,256,4096,65536"),
                        help="adapter counts of the -c runs (comma-separated)")
    parser.add_argument("--silent", type=counts, default=counts("1,16,256,4096"),
                        help="adapter counts of the -s runs (comma-separated)")
    args = parser.parse_args()

    build = os.path.abspath(args.build)
    probe = os.path.abspath(args.probe)
    work = os.path.abspath(args.work)
    rows = []
    for mode, sizes in (("c", args.check), ("s", args.silent)):
        for n in sizes:
            rows.append(run(build, probe, work, mode, n))
            r = rows[-1]
            print("-%s N=%d: %.3f s wall" % (mode, n, r["wall"]), file=sys.stderr, flush=True)
    print_table(rows)


if __name__ == "__main__":
    main()
