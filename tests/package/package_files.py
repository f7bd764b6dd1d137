"""Finding the release package a test checks: the one tools/package.sh left in build/packages/,
or, when there is none (or the test needs another word size), one that cpack makes from a
build tree into a temporary directory for this test only."""

import glob
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "e2e"))

from harness import ROOT, project_version  # noqa: E402

PACKAGES = os.environ.get("KWLINK_PACKAGES", os.path.join(ROOT, "build", "packages"))


def say(text):
    """A line in the test's output (CTest shows it with --output-on-failure or -V)."""
    sys.stderr.write(text + "\n")
    sys.stderr.flush()


def package(file_name, build_tree, generator, scratch, why=None):
    """The path of `file_name`: from build/packages/ when it is there and `why` is None,
    otherwise made with cpack in `build_tree` (a configured and built tree) below `scratch`."""
    released = os.path.join(PACKAGES, file_name)
    if why is None and os.path.exists(released):
        say("testing %s" % released)
        return released
    out = os.path.join(scratch, "cpack")
    subprocess.run(["cpack", "-G", generator, "-B", out], cwd=build_tree, check=True,
                   stdout=subprocess.DEVNULL)
    made = os.path.join(out, file_name)
    if not os.path.exists(made):
        raise AssertionError("cpack made %s, not %s" % (glob.glob(out + "/*.*"), file_name))
    say("testing %s, built with cpack from %s for this test only (%s)"
        % (file_name, build_tree, why or "tools/package.sh has not been run"))
    return made


__all__ = ["ROOT", "PACKAGES", "package", "project_version", "say"]
