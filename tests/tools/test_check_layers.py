"""tools/check-layers.py on small made-up trees, and on this tree."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SCRIPT = os.path.join(ROOT, "tools", "check-layers.py")


def run_check(root):
    result = subprocess.run([sys.executable, SCRIPT, root], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, universal_newlines=True)
    return result.returncode, result.stdout


class LayerCheck(unittest.TestCase):
    def tree(self, files):
        """A temporary tree with the given {path: text} files; returns its root."""
        root = tempfile.mkdtemp(prefix="kwlink-layers-")
        self.addCleanup(shutil.rmtree, root)
        for path, text in files.items():
            os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
            with open(os.path.join(root, path), "w") as f:
                f.write(text)
        return root

    def test_this_tree_keeps_its_layers(self):
        status, out = run_check(ROOT)
        self.assertEqual(status, 0, out)

    def test_downward_and_same_folder_includes_pass(self):
        root = self.tree({
            "job/a.cpp": '#include "job/a.h"\n#include "b.h"\n#include "link/c.h"\n'
                         '#include "platform/d.h"\n#include <vector>\n',
            "job/b.h": "", "link/c.h": "", "platform/d.h": "",
            "tools/x.cpp": '#include "app/e.h"\n', "tests/job/y.cpp": '#include "app/e.h"\n',
        })
        status, out = run_check(root)
        self.assertEqual(status, 0, out)

    def test_include_outside_the_graph_names_file_line_and_arrow(self):
        root = self.tree({
            "dictionary/value.cpp": '#include "dictionary/value.h"\n\n#include "job/x.h"\n',
            "platform/dev.h": '#pragma once\n  #  include "link/settings.h"\n',
            "catalog/c.cpp": '#include "tables/t.h"\n',
            # Below link/ in every order, yet not one of the folders link/ may use.
            "link/l.cpp": '#include "dictionary/d.h"\n',
            # The entry points are held to the graph like any other file.
            "platform/posix/entry/main.cpp": '#include "app/process.h"\n',
        })
        status, out = run_check(root)
        self.assertEqual(status, 1, out)
        self.assertIn('dictionary/value.cpp:3: dictionary/ includes "job/x.h" from job/', out)
        self.assertIn("platform/dev.h:2: platform/ includes", out)
        self.assertIn("link/l.cpp:1: link/ includes \"dictionary/d.h\" from dictionary/, "
                      "but link/ may use only diag/, protocol/, platform/", out)
        self.assertIn("platform/posix/entry/main.cpp:1:", out)
        self.assertIn("arrows not in the graph: platform -> link, platform -> app, "
                      "dictionary -> job, link -> dictionary", out)
        self.assertNotIn("catalog/c.cpp", out)

    def test_tools_from_a_layer_and_an_unlisted_folder_fail(self):
        status, out = run_check(self.tree({
            "app/a.cpp": '#include "tools/bench/b.h"\n', "job/j.cpp": '#include "scale_sim/p.h"\n',
            "text/t.cpp": "", "data/readme.txt": "",
        }))
        self.assertEqual(status, 1, out)
        self.assertIn('app/a.cpp:1: app/ includes "tools/bench/b.h"', out)
        self.assertIn('job/j.cpp:1: job/ includes "scale_sim/p.h"', out)
        self.assertIn("text/: C++ sources in a folder that is not in the folder graph", out)
        self.assertNotIn("data/", out)


if __name__ == "__main__":
    unittest.main()
