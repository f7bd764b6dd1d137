"""The fault matrix: end-to-end runs of the Linux program against a faulty scale, a faulty file
system or a second job. Each row checks the exit status, the error in "Kwlink.Err" and the log
(or, where neither can be written, the "Error:" line), and that the CSV files of an earlier
backup are byte-identical afterwards unless the job finished."""

import glob
import os
import pwd
import resource
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

from harness import BANNER, JobResult, log_entries, read_file, run_job, start_job, wait_for
from hostile_peer import HostilePeer
from test_jobs import GENERIC, MODEL701, JobTestCase


def csv_snapshot(workdir):
    return {os.path.basename(p): read_file(p) for p in glob.glob(os.path.join(workdir, "*.csv"))
            if os.path.isfile(p)}


def peak_resident_kb(pid):
    """The program's high-water mark of resident memory (VmHWM) so far; 0 once it has ended."""
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def run_measured(installation, job, timeout=120, preexec_fn=None):
    """Runs a job; returns (exit status or -signal, stdout, stderr, peak resident KB). The peak
    is read from /proc while the program runs: the rusage of a child counts the memory of the
    test process it was forked from."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        p = subprocess.Popen([installation.program, job], stdout=out, stderr=err,
                             preexec_fn=preexec_fn)
        deadline = time.monotonic() + timeout
        peak = 0
        while p.poll() is None:
            # Read only once the program runs (after the exec): its own memory, not ours.
            try:
                running = os.readlink("/proc/%d/exe" % p.pid) == os.path.realpath(
                    installation.program)
            except OSError:
                running = False
            if running:
                peak = max(peak, peak_resident_kb(p.pid))
            if time.monotonic() > deadline:
                p.kill()
                p.wait()
                raise AssertionError("job did not end within %d s" % timeout)
            time.sleep(0.01)
        out.seek(0)
        err.seek(0)
        return (p.returncode, out.read().decode("utf-8", "replace"),
                err.read().decode("utf-8", "replace"), peak)



def held_at_first_rename(program, job, delay_us, **popen):
    """Starts `program` on `job` under strace, which holds it for `delay_us` microseconds at its
    first rename (the first file the job replaces). A sanitizer build's leak check cannot run
    under ptrace and would fail the program at its end: it is off for this run."""
    env = dict(os.environ)
    env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"), "detect_leaks=0"]))
    return subprocess.Popen(
        ["strace", "-f", "-qq", "-o", os.devnull, "-e", "trace=rename,renameat,renameat2",
         "-e", "inject=rename,renameat,renameat2:delay_enter=%d:when=1" % delay_us, program, job],
        env=env, **popen)

class FaultMatrix(JobTestCase):
    """Rows that start from a complete backup in the working directory."""

    def setUp(self):
        super().setUp()
        self.workdir = self.backup()
        self.before = csv_snapshot(self.workdir)
        self.assertGreater(len(self.before), 5)

    def marker(self):
        return self.workdir + ".sca"

    def assertCsvUnchanged(self):
        self.assertEqual(csv_snapshot(self.workdir), self.before)

    def assertRowFailed(self, result, numbers):
        """Exit 1, the error (one of `numbers`) in Kwlink.Err and at the end of the log."""
        self.assertEqual(result.returncode, 1, result.stderr)
        error = read_file(os.path.join(self.workdir, "Kwlink.Err")).decode("latin-1")
        self.assertIn(error, [self.texts[n] for n in numbers])
        entries = log_entries(os.path.join(self.workdir, "Kwlink.log"))
        self.assertEqual(entries[-4:-2], ["Abort with Error", error])
        self.assertNotIn("Error:", result.stderr)
        self.assertCsvUnchanged()
        return error

    def test_scale_vanishes_mid_backup_and_mid_restore(self):
        release = self.inst.path("release")
        sim = self.simulator(extra=["--pause-after", "3", "--release-file", release])
        job = start_job(self.inst, "KWBACKUP[0,3];KWDIR[%s]" % self.workdir)
        wait_for(lambda: len([f for f in sim.sent_frames() if f[6:7] == b"d"]) >= 3,
                 what="the third record")
        self.pull(sim)
        out, err = job.communicate(timeout=60)
        # 24 when it vanished before acknowledging the next request, else 25.
        self.assertRowFailed(JobResult(job.returncode, out.decode(), err.decode()), [24, 25])

        sim = self.simulator(data=False)
        job = start_job(self.inst, "KWRESTORE[0,3];KWDIR[%s]" % self.workdir)
        wait_for(lambda: len(sim.stores()) >= 2, what="two stored tables")
        self.pull(sim)
        out, err = job.communicate(timeout=60)
        self.assertRowFailed(JobResult(job.returncode, out.decode(), err.decode()), [24, 25])

    def test_link_faults(self):
        # (simulator options, errors; None for a job that finishes)
        rows = [
            (["--nak-first", "1000"], [24]),                # a NAK storm
            (["--bad-bcc-first", "1000"], [25]),            # every reply damaged
            (["--stray", "\\x06\\x15junk\\x03\\x17"], None),  # stray bytes before each reply
            (["--silent-after-ack"], [25]),
            (["--no-ack"], [24]),
        ]
        for extra, numbers in rows:
            with self.subTest(extra=extra):
                sim = self.simulator(extra=extra)
                result = run_job(self.inst, "KWBACKUP[0,3];KWDIR[%s]" % self.workdir)
                if numbers is None:
                    self.assertEqual(result.returncode, 0, result.stderr)
                    self.assertCsvUnchanged()
                    self.assertEqual(read_file(self.marker()).decode(), BANNER)
                else:
                    self.assertRowFailed(result, numbers)
                    # Ended before the write phase: the earlier backup stays whole and marked.
                    self.assertEqual(read_file(self.marker()).decode(), BANNER)
                sim.stop()
                self.sims.remove(sim)

    def test_endless_w9_table_ends_with_error_42(self):
        sim = self.simulator(extra=["--w-reply", "9"])
        result = run_job(self.inst, "KWBACKUP[0,3];KWDIR[%s]" % self.workdir, timeout=60)
        self.assertRowFailed(result, [42])
        entries = log_entries(os.path.join(self.workdir, "Kwlink.log"))
        self.assertTrue(any("does not know" in e and "w9\\x03" in e for e in entries), entries)
        endings = [f for f in sim.sent_frames() if f[6:8] == b"w9"]
        self.assertEqual(len(endings), 10, "the job gives up after ten such replies")
        self.assertEqual(sim.requests()[-1][1], b"e")

    def test_sigkill_in_the_write_phase_leaves_nothing_that_claims_success(self):
        if shutil.which("strace") is None:
            self.skipTest("strace is needed to hold the program at its first rename")
        sim = self.simulator()
        # strace holds the program at its first rename (the first CSV file of the write phase:
        # nothing else is renamed in a backup of a known scale) until it is killed there.
        job = held_at_first_rename(self.inst.program, "KWBACKUP[0,3];KWDIR[%s]" % self.workdir,
                                   30000000, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        wait_for(lambda: glob.glob(os.path.join(self.workdir, "*.tmp~")), timeout=60,
                 what="the first temporary file")
        time.sleep(0.5)
        with open("/proc/%d/task/%d/children" % (job.pid, job.pid)) as f:
            program = int(f.read().split()[0])
        os.kill(program, signal.SIGKILL)
        job.wait(30)
        sim.stop()
        self.sims.remove(sim)
        # No marker and no log of the previous job claim a complete backup.
        self.assertFalse(os.path.exists(self.marker()))
        self.assertFalse(os.path.exists(os.path.join(self.workdir, "Kwlink.log")))
        self.assertCsvUnchanged()
        stale = glob.glob(os.path.join(self.workdir, "*.tmp~"))
        self.assertTrue(stale)
        self.assertRegex(os.path.basename(stale[0]), r"\.\d+\.tmp~$")

        # The next job in that directory finishes normally and clears the leftovers.
        sim = self.simulator()
        result = run_job(self.inst, "KWBACKUP[0,3];KWDIR[%s]" % self.workdir)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(glob.glob(os.path.join(self.workdir, "*.tmp~")), [])
        self.assertCsvUnchanged()
        self.assertEqual(read_file(self.marker()).decode(), BANNER)

    def test_file_size_limit_is_a_failed_write_not_a_killed_process(self):
        sim = self.simulator()
        largest = max(len(v) for v in self.before.values())
        limit = largest - 1

        def limit_file_size():
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
        status, out, err, _ = run_measured(self.inst, "KWBACKUP[0,3];KWDIR[%s]" % self.workdir,
                                           preexec_fn=limit_file_size)
        self.assertEqual(status, 1, "killed by SIGXFSZ" if status == -signal.SIGXFSZ else err)
        self.assertFalse(os.path.exists(self.marker()))
        self.assertEqual(glob.glob(os.path.join(self.workdir, "*.tmp~")), [])
        self.assertEqual(read_file(os.path.join(self.workdir, "Kwlink.Err")).decode(),
                         self.texts[38])
        self.assertCsvUnchanged()

    def test_working_directory_removed_mid_job(self):
        release = self.inst.path("release")
        sim = self.simulator(extra=["--pause-after", "3", "--release-file", release])
        job = start_job(self.inst, "KWBACKUP[0,3];KWDIR[%s]" % self.workdir)
        wait_for(lambda: len([f for f in sim.sent_frames() if f[6:7] == b"d"]) >= 3,
                 what="the third record")
        shutil.rmtree(self.workdir)
        with open(release, "w"):
            pass
        out, err = job.communicate(timeout=60)
        err = err.decode()
        self.assertEqual(job.returncode, 1, err)
        # Neither the log nor the error file can be written: the failure is shown instead.
        self.assertIn("Error: " + self.texts[38] + "\n", err)
        self.assertIn("Can't write the file " + os.path.join(self.workdir, "Kwlink.Err"), err)
        self.assertIn("Can't write the file " + os.path.join(self.workdir, "Kwlink.log"), err)
        self.assertFalse(os.path.exists(self.workdir))
        self.assertFalse(os.path.exists(self.marker()))

    def test_symlinked_and_private_csv_files_keep_their_kind_after_a_backup(self):
        elsewhere = self.inst.path("elsewhere")
        os.mkdir(elsewhere)
        dept = os.path.join(self.workdir, "DEPT.csv")
        target = os.path.join(elsewhere, "DEPT.csv")
        with open(target, "wb") as f:
            f.write(b"old\r\n")
        os.unlink(dept)
        os.symlink(os.path.relpath(target, self.workdir), dept)
        arti = os.path.join(self.workdir, "ARTI.csv")
        os.chmod(arti, 0o600)
        text = os.path.join(self.workdir, "TEXT.csv")
        os.chmod(text, 0o444)

        self.simulator()
        result = run_job(self.inst, "KWBACKUP[0,3];KWDIR[%s]" % self.workdir)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(os.path.islink(dept))
        self.assertEqual(read_file(target), self.before["DEPT.csv"])
        self.assertEqual(os.stat(arti).st_mode & 0o777, 0o600)
        self.assertEqual(os.stat(text).st_mode & 0o777, 0o444)
        self.assertCsvUnchanged()


@unittest.skipUnless(os.geteuid() == 0, "needs root: plants files as another user")
class PlantsOfAnotherUser(JobTestCase):
    """What another local user (here `nobody`) plants in the working directory, beside it, in
    the program's data directory or on the port, and a job of root then meets. Each row: what
    is planted, when (before the simulated scale starts, after it has made its port link, or
    once the job talks to it), the job, its exit status, the error file's text, a log entry and
    a line on standard error that must be there. Nothing ever reaches the plants' targets, and
    the log holds no control byte but its line ends."""

    BACKUP, RESTORE = "KWBACKUP[0,3]", "KWRESTORE[0,3]"

    def setUp(self):
        super().setUp()
        self.other = pwd.getpwnam("nobody")
        self.workdir = self.work()
        os.mkdir(self.workdir)
        self.secret = self.inst.path("secret")
        self.elsewhere = self.inst.path("elsewhere")
        os.mkdir(self.elsewhere)

    def plant(self, path, target):
        if os.path.lexists(path):
            os.remove(path)
        os.symlink(target, path)
        os.lchown(path, self.other.pw_uid, self.other.pw_gid)

    def refused(self, path):
        return "%s is a symbolic link of user nobody, not followed" % path

    def invalid_value_with_escapes(self):
        self.backup(workdir=self.workdir)
        lines = read_file(os.path.join(self.workdir, "KEYB01.csv")).split(b"\r\n")
        fields = lines[2].split(b";")
        fields[1] = b"1\x1b[2J\x07\x7f2"
        lines[2] = b";".join(fields)
        with open(os.path.join(self.workdir, "KEYB05.csv"), "wb") as f:
            f.write(b"\r\n".join(lines))

    def rows(self):
        w = lambda name: os.path.join(self.workdir, name)
        p = lambda name: os.path.join(self.inst.program_dir, name)
        port = self.texts[26] + " Com: 5"
        temporary = lambda pid: [self.plant("%s.%d.tmp~" % (name, pid), self.secret)
                                 for name in (w("Kwlink.log"), self.workdir + ".sca")]
        return [
            # what, when, plant, job, exit status, error file, log entry, standard error
            ("a CSV file", "before", lambda: self.plant(w("DEPT.csv"), self.secret),
             self.BACKUP, 1, self.texts[38], self.refused(w("DEPT.csv")), None),
            ("the marker", "writing", lambda pid: self.plant(self.workdir + ".sca", self.secret),
             self.BACKUP, 1, self.texts[38], self.refused(self.workdir + ".sca"), None),
            ("the log", "before", lambda: self.plant(w("Kwlink.log"), self.secret),
             self.RESTORE, 1, self.texts[39], None,
             "Can't write the file %s (%s)" % (w("Kwlink.log"), self.refused(w("Kwlink.log")))),
            ("the error file", "before", lambda: self.plant(w("Kwlink.Err"), self.secret),
             self.RESTORE, 1, None, self.refused(w("Kwlink.Err")),
             "Can't write the file " + w("Kwlink.Err")),
            ("the lock file", "before", lambda: self.plant(w("Kwlink.lck"), self.secret),
             self.BACKUP, 1, None, None,
             "Error: %s (%s is a symbolic link)" % (self.texts[41], w("Kwlink.lck"))),
            ("temporary files", "writing", temporary, self.BACKUP, 0, None, None, None),
            ("the settings", "before", lambda: self.plant(p("Kwlink.cfg"), self.secret),
             self.BACKUP, 1, self.texts[38], self.refused(p("Kwlink.cfg")), None),
            ("a description directory", "before",
             lambda: self.plant(p(GENERIC[0]), self.elsewhere),
             self.BACKUP, 1, self.texts[38], self.refused(p(GENERIC[0])), None),
            ("the port link", "port",
             lambda: os.lchown(p("com5"), self.other.pw_uid, self.other.pw_gid),
             self.BACKUP, 1, port, "(%s): %s" % (p("com5"), self.refused(p("com5"))), None),
            ("a pseudo-terminal", "port",
             lambda: os.chown(os.path.realpath(p("com5")), self.other.pw_uid, -1),
             self.BACKUP, 1, port, "is a pseudo-terminal of user id %d" % self.other.pw_uid,
             None),
            ("no terminal", "port", lambda: (os.remove(p("com5")), os.symlink("/dev/null", p("com5"))),
             self.BACKUP, 1, port, p("com5") + " is no terminal device", None),
            ("a CSV text with terminal escapes", "before", self.invalid_value_with_escapes,
             "KWRESTORE[0,5]", 1, self.texts[40],
             'Invalid value in table KEYB (number 05), key 1, column KART: '
             '"1\\x1b[2J\\x07\\x7f2"', None),
        ]

    def test_plants_change_nothing_a_job_of_root_does(self):
        for what, when, plant, job, status, error, entry, stderr in self.rows():
            with self.subTest(what):
                self.setUp_row()
                if when == "before":
                    plant()
                # A scale of a known model: the first file a job replaces is then in the
                # working directory, not a description it fetched.
                sim = self.simulator(MODEL701 if when == "writing" else GENERIC)
                if when == "port":
                    plant()
                if when == "writing":
                    result = self.run_planting_while_writing(job, plant)
                else:
                    result = run_job(self.inst, "%s;KWDIR[%s]" % (job, self.workdir))
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertFalse(os.path.lexists(self.secret), what)
                self.assertEqual(os.listdir(self.elsewhere), [], what)
                err_file = os.path.join(self.workdir, "Kwlink.Err")
                if error is not None:
                    self.assertEqual(read_file(err_file).decode("latin-1"), error)
                log = os.path.join(self.workdir, "Kwlink.log")
                if entry is not None:
                    entries = log_entries(log)
                    self.assertTrue([e for e in entries if entry in e], (entry, entries))
                if os.path.isfile(log) and not os.path.islink(log):
                    self.assertEqual([b for b in read_file(log).replace(b"\r\n", b"")
                                      if b < 0x20 or b == 0x7F], [])
                if stderr is not None:
                    self.assertIn(stderr, result.stderr)
                for s in self.sims:
                    s.stop()
                self.sims.clear()

    def run_planting_while_writing(self, job, plant):
        """Runs `job` under strace, which holds it for 1.5 s at its first file replacement,
        and calls `plant` with the program's process id there: after the job has removed the
        marker and the old log, before it writes them."""
        if shutil.which("strace") is None:
            self.skipTest("strace is needed to hold the program at its first rename")
        process = held_at_first_rename(self.inst.program, "%s;KWDIR[%s]" % (job, self.workdir),
                                       1500000, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        wait_for(lambda: glob.glob(os.path.join(self.workdir, "*.tmp~")), timeout=60,
                 what="the first temporary file")
        with open("/proc/%d/task/%d/children" % (process.pid, process.pid)) as f:
            plant(int(f.read().split()[0]))
        out, err = process.communicate(timeout=120)
        return JobResult(process.returncode, out.decode(), err.decode())

    def setUp_row(self):
        """A fresh working directory and data directory for the next row."""
        for s in self.sims:
            s.stop()
        self.sims.clear()
        for path in (self.workdir, self.elsewhere):
            shutil.rmtree(path)
            os.mkdir(path)
        for name in ("Kwlink.cfg", GENERIC[0], "com5"):
            path = os.path.join(self.inst.program_dir, name)
            if os.path.islink(path) or os.path.isfile(path):
                os.remove(path)
            elif os.path.isdir(path):
                shutil.rmtree(path)
        with open(self.inst.config_path(), "w") as f:
            f.write("5;3;0.5;5;2")
        for path in (self.workdir + ".sca", self.secret):
            if os.path.lexists(path):
                os.remove(path)


class EndlessAndHugeFrames(JobTestCase):
    def test_endless_frame_and_a_frame_of_100_kB(self):
        for size in (None, 100 * 1024):
            with self.subTest(size=size):
                workdir = self.work("w%s" % size)
                ident, number, _ = MODEL701
                peer = HostilePeer(os.path.join(self.inst.program_dir, "com5"), ident, number,
                                   reply_size=size)
                try:
                    status, out, err, peak = run_measured(
                        self.inst, "KWUP;KWDIR[%s];KWTAB[*]" % workdir, timeout=60)
                finally:
                    peer.stop()
                self.assertEqual(status, 1, err)
                self.assertEqual(read_file(os.path.join(workdir, "Kwlink.Err")).decode(),
                                 self.texts[25])
                entries = log_entries(os.path.join(workdir, "Kwlink.log"))
                self.assertTrue(any(e.startswith("Reply frame longer than") for e in entries),
                                entries)
                self.assertEqual(glob.glob(os.path.join(workdir, "*.csv")), [])
                if size is not None:
                    self.assertGreaterEqual(peer.naks, 1, "the overlong frame is refused")


class Stopping(JobTestCase):
    def test_stop_during_a_long_exchange_ends_within_three_seconds(self):
        with open(self.inst.config_path(), "w") as f:
            f.write("5;600;600;5;2")
        for extra in (["--silent-after-ack"], ["--no-ack"]):
            with self.subTest(extra=extra):
                sim = self.simulator(extra=extra)
                workdir = self.work("w" + extra[0])
                job = start_job(self.inst, "KWUP;KWDIR[%s];KWTAB[DEPT]" % workdir)
                wait_for(lambda: len(sim.received_frames()) >= 1, what="the first request")
                time.sleep(0.3)
                started = time.monotonic()
                job.send_signal(signal.SIGTERM)
                out, err = job.communicate(timeout=30)
                took = time.monotonic() - started
                self.assertEqual(job.returncode, 2, err)
                self.assertLess(took, 3.0)
                entries = log_entries(os.path.join(workdir, "Kwlink.log"))
                self.assertEqual(entries[-3:], [self.texts[2], self.texts[35], "Log-Closed"])
                ends = [r for _, r in sim.requests() if r == b"e"]
                self.assertLessEqual(len(ends), 1, "the end request is sent once, not repeated")
                sim.stop()
                self.sims.remove(sim)


class TwoJobs(JobTestCase):
    def test_two_jobs_on_one_port_and_two_jobs_in_one_working_directory(self):
        release = self.inst.path("release")
        sim = self.simulator(extra=["--pause-after", "3", "--release-file", release])
        first = start_job(self.inst, "KWBACKUP[0,3];KWDIR[%s]" % self.work())
        wait_for(lambda: len([f for f in sim.sent_frames() if f[6:7] == b"d"]) >= 3,
                 what="the third record")
        listing = sorted(os.listdir(self.work()))

        # Same port, other directory: the port is taken.
        second = run_job(self.inst, "KWUP;KWDIR[%s];KWTAB[DEPT]" % self.work("other"))
        self.assertEqual(second.returncode, 1)
        self.assertEqual(read_file(os.path.join(self.work("other"), "Kwlink.Err")).decode(),
                         self.texts[26] + " Com: 5")

        # Same directory: refused before anything is written there.
        third = run_job(self.inst, "KWBACKUP[0,3];KWDIR[%s]" % self.work())
        self.assertEqual(third.returncode, 1)
        self.assertIn("Error: " + self.texts[41], third.stderr)
        self.assertEqual(sorted(os.listdir(self.work())), listing)

        with open(release, "w"):
            pass
        out, err = first.communicate(timeout=60)
        self.assertEqual(first.returncode, 0, err)
        self.assertEqual(log_entries(os.path.join(self.work(), "Kwlink.log"))[-1], "Log-Closed")


class SmallerFaults(JobTestCase):
    def test_messages_file_that_is_a_directory_is_reported_as_missing(self):
        path = os.path.join(self.inst.program_dir, "Messages.res")
        os.unlink(path)
        os.mkdir(path)
        result = run_job(self.inst, "KWUP;KWDIR[%s];KWTAB[DEPT]" % self.work())
        self.assertEqual(result.returncode, 1)
        self.assertIn("Error: Can't open File Messages.res", result.stderr)
        self.assertFalse(os.path.exists(self.work()))

    def test_ten_megabyte_csv_line_is_cut_and_logged(self):
        workdir = self.backup()
        sim = self.simulator(data=False)
        job = "KWDOWN;KWDIR[%s];KWTAB[TEXT]" % workdir
        status, out, err, usual = run_measured(self.inst, job)
        self.assertEqual(status, 0, err)
        sim.stop()
        self.sims.remove(sim)
        path = os.path.join(workdir, "TEXT.csv")
        content = read_file(path)
        columns = content.split(b"\r\n")[0].count(b";")
        # A field beyond the last column: no attribute takes it.
        with open(path, "wb") as f:
            f.write(content + b"9" + b";" * columns + b"X" * (10 * 1024 * 1024) + b"\r\n")
        self.simulator(data=False)
        status, out, err, peak = run_measured(self.inst, job)
        self.assertEqual(status, 0, err)
        # What is kept of the line (1 MB) and its copies, not the 10 MB of the file.
        self.assertLess(peak - usual, 6 * 1024, "peak resident size in KB beyond the usual")
        entries = log_entries(os.path.join(workdir, "Kwlink.log"))
        self.assertTrue(any("TEXT.csv, line" in e and "longer than" in e for e in entries),
                        entries)

    def test_record_the_layout_cannot_decode_is_logged_with_table_and_key(self):
        data = self.inst.path("data.txt")
        with open(GENERIC_DATA, "r", encoding="latin-1") as f:
            text = f.read()
        # A department whose name ends in an escape byte cut off by the group's ETB.
        text = text.replace("record B\\x17a\"\\x17bmeat \\x17c3",
                            "record B\\x17a\"\\x17bmeat\\xFF\\x17c3")
        with open(data, "w", encoding="latin-1") as f:
            f.write(text)
        self.simulator(data_file=data)
        workdir = self.work()
        result = run_job(self.inst, "KWUP;KWDIR[%s];KWTAB[DEPT]" % workdir)
        self.assertEqual(result.returncode, 0, result.stderr)
        entries = log_entries(os.path.join(workdir, "Kwlink.log"))
        self.assertTrue(any(e.startswith("Record of table DEPT (number 01), key 2,") and
                            "meat\\xFF\\x17" in e for e in entries), entries)


GENERIC_DATA = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))), "data", "samples", GENERIC[2])


class FullFileSystem(JobTestCase):
    """The working directory on a small tmpfs that is full (needs root for the mount)."""

    def setUp(self):
        super().setUp()
        if os.geteuid() != 0 or shutil.which("mount") is None:
            self.skipTest("needs root to mount a tmpfs")
        self.mount = self.inst.path("tmpfs")
        os.mkdir(self.mount)
        r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=2m", "tmpfs", self.mount],
                           capture_output=True)
        if r.returncode != 0:
            self.skipTest("cannot mount a tmpfs: " + r.stderr.decode())
        self.addCleanup(subprocess.run, ["umount", "-l", self.mount])

    def test_full_file_system(self):
        workdir = os.path.join(self.mount, "work")
        self.backup(workdir=workdir)
        before = csv_snapshot(workdir)
        # Links elsewhere on the same file system: removing the old log and marker frees
        # nothing, so the file system stays full.
        keep = os.path.join(self.mount, "keep")
        os.mkdir(keep)
        os.link(os.path.join(workdir, "Kwlink.log"), os.path.join(keep, "log"))
        os.link(workdir + ".sca", os.path.join(keep, "marker"))
        fd = os.open(os.path.join(self.mount, "filler"), os.O_WRONLY | os.O_CREAT, 0o600)
        for size in (65536, 4096, 1):
            try:
                while True:
                    os.write(fd, b"\0" * size)
            except OSError:
                pass
        os.close(fd)
        self.simulator()
        result = run_job(self.inst, "KWBACKUP[0,3];KWDIR[%s]" % workdir)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("Error: " + self.texts[38] + "\n", result.stderr)
        self.assertIn("Can't write the file " + os.path.join(workdir, "Kwlink.log"),
                      result.stderr)
        self.assertEqual(csv_snapshot(workdir), before)
        self.assertFalse(os.path.exists(workdir + ".sca"))
        self.assertEqual(glob.glob(os.path.join(workdir, "*.tmp~")), [])


if __name__ == "__main__":
    unittest.main()
