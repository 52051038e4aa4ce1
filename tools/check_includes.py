#!/usr/bin/env python3
"""Checks that every #include of the tree keeps to the house of
docs/architecture.md: each unit includes only itself and the units below it,
a library's src/ folder is private to the library (and its tests), Qt is
included only by UI units and GStreamer only by the capture back end.

Usage: check_includes.py [--root DIR] [--verbose]

Prints one line per crossing, "FILE:LINE: UNIT may not include TARGET (why)",
and exits 1 when there is any; 0 and a count otherwise.
"""
import argparse
import os
import re
import sys

# Units by path, the longest prefix first. Files outside every unit (scripts,
# docs, cmake) are not looked at.
UNITS = [
    ("imaging/ui/", "imaging-ui"),
    ("imaging/", "imaging"),
    ("settings/ui/", "pages"),
    ("settings/", "settings"),
    ("barcode/", "barcode"),
    ("qrcode/", "qrcode"),
    ("datamatrix/ui/", "datamatrix-ui"),
    ("datamatrix/", "datamatrix"),
    ("capture/ui/", "capture-ui"),
    ("capture/", "capture"),
    ("app/core/", "core"),
    ("app/ui/", "window"),
    ("app/demo/", "demo"),
    ("tools/", "tools"),
    ("bench/", "bench"),
    ("tests/support/", "test-support"),
    ("tests/", "tests"),
]

DECODERS = {"barcode", "qrcode", "datamatrix"}
TOOLKIT_FREE = {"imaging", "settings", "capture", "core"} | DECODERS

# What each unit may include besides itself: the arrows point down.
MAY_INCLUDE = {
    "imaging": set(),
    "imaging-ui": {"imaging"},
    "settings": {"imaging"},
    "barcode": {"imaging"},
    "qrcode": {"imaging"},
    "datamatrix": {"imaging"},
    "datamatrix-ui": {"datamatrix", "imaging-ui", "imaging"},
    "capture": {"imaging"},
    "capture-ui": {"capture", "imaging-ui", "imaging"},
    "core": {"settings", "capture", "imaging"} | DECODERS,
    "pages": {"core", "settings", "capture", "datamatrix-ui", "imaging-ui", "imaging"} | DECODERS,
    "window": {"pages", "core", "settings", "capture", "capture-ui", "datamatrix-ui", "imaging-ui",
               "imaging"} | DECODERS,
    "demo": set(),
    "tools": {"core", "settings", "capture", "imaging"} | DECODERS,
    "bench": {"core", "settings", "capture", "imaging", "test-support"} | DECODERS,
    "test-support": {"imaging"},
    "tests": None,  # anything, private parts included
}

# Units whose files may use Qt, and the one that may use GStreamer.
QT_UNITS = {"imaging-ui", "datamatrix-ui", "capture-ui", "pages", "window", "demo", "tests"}
GSTREAMER_UNITS = {"capture", "tests"}

# Crossings that are known and owned elsewhere, each with what ends it (none today).
KNOWN = {}

SOURCE = re.compile(r".*\.(c|cc|cpp|h|hpp)$")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')
QT_HEADER = re.compile(r"^(Q[A-Z]\w*|Qt\w*/.*|Qt\w+)$")
SKIP_DIRS = {".git", ".cache", "node_modules", "__pycache__"}
# A tree of its own, with crossings on purpose, for the check's own test.
SKIP_PATHS = {"tests/tools/include_check_tree"}


def unit_of(path):
    for prefix, unit in UNITS:
        if path.startswith(prefix):
            return unit
    return None


def private_owner(path):
    """The library a private file belongs to ("capture" for capture/src/x.h), or None."""
    parts = path.split("/")
    if "src" in parts[:-1]:
        return "/".join(parts[: parts.index("src")])
    return None


def source_files(root):
    for dirpath, dirnames, filenames in os.walk(root):
        rel = os.path.relpath(dirpath, root)
        dirnames[:] = [d for d in dirnames
                       if d not in SKIP_DIRS and not (rel == "." and d.startswith("build"))
                       and os.path.normpath(os.path.join(rel, d)).replace(os.sep, "/") not in SKIP_PATHS]
        for name in filenames:
            if SOURCE.match(name):
                yield os.path.normpath(os.path.join(rel, name)).replace(os.sep, "/")


def include_dirs(root, files):
    """Where quoted includes are looked for after the including file's folder."""
    dirs = {"", "tests", "tests/support", "settings/ui", "tools", "bench"}
    for f in files:
        parts = f.split("/")
        if "include" in parts[:-1]:
            dirs.add("/".join(parts[: parts.index("include") + 1]))
    return sorted(dirs)


def resolve(root, including, name, dirs, known_files):
    here = os.path.dirname(including)
    for base in [here] + dirs:
        candidate = os.path.normpath(os.path.join(base, name)).replace(os.sep, "/")
        if candidate in known_files:
            return candidate
    return None


def check(root, verbose=False):
    files = sorted(source_files(root))
    known_files = set(files)
    dirs = include_dirs(root, files)
    crossings = []
    checked = 0
    for f in files:
        unit = unit_of(f)
        if unit is None:
            continue
        allowed = MAY_INCLUDE[unit]
        try:
            with open(os.path.join(root, f), encoding="utf-8", errors="replace") as text:
                lines = text.readlines()
        except OSError as e:
            crossings.append("%s: cannot be read: %s" % (f, e))
            continue
        for number, line in enumerate(lines, 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            checked += 1
            bracket, name = m.groups()
            where = "%s:%d" % (f, number)
            if bracket == "<":
                if QT_HEADER.match(name) and unit not in QT_UNITS:
                    crossings.append("%s: %s may not include <%s> (Qt lives only in UI units)" % (where, unit, name))
                elif name.startswith("gst/") and unit not in GSTREAMER_UNITS:
                    crossings.append("%s: %s may not include <%s> (GStreamer lives only in the capture back end)"
                                     % (where, unit, name))
                continue
            target = resolve(root, f, name, dirs, known_files)
            if target is None:
                if verbose:
                    print("%s: \"%s\" not found in the tree (left alone)" % (where, name))
                continue
            target_unit = unit_of(target)
            if target_unit is None or allowed is None:
                continue
            reason = None
            owner = private_owner(target)
            if target_unit != unit and target_unit not in allowed:
                reason = "%s is not below %s" % (target_unit, unit)
            elif owner is not None and not (f.startswith(owner + "/src/") or f.startswith(owner + "/include/")):
                reason = "%s/src is private to its library" % owner
            if reason is None:
                continue
            if (f, target) in KNOWN:
                if verbose:
                    print("%s: known: %s -> %s (%s)" % (where, f, target, KNOWN[(f, target)]))
                continue
            crossings.append("%s: %s may not include %s (%s)" % (where, unit, target, reason))
    return crossings, checked, len(files)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args(argv)
    root = os.path.abspath(args.root)
    crossings, checked, count = check(root, args.verbose)
    for c in crossings:
        print(c)
    if crossings:
        print("%d include(s) cross the house (docs/architecture.md)" % len(crossings))
        return 1
    print("%d includes in %d files keep to the house" % (checked, count))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
