#!/usr/bin/env python3
"""Fails on an #include that goes up a layer, or on an operating-system header
outside the platform layer.

Each folder of the program is one library and may include only itself and the
folders below it (docs/building.md draws the layers). A folder's tests may
also include the shared test support in tests/. The operating system's own
headers (windows.h, unistd.h, sys/..., signals) belong to platform/; the XML
library's text converter and the simulated flash tool have files of their own
for each system, named *_windows.cpp and *_posix.cpp.

    scripts/check-includes.py [root]    (default: this checkout)

Prints one line per finding ("file:line: ...") and exits 1 when there is any.
"""
import os
import re
import sys

# Folder -> the folders it may include besides itself, lowest layers first.
LAYERS = {
    "xml": [],
    "platform": [],
    "ui": ["platform"],
    "firmware": ["ui", "platform"],
    "inventory": ["firmware", "ui", "platform", "xml"],
    "app": ["inventory", "firmware", "ui", "platform", "xml"],
    # The simulated flash tool: a development program, not part of the utility.
    "tools": ["platform", "xml"],
}
# Headers that the build generates, and the folders that may include them.
GENERATED = {"kx_version.h": ["platform"]}
# Folders that are not the program (tests, benchmarks, fuzz targets) and may
# include any of it.
TOP = {"tests", "bench", "fuzz"}

OS_HEADER = re.compile(
    r"(windows|winternl|psapi|sddl|aclapi|shlobj|io|direct|process|unistd|fcntl|dirent|"
    r"spawn|poll|termios|signal|csignal|pthread|dlfcn|pwd|grp)\.h$|^(sys|linux)/|^csignal$")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')


def is_test(path):
    name = os.path.basename(path)
    return name.endswith("_test.cpp") or name == "test_util.h"


def own_system_file(path):
    return re.search(r"_(windows|posix)\.cpp$", path) is not None


def check_file(root, path):
    folder = path.split("/", 1)[0]
    allowed = {folder, *LAYERS[folder]}
    if is_test(path):
        allowed.add("tests")
    findings = []
    with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
        for number, line in enumerate(source, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            kind, name = match.groups()
            where = "%s:%d: " % (path, number)
            if kind == "<":
                if (OS_HEADER.search(name) and folder != "platform" and not is_test(path)
                        and not own_system_file(path)):
                    findings.append(where + "<%s> belongs to platform/ alone" % name)
                continue
            if name in GENERATED:
                if folder not in GENERATED[name]:
                    findings.append(where + '"%s" is made for %s only'
                                    % (name, ", ".join(GENERATED[name])))
                continue
            target = name.split("/", 1)[0]
            if "/" not in name or (target not in LAYERS and target not in TOP):
                findings.append(where + '"%s" names no folder of the program' % name)
            elif target not in allowed:
                findings.append(where + '%s/ may not include "%s" (%s/ may include: %s)'
                                % (folder, name, folder,
                                   ", ".join(sorted(allowed - {folder})) or "nothing else"))
    return findings


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), ".."))
    findings = []
    checked = 0
    for folder in sorted(LAYERS):
        for directory, _, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.relpath(os.path.join(directory, name), root).replace(os.sep, "/")
                findings += check_file(root, path)
                checked += 1
    for finding in findings:
        print(finding)
    print("include check: %d files, %d findings" % (checked, len(findings)))
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
