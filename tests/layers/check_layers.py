#!/usr/bin/env python3
"""Fails when a source file includes a folder above its own.

Logic files (the library logcore) may include logic folders at or below their
own; window files (loggui) may include any logic and window folders at or
below their own; companion modules include base/ and their own folder only.
The orders are the ones the README's layout section gives.
"""
import os
import re
import sys

LOGIC = ["base", "companion", "email", "receive", "storage", "filter", "exports"]
WINDOWS = ["gui", "browse", "filter", "exports", "email", "settings", "disk", "app"]

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
SOURCES = re.compile(r"target_sources\((logcore|loggui)\s+PRIVATE([^)]*)\)", re.S)


def library_of_sources(src):
    """Maps 'folder/stem' to 'logcore' or 'loggui' from the folders' CMake lists."""
    libs = {}
    for folder in os.listdir(src):
        lists = os.path.join(src, folder, "CMakeLists.txt")
        if not os.path.isfile(lists):
            continue
        for lib, names in SOURCES.findall(open(lists, encoding="utf-8").read()):
            for name in names.split():
                if name.endswith(".cpp"):
                    libs[f"{folder}/{name[:-4]}"] = lib
    return libs


def is_window(path, rel, libs):
    stem = os.path.splitext(rel)[0]
    if rel.startswith("app/"):
        return True  # the top: start-up and the main window
    if stem in libs:
        return libs[stem] == "loggui"
    return "<gtk/" in open(path, encoding="utf-8").read()


def check_src(src, libs):
    faults = []
    for folder in sorted(os.listdir(src)):
        base = os.path.join(src, folder)
        if not os.path.isdir(base):
            continue
        for name in sorted(os.listdir(base)):
            if not name.endswith((".h", ".cpp")):
                continue
            rel = f"{folder}/{name}"
            own_window = is_window(os.path.join(base, name), rel, libs)
            text = open(os.path.join(base, name), encoding="utf-8").read()
            for inc in INCLUDE.findall(text):
                if "/" not in inc:
                    faults.append(f"src/{rel}: include \"{inc}\" names no folder")
                    continue
                target = os.path.join(src, inc)
                if not os.path.isfile(target):
                    continue  # generated or system header
                hfolder = inc.split("/")[0]
                if hfolder == folder and not (not own_window and is_window(target, inc, libs)):
                    continue
                if not allowed(folder, own_window, hfolder, is_window(target, inc, libs)):
                    kind = "window" if own_window else "logic"
                    faults.append(f"src/{rel} ({kind}) includes \"{inc}\" above it")
    return faults


def allowed(folder, own_window, hfolder, header_window):
    if header_window:
        return own_window and rank(WINDOWS, hfolder) <= rank(WINDOWS, folder)
    if own_window:
        return hfolder in LOGIC
    return rank(LOGIC, hfolder) <= rank(LOGIC, folder)


def rank(order, folder):
    return order.index(folder) if folder in order else len(order) + 1


def check_modules(modules):
    faults = []
    for root, _, names in os.walk(modules):
        module = os.path.relpath(root, modules)
        for name in names:
            if not name.endswith((".h", ".cpp", ".c")):
                continue
            text = open(os.path.join(root, name), encoding="utf-8").read()
            for inc in INCLUDE.findall(text):
                if inc.startswith("base/") or "/" not in inc and ".." not in inc:
                    continue
                faults.append(f"modules/{module}/{name} includes \"{inc}\"")
    return faults


def main():
    top = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    src = os.path.join(top, "src")
    libs = library_of_sources(src)
    unknown = sorted({d for d in os.listdir(src) if os.path.isdir(os.path.join(src, d))}
                     - set(LOGIC) - set(WINDOWS))
    faults = [f"src/{d}/ is in neither order" for d in unknown]
    faults += check_src(src, libs) + check_modules(os.path.join(top, "modules"))
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
