#!/usr/bin/env python3
"""The include check on a small tree with crossings put there on purpose
(include_check_tree/): each kind of crossing is reported with its place, the
includes that keep to the house are not, and the command fails."""
import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
TREE = os.path.join(HERE, "include_check_tree")
CHECK = os.path.join(ROOT, "tools", "check_includes.py")
sys.path.insert(0, os.path.join(ROOT, "tools"))

import check_includes  # noqa: E402


class IncludeCheckTest(unittest.TestCase):
    def test_every_kind_of_crossing_is_reported_and_nothing_else(self):
        crossings, checked, _ = check_includes.check(TREE)
        self.assertEqual(sorted(crossings), [
            "app/core/src/cycle.cpp:2: core may not include capture/src/grabber.h"
            " (capture/src is private to its library)",
            "capture/src/grabber.cpp:3: capture may not include app/core/include/vantrel/reading_cycle.h"
            " (core is not below capture)",
            "imaging/src/picture.cpp:1: imaging may not include <QImage> (Qt lives only in UI units)",
        ])
        # The library's own private header, its own contract, the core on the
        # capture contract and the tests looking at private parts all pass.
        self.assertEqual(checked, 11)

    def test_the_command_fails_on_a_crossing_and_passes_without(self):
        bad = subprocess.run([sys.executable, CHECK, "--root", TREE], capture_output=True, text=True)
        self.assertEqual(bad.returncode, 1, bad.stdout)
        self.assertIn("3 include(s) cross the house", bad.stdout)
        clean = subprocess.run([sys.executable, CHECK, "--root", os.path.join(TREE, "capture", "include")],
                               capture_output=True, text=True)
        self.assertEqual(clean.returncode, 0, clean.stdout)


if __name__ == "__main__":
    unittest.main()
