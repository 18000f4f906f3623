#!/usr/bin/python3
# Checks scripts/include-cycles on small made-up trees: which include graphs
# it takes for cycles, how it pairs x.cpp with x.h and finds quoted names.

import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "include-cycles")


def check(files):
    """Writes the files (path -> included names) and runs the checker on them."""
    with tempfile.TemporaryDirectory() as root:
        for path, includes in files.items():
            os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as f:
                f.write("".join(f'#include {name}\n' if name.startswith("<") else f'#include "{name}"\n'
                                for name in includes))
        done = subprocess.run([sys.executable, SCRIPT, root, "--quiet"], capture_output=True, text=True)
        return done.returncode, done.stdout.splitlines()


class IncludeCycles(unittest.TestCase):
    def test_layered_tree_passes(self):
        # Each unit's .cpp includes its own header and the ones below it only.
        rc, out = check({"a/a.h": ["<vector>", "b/b.h"], "a/a.cpp": ["a/a.h", "c/c.h"],
                         "b/b.h": [], "b/b.cpp": ["b/b.h", "c/c.h"], "c/c.h": ["<cstdint>", "missing/x.h"]})
        self.assertEqual((rc, out), (0, []))

    def test_sources_including_each_others_headers_are_a_cycle(self):
        # Neither header includes the other: the pairing of x.cpp with x.h
        # is what makes this a cycle.
        rc, out = check({"s/p.h": [], "s/p.cpp": ["s/p.h", "s/d.h"], "s/d.h": [], "s/d.cpp": ["s/d.h", "s/p.h"]})
        self.assertEqual((rc, out), (1, ["s/d -> s/p -> s/d"]))

    def test_names_beside_the_file_and_from_the_root(self):
        rc, out = check({"m/x.h": ["y.h"], "m/y.h": [], "m/y.cpp": ["m/y.h", "m/x.h"]})
        self.assertEqual((rc, out), (1, ["m/x -> m/y -> m/x"]))

    def test_longer_cycle_names_its_whole_group(self):
        rc, out = check({"a.cpp": ["b.h"], "b.h": [], "b.cpp": ["c.h"], "c.h": [], "c.cpp": ["a.h"], "a.h": [],
                         "d.cpp": ["a.h"]})
        self.assertEqual(rc, 1)
        self.assertEqual(out, ["a -> b -> c -> a", "  (one group of 3 units: a, b, c)"])

    def test_build_and_hidden_folders_are_left_out(self):
        rc, out = check({"a.h": [], "a.cpp": ["a.h", "build/g.h"], "build/g.h": [], "build/g.cpp": ["a.h"],
                         ".cache/h.cpp": ["a.h"], ".cache/h.h": [], "b.cpp": [".cache/h.h"]})
        self.assertEqual((rc, out), (0, []))

    def test_includes_reach_only_lower_layers(self):
        # Down the layers and within a folder is fine; up, or across to
        # another front end, is reported; folders in no layer are not read.
        rc, out = check({"synthesis/s.h": [], "detection/d.h": ["synthesis/s.h"], "detection/d.cpp": ["d.h"],
                         "commands/c.h": ["detection/d.h"], "app/cli/main.cpp": ["commands/c.h"],
                         "tests/t.cpp": ["app/cli/x.h", "commands/c.h"], "app/cli/x.h": []})
        self.assertEqual((rc, out), (0, []))
        rc, out = check({"synthesis/s.h": ["detection/d.h"], "detection/d.h": [], "app/qt/w.cpp": ["app/cli/x.h"],
                         "app/cli/x.h": [], "python/m.cpp": ["commands/c.h"], "commands/c.h": []})
        self.assertEqual(rc, 1)
        self.assertEqual(out, ["layer: app/qt/w.cpp includes app/cli/x.h (app/cli is beside app/qt)",
                               "layer: synthesis/s.h includes detection/d.h (detection is above synthesis)"])


if __name__ == "__main__":
    unittest.main()
