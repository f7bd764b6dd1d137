"""Tests of the Debian package as a user gets it: its control data, its contents, its maintainer
scripts, its manual pages, lintian's verdict, and a backup run by the program unpacked from it
against the simulated scale that the package also holds."""

import grp
import gzip
import os
import re
import shutil
import stat
import subprocess
import tempfile
import unittest

from package_files import package, project_version, say

from harness import Simulator, csv_rows, read_file, read_records

VERSION = project_version()
DEB = "kwlink_%s_amd64.deb" % VERSION
OPT = "opt/kwlink"
DATA = "var/opt/kwlink"


def run(*args, **kwargs):
    return subprocess.run(list(args), capture_output=True, text=True, **kwargs)


class DebPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="kwlink-deb-")
        cls.deb = package(DEB, os.environ["KWLINK_BUILD_TREE"], "DEB", cls.scratch)
        cls.info = run("dpkg-deb", "--info", cls.deb).stdout
        cls.contents = run("dpkg-deb", "--contents", cls.deb).stdout
        cls.control = os.path.join(cls.scratch, "DEBIAN")
        subprocess.run(["dpkg-deb", "-e", cls.deb, cls.control], check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def unpacked(self):
        """A fresh temporary root with the package's files, removed after the test."""
        root = tempfile.mkdtemp(prefix="root-", dir=self.scratch)
        self.addCleanup(shutil.rmtree, root, True)
        subprocess.run(["dpkg-deb", "-x", self.deb, root], check=True)
        return root

    def entries(self):
        """{path: (mode text, link target or None)} of the data archive."""
        out = {}
        for line in self.contents.splitlines():
            fields = line.split(None, 5)
            name = fields[5]
            target = None
            if " -> " in name:
                name, target = name.split(" -> ", 1)
            out[name.lstrip(".").rstrip("/") or "/"] = (fields[0], target)
        return out

    def test_control_data_names_the_version_and_computed_dependencies(self):
        field = lambda name: re.search(r"^ %s: (.*)$" % name, self.info, re.M).group(1)
        self.assertEqual(field("Package"), "kwlink")
        self.assertEqual(field("Version"), VERSION)
        self.assertEqual(field("Architecture"), "amd64")
        depends = [d.strip().split()[0] for d in field("Depends").split(",")]
        # What dpkg-shlibdeps finds in the two programs: the C and C++ runtimes.
        self.assertIn("libc6", depends)
        self.assertIn("libstdc++6", depends)
        self.assertIn("libgcc-s1", depends)
        for script in ("preinst", "postinst", "postrm"):
            self.assertRegex(self.info, r"(?m)^ +\d+ bytes, +\d+ lines +\* +%s " % script)

    def test_contents_program_directory_links_manual_pages_and_documentation(self):
        entries = self.entries()
        for name in ("kwlink", "kwlink-scale-sim"):
            mode, _ = entries["/%s/%s" % (OPT, name)]
            self.assertEqual(mode, "-rwxr-xr-x", name)
            self.assertEqual(entries["/usr/bin/" + name], ("lrwxrwxrwx", "/%s/%s" % (OPT, name)))
            self.assertIn("/usr/share/man/man1/%s.1.gz" % name, entries)
        for name in ("Messages.res", "QT_TRANS.DAT", "109SCALE700/TDES.csv",
                     "109SCALE700/ADES.csv", "109SCALE701/TDES.csv", "109SCALE701/ADES.csv"):
            self.assertEqual(entries["/%s/%s" % (OPT, name)][0], "-rw-r--r--", name)
        doc = "/usr/share/doc/kwlink/"
        for name in ("README.md", "copyright", "changelog.gz", "examples/kwlink-backup@.service",
                     "examples/kwlink-backup@.timer", "examples/kwlink-shop1.default",
                     "examples/generic_scale.txt"):
            self.assertIn(doc + name, entries)
        self.assertIn("/usr/share/lintian/overrides/kwlink", entries)
        # Kwlink.cfg is the program's to create; the samples stay out of the program directory;
        # nothing lands outside the program directory and /usr; nothing is enabled.
        opt_files = [e for e in entries if e.startswith("/" + OPT + "/")]
        self.assertFalse([e for e in opt_files if "Kwlink.cfg" in e or "samples" in e])
        self.assertFalse([e for e in entries if e.startswith(("/etc", "/lib/systemd"))])
        self.assertFalse([e for e in entries if not e.startswith(("/opt", "/usr"))
                          and e not in ("/",)])

    def test_maintainer_scripts_leave_the_programs_to_root_and_the_data_directory_to_dialout(self):
        if os.geteuid() != 0:
            say("not root: the maintainer scripts are not run")
            return
        root = self.unpacked()
        program_dir, data_dir = os.path.join(root, OPT), os.path.join(root, DATA)
        dialout = grp.getgrnam("dialout").gr_gid
        # What 1.0.0 left: a program directory of group dialout, mode 2775, with what users
        # made there.
        os.chown(program_dir, 0, dialout)
        os.chmod(program_dir, 0o2775)
        made = {"Kwlink.cfg": "file", "KWSIM-GEN-01": "dir", "com5": "link"}
        with open(os.path.join(program_dir, "Kwlink.cfg"), "w") as f:
            f.write("5;15;2;20;5")
        os.mkdir(os.path.join(program_dir, "KWSIM-GEN-01"))
        os.symlink("/dev/ttyUSB0", os.path.join(program_dir, "com5"))
        env = dict(os.environ, DPKG_ROOT=root)
        script = lambda name, *args: subprocess.run(
            [os.path.join(self.control, name)] + list(args), env=env, check=True)
        script("preinst", "upgrade", "1.0.0")
        script("postinst", "configure", "1.0.0")

        # Every program and every directory above it: root's, writable by no one else.
        programs = [os.path.join(program_dir, n) for n in ("kwlink", "kwlink-scale-sim")]
        walked = []
        for program in programs:
            path = program
            while True:
                st = os.lstat(path)
                walked.append(os.path.relpath(path, root))
                self.assertEqual(st.st_uid, 0, path)
                self.assertEqual(stat.S_IMODE(st.st_mode) & 0o022, 0, path)
                if path == root:
                    break
                path = os.path.dirname(path)
        say("root's alone: " + ", ".join(sorted(set(walked))))
        st = os.stat(data_dir)
        self.assertEqual((st.st_uid, st.st_gid, stat.S_IMODE(st.st_mode)), (0, dialout, 0o3775))
        for name, kind in made.items():
            moved = os.path.join(data_dir, name)
            self.assertFalse(os.path.lexists(os.path.join(program_dir, name)), name)
            self.assertEqual({"file": os.path.isfile, "dir": os.path.isdir,
                              "link": os.path.islink}[kind](moved), True, name)
        self.assertEqual(read_file(os.path.join(data_dir, "Kwlink.cfg")), b"5;15;2;20;5")
        # A second configure (a reinstall) changes nothing.
        script("postinst", "configure", "1.0.1")
        self.assertEqual(sorted(os.listdir(data_dir)), sorted(made))
        script("postrm", "remove")
        self.assertTrue(os.path.exists(os.path.join(data_dir, "Kwlink.cfg")))
        script("postrm", "purge")
        self.assertFalse(os.path.exists(data_dir))
        self.assertTrue(os.path.isdir(program_dir))

    def test_manual_pages_render_without_warnings(self):
        root = self.unpacked()
        for name in ("kwlink", "kwlink-scale-sim"):
            compressed = os.path.join(root, "usr/share/man/man1/%s.1.gz" % name)
            page = os.path.join(root, name + ".1")
            with gzip.open(compressed) as src, open(page, "wb") as dst:
                dst.write(src.read())
            self.assertIn(VERSION, read_file(page).decode())
            groff = run("groff", "-ww", "-z", "-man", page)
            self.assertEqual((groff.returncode, groff.stderr), (0, ""), name)
            man = run("man", "--warnings", "-l", compressed, env=dict(os.environ, MANWIDTH="80"))
            self.assertEqual((man.returncode, man.stderr), (0, ""), name)
            text = re.sub(".\b", "", man.stdout)  # without the overstrike of bold and italics
            for section in ("NAME", "SYNOPSIS", "DESCRIPTION", "EXIT STATUS", "EXAMPLES",
                            "SEE ALSO"):
                self.assertIn("\n" + section + "\n", text, name)
            if name == "kwlink":
                for word in ("JOB STRING", "FILES", "KWBACKUP", "KWRESTORE", "KWUP", "KWDOWN",
                             "KWDIR", "KWTAB", "KWARTICLE", "KWCONF", "KWPORT",
                             "kwlink-scale-sim(1)"):
                    self.assertIn(word, text)

    def test_lintian_finds_no_error_but_the_overridden_opt_placement(self):
        verdict = run("lintian", "--fail-on", "error", self.deb)
        say(verdict.stdout.strip())
        self.assertEqual(verdict.returncode, 0, verdict.stdout + verdict.stderr)
        # The override is there, with its reason, and covers nothing but the placement.
        shown = run("lintian", "--show-overrides", "--tag-display-limit", "0", self.deb).stdout
        errors = [l for l in shown.splitlines() if l.startswith("E:")]
        overridden = [l for l in shown.splitlines() if l.startswith("O:")]
        self.assertEqual(errors, [])
        self.assertTrue(overridden)
        self.assertEqual([l for l in overridden if "dir-or-file-in-opt [opt/kwlink/" not in l], [])

    def test_unpacked_program_backs_up_the_simulated_scale(self):
        root = self.unpacked()
        program_dir = os.path.join(root, OPT)
        # The packaged program keeps its users' files in /var/opt/kwlink; here KWLINK_HOME points
        # it at the data directory of this temporary root instead.
        help_text = run(os.path.join(program_dir, "kwlink"), "--help",
                        env={k: v for k, v in os.environ.items() if k != "KWLINK_HOME"}).stdout
        self.assertIn("Data directory: /%s\n" % DATA, help_text)
        data_dir = os.path.join(root, DATA)
        os.makedirs(data_dir)
        env = dict(os.environ, KWLINK_HOME=data_dir)
        # Started through a link elsewhere, as /usr/bin/kwlink does: the program still finds
        # its directory (the /usr/bin links point at /opt, outside this temporary root).
        link = os.path.join(root, "usr", "local", "bin", "kwlink")
        os.makedirs(os.path.dirname(link))
        os.symlink("../../../opt/kwlink/kwlink", link)
        version = run(link, "--version", env=env)
        self.assertEqual(version.stdout.splitlines()[-1], "kwlink " + VERSION)

        sample = os.path.join(root, "usr/share/doc/kwlink/examples/generic_scale.txt")
        sim = Simulator(os.path.join(data_dir, "com7"), "KWSIM-GEN-01", 1, sample,
                        transcript=os.path.join(root, "transcript.txt"),
                        program=os.path.join(program_dir, "kwlink-scale-sim"))
        self.addCleanup(sim.stop)
        work = os.path.join(root, "backup")
        result = run(link, "KWBACKUP[0,3];KWDIR[%s];KWPORT[7]" % work, timeout=120, env=env)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        # The program made its settings file and kept the new scale's descriptions in the data
        # directory, nothing beside itself.
        self.assertEqual(read_file(os.path.join(data_dir, "Kwlink.cfg")), b"7;15;2;20;5")
        for name in ("TDES.csv", "ADES.csv"):
            self.assertTrue(os.path.exists(os.path.join(data_dir, "KWSIM-GEN-01", name)))
        self.assertFalse(os.path.exists(os.path.join(program_dir, "Kwlink.cfg")))
        articles = read_records(sample)[(1, 0x41)]
        self.assertEqual(len(csv_rows(os.path.join(work, "ARTI.csv"))), len(articles))
        self.assertTrue(read_file(os.path.join(work, "Kwlink.log")).endswith(b"Log-Closed\r\n"))


if __name__ == "__main__":
    unittest.main()
