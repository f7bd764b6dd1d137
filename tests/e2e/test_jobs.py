"""End-to-end tests of the Linux program against the simulated scale on a pseudo-terminal."""

import os
import shutil
import signal
import subprocess
import time
import unittest

from harness import (BANNER, Installation, Simulator, csv_rows, log_entries, project_version,
                     read_file, read_records, run_job, sample_path, start_job, table_signs,
                     wait_for, write_ports, write_records)

GENERIC = ("KWSIM-GEN-01", 1, "generic_scale.txt")
MODEL700 = ("1097401700", 1, "model700_scale.txt")
MODEL701 = ("1097401701", 2, "model701_scale.txt")
TDES_SIGN, ADES_SIGN = 0x7E, 0x7F


def distinct_in_order(items):
    """The items without consecutive repeats (a request is sent again for every record)."""
    out = []
    for item in items:
        if not out or out[-1] != item:
            out.append(item)
    return out


class JobTestCase(unittest.TestCase):
    # None: the simulated scale on COM<port>; else the kind of serial device server in front
    # of it (harness.SerialServer), listed for the port in Kwlink.ports.
    port_kind = None

    def setUp(self):
        self.inst = Installation()
        self.texts = self.inst.messages()
        self.sims = []

    def tearDown(self):
        for sim in self.sims:
            sim.stop()
        self.inst.remove()

    def simulator(self, scale=GENERIC, data=True, port=5, extra=(), data_file=None):
        ident, number, sample = scale
        if self.port_kind:
            link = self.inst.path("tty-%d" % len(self.sims))
        else:
            link = os.path.join(self.inst.program_dir, "com%d" % port)
        sim = Simulator(link, ident, number,
                        data_file or (sample_path(sample) if data else None), extra,
                        transcript=self.inst.path("transcript-%d.txt" % len(self.sims)),
                        server=self.port_kind)
        if sim.server:
            write_ports(self.inst.program_dir, ["%d;%s" % (port, sim.server.address)])
        self.sims.append(sim)
        return sim

    def pull(self, sim):
        """The scale goes away in the middle of a job: its USB adapter is pulled (the simulated
        scale is killed) or, on the network, its serial device server ends."""
        process = sim.server.process if sim.server else sim.process
        process.kill()
        process.wait()

    def work(self, name="work"):
        return self.inst.path(name)

    def assertFailedWith(self, result, number, workdir=None):
        self.assertEqual(result.returncode, 1, result.stderr)
        text = self.texts[number]
        if workdir is None:
            self.assertIn("Error: " + text, result.stderr)
        else:
            self.assertEqual(read_file(os.path.join(workdir, "Kwlink.Err")).decode("latin-1"), text)
            entries = log_entries(os.path.join(workdir, "Kwlink.log"))
            self.assertEqual(entries[-4:-2], ["Abort with Error", text])
            self.assertNotIn("Error:", result.stderr)

    def backup(self, scale=GENERIC, workdir=None, conf="0,3"):
        workdir = workdir or self.work()
        sim = self.simulator(scale)
        result = run_job(self.inst, "KWBACKUP[%s];KWDIR[%s]" % (conf, workdir))
        self.assertEqual(result.returncode, 0, result.stderr)
        sim.stop()
        self.sims.remove(sim)
        return workdir


class BackupAndRestore(JobTestCase):
    def test_backup_writes_files_log_and_marker_and_restore_gives_identical_records(self):
        ident, number, sample = GENERIC
        sim = self.simulator()
        workdir = self.work()
        result = run_job(self.inst, "KWBACKUP[0,3];KWDIR[%s]" % workdir)
        self.assertEqual(result.returncode, 0, result.stderr)
        sim.stop()

        signs = table_signs(os.path.join(workdir, "TDES.csv"))
        for name in ("TDES", "ADES", "ARTI", "DEPT", "SHOP", "TEXT", "SALE"):
            self.assertTrue(os.path.exists(os.path.join(workdir, name + ".csv")), name)
        for name in ("CONF00", "CONF01", "CONF03", "KEYB00", "KEYB01", "KEYB03"):
            self.assertTrue(os.path.exists(os.path.join(workdir, name + ".csv")), name)
        self.assertEqual(read_file(workdir + ".sca"), BANNER.encode())
        entries = log_entries(os.path.join(workdir, "Kwlink.log"))
        self.assertEqual(entries[0], BANNER + " Log-was Opened")
        self.assertIn(self.texts[33], entries)
        self.assertEqual(entries[-1], "Log-Closed")
        # The descriptions fetched from the scale are kept for the next job.
        self.assertTrue(os.path.exists(os.path.join(self.inst.program_dir, ident, "TDES.csv")))
        self.assertEqual(read_file(os.path.join(workdir, "ARTI.csv")).count(b"\r\n"), 7)

        os.remove(workdir + ".sca")
        empty = self.simulator(data=False)
        result = run_job(self.inst, "KWRESTORE[0,3];KWDIR[%s]" % workdir)
        self.assertEqual(result.returncode, 0, result.stderr)
        empty.stop()
        # Found on disk: the descriptions are not fetched again.
        requested = [content for _, content in empty.requests()]
        self.assertNotIn(b"u~", requested)
        # A job towards the scale writes no marker file.
        self.assertFalse(os.path.exists(workdir + ".sca"))

        original = read_records(sample_path(sample))
        stored = empty.stores()
        expected = {key: records for key, records in original.items()
                    if key[1] not in (TDES_SIGN, ADES_SIGN, signs["SALE"])}
        self.assertEqual(stored, expected)
        self.assertNotIn(signs["SALE"], {sign for _, sign in stored})

    def test_model_701_backup_and_restore(self):
        workdir = self.backup(MODEL701, conf="0,5")
        sim = self.simulator(MODEL701, data=False)
        result = run_job(self.inst, "KWRESTORE[0,5];KWDIR[%s]" % workdir)
        self.assertEqual(result.returncode, 0, result.stderr)
        sim.stop()
        original = read_records(sample_path(MODEL701[2]))
        signs = table_signs(os.path.join(self.inst.program_dir, "109SCALE701", "TDES.csv"))
        expected = {k: v for k, v in original.items() if k[1] not in (TDES_SIGN, ADES_SIGN)}
        self.assertEqual(sim.stores(), expected)
        self.assertIn("KEYB", signs)

    def test_model_700_uses_its_own_letters(self):
        # The scale serves its department table for the job's "q*".
        sim = self.simulator(MODEL700, extra=["--q-star-sign", "42"])
        workdir = self.work()
        result = run_job(self.inst, "KWUP;KWDIR[%s];KWTAB[DEPT]" % workdir)
        self.assertEqual(result.returncode, 0, result.stderr)
        requests = [content for _, content in sim.requests()]
        self.assertIn(b"q*", requests)
        self.assertEqual(requests[-1], b"q&")
        self.assertFalse(any(r.startswith(b"u") for r in requests))
        sim.stop()

        sim = self.simulator(MODEL700, data=False)
        result = run_job(self.inst, "KWDOWN;KWDIR[%s];KWTAB[DEPT]" % workdir)
        self.assertEqual(result.returncode, 0, result.stderr)
        # The department records fetched above go back, each sent with 1Ch.
        dept = table_signs(os.path.join(self.inst.program_dir, "109SCALE700", "TDES.csv"))["DEPT"]
        original = read_records(sample_path(MODEL700[2]))[(1, dept)]
        records = [c[1:] for _, c in sim.requests() if c[:1] == b"\x1c"]
        self.assertEqual(records, original)
        self.assertEqual(sim.stores(), {(1, dept): original})
        self.assertEqual(sim.requests()[-1][1], b"q&")

    def test_table_fetched_empty_replaces_an_old_file(self):
        workdir = self.backup()
        self.assertEqual(len(csv_rows(os.path.join(workdir, "TEXT.csv"))), 2)
        tables = read_records(sample_path(GENERIC[2]))
        signs = table_signs(os.path.join(workdir, "TDES.csv"))
        tables[(1, signs["TEXT"])] = []
        for key in list(tables):
            if key[1] == signs["KEYB"] and key[0] == 1:
                tables[key] = []
        emptied = self.inst.path("emptied.txt")
        write_records(emptied, tables)
        sim = self.simulator(data_file=emptied)
        result = run_job(self.inst, "KWBACKUP[0,3];KWDIR[%s]" % workdir)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(read_file(os.path.join(workdir, "TEXT.csv")).count(b"\r\n"), 2)
        self.assertEqual(read_file(os.path.join(workdir, "KEYB01.csv")).count(b"\r\n"), 2)
        self.assertEqual(len(csv_rows(os.path.join(workdir, "KEYB03.csv"))), 3)
        self.assertEqual(len(csv_rows(os.path.join(workdir, "DEPT.csv"))), 4)


class PartialJobs(JobTestCase):
    def test_kwup_with_a_table_list_fetches_only_those_tables(self):
        sim = self.simulator()
        workdir = self.work()
        result = run_job(self.inst, "KWUP;KWDIR[%s];KWTAB[DEPT,TEXT]" % workdir)
        self.assertEqual(result.returncode, 0, result.stderr)
        table_requests = distinct_in_order(c for _, c in sim.requests() if c[:1] == b"u")
        self.assertEqual(table_requests, [b"u~", b"u\x7f", b"uB", b"uD"])
        self.assertTrue(os.path.exists(os.path.join(workdir, "DEPT.csv")))
        self.assertFalse(os.path.exists(os.path.join(workdir, "ARTI.csv")))

    def test_kwup_all_tables_and_article_range(self):
        sim = self.simulator()
        workdir = self.work()
        result = run_job(self.inst, "KWUP;KWDIR[%s];KWTAB[*];KWARTICLE[1,100]" % workdir)
        self.assertEqual(result.returncode, 0, result.stderr)
        signs = table_signs(os.path.join(workdir, "TDES.csv"))
        fetched = [c[1] for c in distinct_in_order(c for _, c in sim.requests() if c[:1] == b"u")]
        fetched = fetched[2:]
        self.assertEqual(fetched, sorted(s for n, s in signs.items() if s < 0x7E))
        # In a job from the scale the article range is not read: every article is fetched.
        self.assertIn("Articles[all]", result.stdout)
        keys = [row[0] for row in csv_rows(os.path.join(workdir, "ARTI.csv"))]
        self.assertEqual(keys, ["1", "2", "17", "300", "999999"])

    def test_kwdown_article_range_sends_only_the_keys_in_range(self):
        workdir = self.backup()
        sim = self.simulator(data=False)
        result = run_job(self.inst, "KWDOWN;KWDIR[%s];KWARTICLE[2,300]" % workdir)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("Articles[0002 - 0300]", result.stdout)
        keys = [row[0] for row in csv_rows(os.path.join(workdir, "ARTI.csv"))]
        self.assertEqual(keys, ["1", "2", "17", "300", "999999"])
        original = read_records(sample_path(GENERIC[2]))
        signs = table_signs(os.path.join(workdir, "TDES.csv"))
        self.assertEqual(sim.stores(), {(1, signs["ARTI"]): original[(1, signs["ARTI"])][1:4]})

    def test_kwdown_configuration_saves_once_per_number_with_data(self):
        workdir = self.backup()
        sim = self.simulator(data=False)
        result = run_job(self.inst, "KWDOWN;KWDIR[%s];KWCONF[0,3]" % workdir)
        self.assertEqual(result.returncode, 0, result.stderr)
        saves = [number for number, content in sim.requests() if content == b"s"]
        self.assertEqual(saves, [0, 1, 3])
        self.assertEqual(sorted({n for n, _ in sim.stores()}), [0, 1, 3])

    def test_kwport_rewrites_the_configuration_file(self):
        sim = self.simulator(port=6)
        result = run_job(self.inst, "KWUP;KWDIR[%s];KWTAB[DEPT];KWPORT[6]" % self.work())
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(read_file(self.inst.config_path()), b"6;3;0.5;5;2")
        self.assertIn("Port[6]", result.stdout)
        sim.stop()


class Failures(JobTestCase):
    def test_missing_model_descriptions_is_error_28(self):
        shutil.rmtree(os.path.join(self.inst.program_dir, "109SCALE700"))
        sim = self.simulator(MODEL700)
        workdir = self.work()
        result = run_job(self.inst, "KWUP;KWDIR[%s];KWTAB[DEPT]" % workdir)
        self.assertFailedWith(result, 28, workdir)
        # The model-700 letters count only once its descriptions are loaded.
        self.assertEqual(sim.requests()[-1][1], b"e")

    def test_unloadable_fetched_descriptions_is_error_31(self):
        self.simulator(data=False)
        workdir = self.work()
        result = run_job(self.inst, "KWBACKUP[0,0];KWDIR[%s]" % workdir)
        self.assertFailedWith(result, 31, workdir)

    def test_link_errors(self):
        self.simulator(extra=["--no-ack"])
        result = run_job(self.inst, "KWUP;KWDIR[%s];KWTAB[DEPT]" % self.work("w24"))
        self.assertFailedWith(result, 24, self.work("w24"))
        self.sims.pop().stop()

        self.simulator(extra=["--silent-after-ack"])
        result = run_job(self.inst, "KWUP;KWDIR[%s];KWTAB[DEPT]" % self.work("w25"))
        self.assertFailedWith(result, 25, self.work("w25"))
        self.sims.pop().stop()

        result = run_job(self.inst, "KWUP;KWDIR[%s];KWTAB[DEPT];KWPORT[7]" % self.work("w26"))
        self.assertEqual(result.returncode, 1)
        self.assertEqual(read_file(os.path.join(self.work("w26"), "Kwlink.Err")).decode(),
                         self.texts[26] + " Com: 7")

    def test_errors_before_the_log_show_an_error_line(self):
        result = run_job(self.inst, "KWUP;KWDIR[%s]" % self.work())
        self.assertFailedWith(result, 1)
        self.assertFalse(os.path.exists(self.work()))
        result = run_job(self.inst, "KWUP;KWDIR[%s];KWTAB[DEPT]" % self.inst.path("no", "such"))
        self.assertFailedWith(result, 32)
        # A file where the working directory should be is no working directory either.
        with open(self.inst.path("afile"), "w"):
            pass
        result = run_job(self.inst, "KWUP;KWDIR[%s];KWTAB[DEPT]" % self.inst.path("afile"))
        self.assertFailedWith(result, 32)
        self.assertEqual(result.stderr.count("Error:"), 1)
        self.assertNotIn("Meldung", result.stderr)

    def test_unwritable_csv_file_is_error_38(self):
        workdir = self.work()
        os.makedirs(os.path.join(workdir, "DEPT.csv"))
        self.simulator()
        result = run_job(self.inst, "KWUP;KWDIR[%s];KWTAB[DEPT,TEXT]" % workdir)
        self.assertFailedWith(result, 38, workdir)
        self.assertTrue(os.path.isdir(os.path.join(workdir, "DEPT.csv")))

    def test_restore_from_an_empty_directory_is_error_39(self):
        workdir = self.work()
        os.mkdir(workdir)
        sim = self.simulator()
        result = run_job(self.inst, "KWRESTORE[0,3];KWDIR[%s]" % workdir)
        self.assertFailedWith(result, 39, workdir)
        self.assertEqual(sim.requests()[-1][1], b"e")
        self.assertIn("No file to send for table ARTI (ARTICLES)",
                      log_entries(os.path.join(workdir, "Kwlink.log")))

    def test_invalid_value_is_error_40_before_anything_is_sent(self):
        workdir = self.backup()
        path = os.path.join(workdir, "ARTI.csv")
        lines = read_file(path).split(b"\r\n")
        fields = lines[2].split(b";")
        fields[3] = b"12,50"
        lines[2] = b";".join(fields)
        with open(path, "wb") as f:
            f.write(b"\r\n".join(lines))
        sim = self.simulator(data=False)
        result = run_job(self.inst, "KWRESTORE[0,3];KWDIR[%s]" % workdir)
        self.assertFailedWith(result, 40, workdir)
        self.assertEqual(sim.stores(), {})
        entries = log_entries(os.path.join(workdir, "Kwlink.log"))
        self.assertTrue(any("ARTI" in e and "12,50" in e and "APRI" in e for e in entries), entries)


class CommandLine(JobTestCase):
    def test_version_follows_the_banner(self):
        p = subprocess.run([self.inst.program, "--version"], capture_output=True, text=True)
        self.assertEqual(p.returncode, 0)
        self.assertEqual(p.stdout, "%s\nkwlink %s\n" % (BANNER, project_version()))

    def test_no_argument_is_error_1_followed_by_a_hint(self):
        p = subprocess.run([self.inst.program], capture_output=True, text=True)
        self.assertEqual(p.returncode, 1)
        lines = p.stderr.splitlines()
        self.assertEqual(lines[0], "Error: " + self.texts[1])
        self.assertEqual(len(lines), 3, p.stderr)
        self.assertIn("kwlink --help", lines[1])
        self.assertIn("man kwlink", lines[2])


class Stopping(JobTestCase):
    def test_stop_while_waiting_for_the_greeting_sends_nothing(self):
        release = self.inst.path("release")
        sim = self.simulator(extra=["--hold-greeting", "--release-file", release])
        job = start_job(self.inst, "KWUP;KWDIR[%s];KWTAB[DEPT]" % self.work())
        wait_for(lambda: "open" in sim.lines(), what="the program to open the port")
        started = time.monotonic()
        job.send_signal(signal.SIGTERM)
        out, err = job.communicate(timeout=30)
        self.assertLess(time.monotonic() - started, 3.0)
        self.assertEqual(job.returncode, 2)
        self.assertIn("Meldung: " + self.texts[2], err.decode())
        self.assertEqual(sim.received_frames(), [])
        # The stop notice is logged before the job closes the port.
        self.assertEqual(log_entries(os.path.join(self.work(), "Kwlink.log"))[-3:],
                         [self.texts[2], self.texts[35], "Log-Closed"])

    def test_stop_in_the_middle_of_a_table_still_ends_the_connection(self):
        release = self.inst.path("release")
        sim = self.simulator(extra=["--pause-after", "3", "--release-file", release])
        job = start_job(self.inst, "KWUP;KWDIR[%s];KWTAB[ARTI]" % self.work())
        wait_for(lambda: len([f for f in sim.sent_frames() if f[6:7] == b"d"]) >= 3,
                 what="the third record")
        job.send_signal(signal.SIGINT)
        with open(release, "w"):
            pass
        out, err = job.communicate(timeout=30)
        self.assertEqual(job.returncode, 2, err)
        self.assertEqual(sim.requests()[-1][1], b"e")
        self.assertFalse(os.path.exists(os.path.join(self.work(), "ARTI.csv")))


if __name__ == "__main__":
    unittest.main()
