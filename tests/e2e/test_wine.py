"""End-to-end tests of the Windows program under wine against the simulated scale: the same
jobs as the Linux program, through wine's COM port mapping."""

import filecmp
import glob
import os
import shutil
import subprocess
import threading
import unittest

from data_fault_cases import DataFaultCases, job_string
from user_file_cases import UserFileCases
from changed_cases import ChangedRecordCases
from harness import (BANNER, Installation, Simulator, log_entries, read_file, read_records,
                     run_job, sample_path, table_signs, wait_for, write_ports)

PORT = 15
IDENT, SCALE, SAMPLE = "KWSIM-GEN-01", 1, "generic_scale.txt"


def windows_bin():
    return os.environ["KWLINK_WIN_BIN"]


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


class WineTestCase(unittest.TestCase):
    # None: the simulated scale on COM15; else the kind of serial device server in front of it
    # (harness.SerialServer), listed for port 15 in Kwlink.ports.
    port_kind = None

    def setUp(self):
        self.inst = Installation()
        shutil.copy2(os.path.join(windows_bin(), "Kwlink.exe"), self.inst.program_dir)
        self.texts = self.inst.messages()
        with open(self.inst.config_path(), "w") as f:
            f.write("%d;3;0.5;5;2" % PORT)
        # The wine test environment pins COM<n> to this path.
        self.link = os.path.join(os.environ["KWLINK_WINE_PORTS"], "com%d" % PORT)
        self.sims = []

    def tearDown(self):
        for sim in self.sims:
            sim.stop()
        self.inst.remove()

    def simulator(self, data=True, ident=IDENT, extra=()):
        """`data`: the sample data set (True), none (False) or the path of a data file."""
        if data is True:
            data = sample_path(SAMPLE)
        link = self.inst.path("tty-%d" % len(self.sims)) if self.port_kind else self.link
        sim = Simulator(link, ident, SCALE, data or None, extra,
                        transcript=self.inst.path("transcript-%d.txt" % len(self.sims)),
                        server=self.port_kind)
        if sim.server:
            write_ports(self.inst.program_dir, ["%d;%s" % (PORT, sim.server.address)])
        self.sims.append(sim)
        return sim

    def pull(self, sim):
        """The scale goes away: its adapter is pulled, or its device server ends."""
        process = sim.server.process if sim.server else sim.process
        process.kill()
        process.wait()

    def run_windows_job(self, job):
        env = dict(os.environ, KWLINK_JOB=job)
        p = subprocess.run(["wine", os.path.join(windows_bin(), "kwlink-launch.exe"),
                            windows_path(os.path.join(self.inst.program_dir, "Kwlink.exe"))],
                           env=env, capture_output=True, timeout=180)
        return p.returncode, p.stderr.decode("latin-1")


class WineScaleJobs(WineTestCase):
    """What the shared cases need of Kwlink.exe."""

    def start_scale(self, data_file, ident, extra=()):
        return self.simulator(data_file, ident, extra)

    def stop_scale(self, sim):
        sim.stop()

    def run_kw(self, job, workdir):
        return self.run_windows_job(job_string(job, windows_path(workdir)))

    def work(self, name="work"):
        return self.inst.path(name)


class WineDataFaults(WineScaleJobs, DataFaultCases):
    """Jobs that once lost or misplaced records with exit status 0, run by Kwlink.exe."""


class WineUserFiles(WineScaleJobs, UserFileCases):
    """CSV files as people make them, read by Kwlink.exe."""


class WineChangedRecords(WineScaleJobs, ChangedRecordCases):
    """Sending only what changed, by Kwlink.exe."""


class WineJobs(WineTestCase):
    def test_backup_and_restore_match_the_linux_program(self):
        linux = self.inst.path("linux")
        with open(self.inst.config_path(), "w") as f:
            f.write("5;3;0.5;5;2")
        sim = Simulator(os.path.join(self.inst.program_dir, "com5"), IDENT, SCALE,
                        sample_path(SAMPLE), transcript=self.inst.path("linux-transcript.txt"))
        self.sims.append(sim)
        result = run_job(self.inst, "KWBACKUP[0,3];KWDIR[%s]" % linux)
        self.assertEqual(result.returncode, 0, result.stderr)
        sim.stop()
        # Descriptions fetched by the Linux job would be found on disk: let the Windows job
        # fetch them itself.
        shutil.rmtree(os.path.join(self.inst.program_dir, IDENT))
        with open(self.inst.config_path(), "w") as f:
            f.write("%d;3;0.5;5;2" % PORT)

        windows = self.inst.path("windows")
        self.simulator()
        code, err = self.run_windows_job("KWBACKUP[0,3];KWDIR[%s]" % windows_path(windows))
        self.assertEqual(code, 0, err)
        self.assertNotIn("Error:", err)
        names = sorted(n for n in os.listdir(linux) if n.endswith(".csv"))
        self.assertEqual(sorted(n for n in os.listdir(windows) if n.endswith(".csv")), names)
        match, mismatch, errors = filecmp.cmpfiles(linux, windows, names, shallow=False)
        self.assertEqual((mismatch, errors), ([], []))
        self.assertEqual(read_file(windows + ".sca"), BANNER.encode())
        self.assertTrue(read_file(os.path.join(windows, "Kwlink.log")).endswith(b"Log-Closed\r\n"))

        empty = self.simulator(data=False)
        code, err = self.run_windows_job("KWRESTORE[0,3];KWDIR[%s]" % windows_path(windows))
        self.assertEqual(code, 0, err)
        signs = table_signs(os.path.join(windows, "TDES.csv"))
        expected = {k: v for k, v in read_records(sample_path(SAMPLE)).items()
                    if k[1] not in (0x7E, 0x7F, signs["SALE"])}
        self.assertEqual(empty.stores(), expected)

    def test_failure_after_the_log_exists_leaves_the_error_file_and_no_box(self):
        self.simulator(ident="SHORT")
        work = self.inst.path("work")
        code, err = self.run_windows_job("KWUP;KWDIR[%s];KWTAB[DEPT]" % windows_path(work))
        self.assertEqual(code, 1, err)
        self.assertEqual(read_file(os.path.join(work, "Kwlink.Err")).decode("latin-1"),
                         self.texts[29])
        self.assertNotIn("Error:", err)
        self.assertNotIn("Meldung:", err)

    def test_bad_job_string_shows_one_error_box(self):
        code, err = self.run_windows_job("KWUP;KWDIR[Z:\\tmp]")
        self.assertEqual(code, 1, err)
        self.assertEqual(err.count("Error: " + self.texts[1]), 1, err)


def csv_snapshot(workdir):
    return {os.path.basename(p): read_file(p) for p in glob.glob(os.path.join(workdir, "*.csv"))
            if os.path.isfile(p)}


class WineFaultMatrix(WineTestCase):
    """The rows of the fault matrix that the Windows program must pass too: from a complete
    backup, a faulty scale or an unwritable CSV file leaves the CSV files as they were, with
    the error in Kwlink.Err and at the end of the log."""

    def setUp(self):
        super().setUp()
        self.work = self.inst.path("work")
        self.simulator()
        code, err = self.run_windows_job(self.backup_job())
        self.assertEqual(code, 0, err)
        self.sims.pop().stop()
        self.before = csv_snapshot(self.work)

    def backup_job(self):
        return "KWBACKUP[0,3];KWDIR[%s]" % windows_path(self.work)

    def assertRowFailed(self, code, err, numbers):
        self.assertEqual(code, 1, err)
        error = read_file(os.path.join(self.work, "Kwlink.Err")).decode("latin-1")
        self.assertIn(error, [self.texts[n] for n in numbers])
        self.assertEqual(log_entries(os.path.join(self.work, "Kwlink.log"))[-4:-2],
                         ["Abort with Error", error])
        self.assertNotIn("Error:", err)
        self.assertEqual(csv_snapshot(self.work), self.before)

    def test_link_faults(self):
        rows = [(["--nak-first", "1000"], [24]), (["--bad-bcc-first", "1000"], [25]),
                (["--stray", "\\x06\\x15junk\\x03\\x17"], None), (["--silent-after-ack"], [25]),
                (["--no-ack"], [24])]
        for extra, numbers in rows:
            with self.subTest(extra=extra):
                sim = self.simulator(extra=extra)
                code, err = self.run_windows_job(self.backup_job())
                if numbers is None:
                    self.assertEqual(code, 0, err)
                    self.assertEqual(csv_snapshot(self.work), self.before)
                else:
                    self.assertRowFailed(code, err, numbers)
                self.sims.remove(sim)
                sim.stop()

    def test_scale_vanishes_mid_backup_and_mid_restore(self):
        for job, data, numbers in ((self.backup_job(), True, [24, 25]),
                                   ("KWRESTORE[0,3];KWDIR[%s]" % windows_path(self.work), False,
                                    [24, 25])):
            with self.subTest(job=job):
                release = self.inst.path("release")
                sim = self.simulator(data=data,
                                     extra=["--pause-after", "3", "--release-file", release])

                def vanish():
                    if data:
                        wait_for(lambda: len([f for f in sim.sent_frames()
                                              if f[6:7] == b"d"]) >= 3, timeout=120)
                    else:
                        wait_for(lambda: len(sim.stores()) >= 2, timeout=120)
                    self.pull(sim)
                killer = threading.Thread(target=vanish)
                killer.start()
                code, err = self.run_windows_job(job)
                killer.join()
                self.assertRowFailed(code, err, numbers)
                self.sims.remove(sim)
                sim.stop()

    def test_unwritable_csv_file_fails_without_a_marker(self):
        # A directory standing where a CSV file must go.
        os.unlink(os.path.join(self.work, "DEPT.csv"))
        os.mkdir(os.path.join(self.work, "DEPT.csv"))
        del self.before["DEPT.csv"]
        self.simulator()
        code, err = self.run_windows_job(self.backup_job())
        self.assertRowFailed(code, err, [38])
        self.assertFalse(os.path.exists(self.work + ".sca"))
        self.assertEqual(glob.glob(os.path.join(self.work, "*.tmp~")), [])


if __name__ == "__main__":
    unittest.main()
