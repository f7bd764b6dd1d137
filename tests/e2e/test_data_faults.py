"""End-to-end tests of the Linux program: jobs that must not lose, corrupt or misplace records
while ending with exit status 0. The cases shared with the Windows program are in
data_fault_cases.py and user_file_cases.py."""

import os
import unittest

import scale_builder as sb
from data_fault_cases import (DIGS, FAULT_IDENT, GENERIC_IDENT, GENERIC_SAMPLE, DataFaultCases,
                              job_string)
from harness import (Installation, Simulator, csv_rows, log_entries, read_file, read_records,
                     run_job, sample_path, start_job, wait_for, write_records)
from user_file_cases import UserFileCases
from changed_cases import ALL, BASE, CHANGES, IDENT, ChangedRecordCases, record

DEPT = sb.table("DEPT", 0x42, 2, "DEPARTMENTS", "FF", [
    sb.attr("DNUM", 0x61, 8, 1, "DEPARTMENT NUMBER"),
    sb.attr("DNAM", 0x62, 6, 20, "DEPARTMENT NAME"),
])


class LinuxScaleJobs(unittest.TestCase):
    """What the shared cases need of the Linux program."""

    def setUp(self):
        self.inst = Installation()
        self.texts = self.inst.messages()
        self.sims = []
        self.dirs = 0

    def tearDown(self):
        for sim in self.sims:
            sim.stop()
        self.inst.remove()

    def start_scale(self, data_file, ident, extra=()):
        sim = Simulator(os.path.join(self.inst.program_dir, "com5"), ident, 1, data_file, extra,
                        transcript=self.inst.path("transcript-%d.txt" % len(self.sims)))
        self.sims.append(sim)
        return sim

    def stop_scale(self, sim):
        sim.stop()

    def run_kw(self, job, workdir):
        result = run_job(self.inst, job_string(job, workdir))
        return result.returncode, result.stderr

    def work(self, name="work"):
        return self.inst.path(name)


class LinuxUserFiles(UserFileCases, LinuxScaleJobs):
    pass


class LinuxChangedRecords(ChangedRecordCases, LinuxScaleJobs):
    def test_a_job_killed_in_the_middle_of_a_table_claims_nothing_the_scale_did_not_take(self):
        sim = self.scale_for_changes("killed", IDENT, 1, ["--ack-stores", "7"])
        workdir = self.work("killed")
        self.write_prices(workdir, BASE)
        job = start_job(self.inst, job_string(CHANGES, workdir))
        # The eighth record is on the line and the scale does not acknowledge it.
        def eighth_record_sent():
            lines = sim.lines()
            stores = [i for i, l in enumerate(lines) if l.startswith("store ")]
            return len(stores) == 7 and any(l.startswith("rx ") for l in lines[stores[6] + 1:])
        wait_for(eighth_record_sent, what="the eighth record")
        job.kill()
        job.wait()
        before = len(self.store_lines(sim))
        code, err = self.run_kw(CHANGES, workdir)
        self.assertEqual(code, 0, err)
        sent = self.keys_of(self.stored_records(self.store_lines(sim)[before:]))
        self.assertLessEqual(set(ALL[7:]), set(sent))
        stored = self.stored_records(self.store_lines(sim))
        self.assertEqual(dict(zip(self.keys_of(stored), stored)),
                         {k: record(k, row) for k, row in BASE.items()})


class LinuxDataFaults(DataFaultCases, LinuxScaleJobs):
    # ---- cases of the Linux program only ----

    def test_a_kept_file_that_cannot_be_converted_stays_byte_for_byte(self):
        workdir = self.work()
        os.mkdir(workdir)
        # U+0141 has no Windows-1252 form.
        kept = ("\ufeffTNUM;TLIN001;TLIN002;\r\nTEXT NUMBER;TEXT LINES;TEXT LINES;\r\n"
                "1;2Gru\u00df \u0141\u00f3d\u017a;1\r\n").encode("utf-8")
        with open(os.path.join(workdir, "TEXT.csv"), "wb") as f:
            f.write(kept)
        self.generic_backup("KWUP;KWTAB[DEPT]", workdir)
        self.assertEqual(read_file(os.path.join(workdir, "TEXT.csv")), kept)
        self.assertIn("Files of table TEXT kept as they are: they hold a value that cannot be "
                      "written back unchanged", log_entries(os.path.join(workdir, "Kwlink.log")))

    def test_a_fetched_key_beyond_65535_is_not_filed_under_another_number(self):
        tables = read_records(sample_path(GENERIC_SAMPLE))
        data = self.inst.path("keys.txt")
        sign = 0x91  # KEYB, kept per number, key of type 7
        keyb = sb.sample.KEYS
        tables[(1, sign)] = [sb.record_bytes(keyb, 3, [b"1", b"THREE"]),
                             sb.record_bytes(keyb, 65541, [b"2", b"FAR"])]
        write_records(data, tables)
        sim = self.start_scale(data, GENERIC_IDENT)
        workdir = self.work()
        code, err = self.run_kw("KWUP;KWCONF[1,1]", workdir)
        self.assertEqual(code, 0, err)
        sim.stop()
        self.assertEqual([r[0] for r in csv_rows(os.path.join(workdir, "KEYB01.csv"))], ["3"])
        self.assertFalse(os.path.exists(os.path.join(workdir, "KEYB02.csv")))
        self.assertIn("KEYB (number 1): record key 65541 lies outside 0..65535 and cannot be kept "
                      "per scale: not stored", log_entries(os.path.join(workdir, "Kwlink.log")))

    def test_descriptions_without_rows_for_the_meta_tables_keep_every_table(self):
        data = self.inst.path("scale.txt")
        sb.write_scale(data, 1, [DEPT, DIGS], [
            (1, DEPT, [(1, [b"FRUIT"])]),
            (1, DIGS, [(7, [b"42", b"X", b"SEVEN"])]),
        ], with_meta_rows=False)
        self.start_scale(data, FAULT_IDENT)
        workdir = self.work()
        code, err = self.run_kw("KWBACKUP[0,0]", workdir)
        self.assertEqual(code, 0, err)
        self.assertEqual(csv_rows(os.path.join(workdir, "DEPT.csv")), [["1", "FRUIT"]])
        self.assertEqual(csv_rows(os.path.join(workdir, "DIGS.csv")), [["7", "42", "X", "SEVEN"]])

    def test_file_signs_that_could_name_other_files_make_the_descriptions_invalid(self):
        for n, sign, where in ((0, "../Z", "table"), (1, "A;BC", "attribute")):
            with self.subTest(sign=sign):
                bad = sb.table(sign, 0x43, 2, "BAD", "FF", [
                    sb.attr("BNUM", 0x61, 8, 1, "NUMBER"), sb.attr("BTXT", 0x62, 5, 8, "TEXT")])
                if where == "attribute":
                    bad = sb.table("BADA", 0x43, 2, "BAD", "FF", [
                        sb.attr("BNUM", 0x61, 8, 1, "NUMBER"), sb.attr(sign, 0x62, 5, 8, "TEXT")])
                data = self.inst.path("bad%d.txt" % n)
                sb.write_scale(data, 1, [DEPT, bad], [
                    (1, DEPT, [(1, [b"FRUIT"])]), (1, bad, [(1, [b"ESCAPED"])])])
                sim = self.start_scale(data, "KWSIM-BAD-0%d" % n)
                workdir = self.work("w%d" % n)
                code, err = self.run_kw("KWBACKUP[0,0]", workdir)
                sim.stop()
                self.assertFailedWithText(code, err, 31, workdir)
                self.assertFalse(os.path.exists(self.inst.path("Z.csv")))
                self.assertEqual([n for n in os.listdir(workdir) if n.endswith(".csv")], [])

    def test_control_bytes_from_the_scale_never_reach_the_terminal_nor_the_log(self):
        ident = "KW\x1b]0;x\x07\x7fSIM1"
        named = sb.table("NAMD", 0x42, 2, "NAME\x1b[2J\x1b[H", "FF", [
            sb.attr("NNUM", 0x61, 8, 1, "NUMBER"), sb.attr("NTXT", 0x62, 5, 8, "TEXT")])
        data = self.inst.path("scale.txt")
        sb.write_scale(data, 1, [named], [(1, named, [(1, [b"ONE"])])])
        self.start_scale(data, FAULT_IDENT)
        result = run_job(self.inst, job_string("KWUP;KWTAB[NAMD]", self.work("names")))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertNotIn("\x1b", result.stdout)
        self.assertIn("NAME?[2J?[H", result.stdout)
        log = read_file(os.path.join(self.work("names"), "Kwlink.log"))
        self.assertIn(b"NAME\\x1b[2J\\x1b[H", log)
        self.assertNotIn(b"\x1b", log)
        self.sims.pop().stop()

        # The identification is shown before it is checked (and refused: error 29).
        self.start_scale(None, ident)
        workdir = self.work("ident")
        result = run_job(self.inst, job_string("KWUP;KWTAB[DEPT]", workdir))
        self.assertFailedWithText(result.returncode, result.stderr, 29, workdir)
        for byte in "\x1b\x07\x7f":
            self.assertNotIn(byte, result.stdout)
        self.assertIn("KW?]0;x??SIM1", result.stdout)
        # In the log as "\x" and two lower-case hex digits; nothing below 20h but the line ends.
        log = read_file(os.path.join(workdir, "Kwlink.log"))
        self.assertIn(b"KW\\x1b]0;x\\x07\\x7fSIM1", log)
        self.assertEqual([b for b in log.replace(b"\r\n", b"") if b < 0x20 or b == 0x7F], [])

    def test_invalid_values_of_numbers_the_job_does_not_send_do_not_block_it(self):
        workdir = self.work()
        self.generic_backup("KWBACKUP[0,3]", workdir)
        path = os.path.join(workdir, "KEYB01.csv")
        lines = read_file(path).split(b"\r\n")
        fields = lines[2].split(b";")
        fields[1] = b"12,5"
        lines[2] = b";".join(fields)
        with open(os.path.join(workdir, "KEYB05.csv"), "wb") as f:
            f.write(b"\r\n".join(lines))
        sim = self.start_scale(None, GENERIC_IDENT)
        code, err = self.run_kw("KWRESTORE[0,3]", workdir)
        sim.stop()
        self.assertEqual(code, 0, err)
        self.assertNotIn(5, {number for number, _ in sim.stores()})

        sim = self.start_scale(None, GENERIC_IDENT)
        code, err = self.run_kw("KWRESTORE[0,5]", workdir)
        sim.stop()
        self.assertFailedWithText(code, err, 40, workdir)
        self.assertIn('Invalid value in table KEYB (number 05), key 1, column KART: "12,5"',
                      log_entries(os.path.join(workdir, "Kwlink.log")))

    def test_a_failed_end_request_still_logs_the_error_that_started_the_abort(self):
        self.start_scale(None, "SHORT", extra=["--no-ack"])
        workdir = self.work()
        code, err = self.run_kw("KWUP;KWTAB[DEPT]", workdir)
        self.assertFailedWithText(code, err, 24, workdir)
        entries = log_entries(os.path.join(workdir, "Kwlink.log"))
        abort = entries.index("Abort with Error")
        self.assertIn(self.texts[29], entries[:abort])


if __name__ == "__main__":
    unittest.main()
