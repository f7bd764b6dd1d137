"""Tests of the Windows zip as a user gets it: its layout and README.txt, and a backup and a
restore run under wine by the program unpacked from it into a fresh directory, against the
simulated scale.

The release zip holds the 32-bit program. On a host whose wine runs only 64-bit programs the
Windows build tree is the 64-bit one: the zip is then made from that tree for this test only
(kwlink-<version>-win64.zip), and the test says so."""

import os
import shutil
import struct
import subprocess
import tempfile
import unittest
import zipfile

from package_files import PACKAGES, package, project_version

from harness import Simulator, read_file, read_records, sample_path, table_signs

VERSION = project_version()
ARCH = os.environ.get("KWLINK_WINDOWS_ARCH", "win32")
ZIP = "kwlink-%s-%s.zip" % (VERSION, ARCH)
PE_MACHINE = {"win32": 0x14C, "win64": 0x8664}
PORT = 15
IDENT, SCALE, SAMPLE = "KWSIM-GEN-01", 1, "generic_scale.txt"
EXPECTED = {"kwlink/Kwlink.exe", "kwlink/Messages.res", "kwlink/QT_TRANS.DAT",
            "kwlink/README.txt", "kwlink/109SCALE700/TDES.csv", "kwlink/109SCALE700/ADES.csv",
            "kwlink/109SCALE701/TDES.csv", "kwlink/109SCALE701/ADES.csv"}


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def pe_machine(data):
    """The machine field of a Windows executable's PE header."""
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[offset:offset + 4] == b"PE\0\0"
    return struct.unpack_from("<H", data, offset + 4)[0]


class WindowsZip(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="kwlink-zip-")
        why = None
        if ARCH != "win32":
            why = "the 64-bit program, as this host's wine runs no 32-bit programs; the " \
                  "release zip holds the 32-bit one"
        cls.zip = package(ZIP, os.environ["KWLINK_BUILD_TREE"], "ZIP", cls.scratch, why)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def test_one_folder_with_the_program_its_files_and_a_readme_but_no_settings(self):
        zips = [(self.zip, ARCH)]
        # Where the program runs as a 64-bit build, the release zip is still checked here.
        release = os.path.join(PACKAGES, "kwlink-%s-win32.zip" % VERSION)
        if ARCH != "win32" and os.path.exists(release):
            zips.append((release, "win32"))
        for path, arch in zips:
            with self.subTest(zip=os.path.basename(path)):
                self.check_layout(path, arch)

    def check_layout(self, path, arch):
        with zipfile.ZipFile(path) as z:
            files = {i.filename for i in z.infolist() if not i.is_dir()}
            folders = {i.filename.split("/")[0] for i in z.infolist()}
            self.assertEqual(folders, {"kwlink"})
            # Exactly these: above all no Kwlink.cfg, which would overwrite a user's port.
            self.assertEqual(files, EXPECTED)
            self.assertEqual(pe_machine(z.read("kwlink/Kwlink.exe")), PE_MACHINE[arch])
            readme = z.read("kwlink/README.txt")
        readme.decode("ascii")  # plain ASCII, or this raises
        self.assertTrue(readme.endswith(b"\r\n"))
        self.assertEqual(readme.count(b"\n"), readme.count(b"\r\n"), "a line without CR LF")
        self.assertNotIn(b"\r\r", readme)
        text = readme.decode("ascii")
        self.assertIn(VERSION, text)
        for needed in ("MUST BE WRITABLE", "KWBACKUP[", "KWRESTORE[", "KWUP", "KWDOWN", "KWDIR[",
                       "KWTAB[", "KWARTICLE[", "KWCONF[", "KWPORT[", "Kwlink.cfg", "Kwlink.log",
                       "Kwlink.Err", "Exit status"):
            self.assertIn(needed, text)

    def run_job(self, program, job):
        launcher = os.path.join(os.environ["KWLINK_BUILD_TREE"], "bin", "kwlink-launch.exe")
        p = subprocess.run(["wine", launcher, windows_path(program)],
                           env=dict(os.environ, KWLINK_JOB=job), capture_output=True,
                           timeout=240)
        return p.returncode, p.stderr.decode("latin-1")

    def test_unpacked_program_backs_up_and_restores_the_simulated_scale(self):
        root = tempfile.mkdtemp(prefix="unpacked-", dir=self.scratch)
        with zipfile.ZipFile(self.zip) as z:
            z.extractall(root)
        program = os.path.join(root, "kwlink", "Kwlink.exe")
        link = os.path.join(os.environ["KWLINK_WINE_PORTS"], "com%d" % PORT)
        backup = os.path.join(root, "backup")

        sim = Simulator(link, IDENT, SCALE, sample_path(SAMPLE),
                        transcript=os.path.join(root, "backup-transcript.txt"))
        self.addCleanup(sim.stop)
        code, err = self.run_job(program, "KWBACKUP[0,3];KWDIR[%s];KWPORT[%d]"
                                 % (windows_path(backup), PORT))
        sim.stop()
        self.assertEqual(code, 0, err)
        self.assertNotIn("Error:", err)
        # The program created its settings beside itself and kept the new scale's descriptions.
        self.assertEqual(read_file(os.path.join(root, "kwlink", "Kwlink.cfg")),
                         b"%d;15;2;20;5" % PORT)
        self.assertTrue(os.path.exists(os.path.join(root, "kwlink", IDENT, "TDES.csv")))
        self.assertTrue(read_file(os.path.join(backup, "Kwlink.log")).endswith(b"Log-Closed\r\n"))

        empty = Simulator(link, IDENT, SCALE, None,
                          transcript=os.path.join(root, "restore-transcript.txt"))
        self.addCleanup(empty.stop)
        code, err = self.run_job(program, "KWRESTORE[0,3];KWDIR[%s]" % windows_path(backup))
        self.assertEqual(code, 0, err)
        # Everything the scale held comes back, but the description tables and the sales,
        # which are never sent to a scale.
        signs = table_signs(os.path.join(backup, "TDES.csv"))
        expected = {k: v for k, v in read_records(sample_path(SAMPLE)).items()
                    if k[1] not in (0x7E, 0x7F, signs["SALE"])}
        self.assertEqual(empty.stores(), expected)


if __name__ == "__main__":
    unittest.main()
