"""Jobs that once lost, corrupted or misplaced records and still ended with exit status 0: the
cases that both programs (the Linux build and the Windows build under wine) must get right.

A test class mixes DataFaultCases with a unittest.TestCase that provides:
  start_scale(data_file, ident, extra=())
                                 starts the simulated scale (data_file None: one without
                                 records; extra: its options) and returns the Simulator
  stop_scale(sim)                stops it
  run_kw(job, workdir)           runs the job string `job` with KWDIR[<workdir>] as its second
                                 token (job_string), returns (code, stderr)
  work(name)                     a fresh working directory path
  texts                          the message texts by number
"""

import os

import scale_builder as sb
from harness import csv_rows, log_entries, read_file, read_records, sample_path, table_signs

GENERIC_SAMPLE = "generic_scale.txt"
GENERIC_IDENT = "KWSIM-GEN-01"
FAULT_IDENT = "KWSIM-FLT-01"

# Configuration tables of every kind, kept in one file (types 1, 2, 3) or per number (4, 5).
CFGS = sb.table("CFGS", 0x90, 1, "SINGLE SETTINGS", "", [
    sb.attr("SLBL", 0x61, 5, 10, "LABEL"),
    sb.attr("SCHR", 0x62, 3, 2, "MODE", size=1),
    sb.attr("SDIG", 0x63, 9, 8, "CODE", size=2),
])
CFGK = sb.table("CFGK", 0x91, 2, "KEYED SETTINGS", "9999", [
    sb.attr("KNUM", 0x61, 10, 4, "NUMBER", size=1),
    sb.attr("KTXT", 0x62, 5, 12, "TEXT"),
    sb.attr("KEAN", 0x63, 9, 13, "EAN", size=1),
])
CFGA = sb.table("CFGA", 0x92, 3, "ARTICLE SETTINGS", "FFFF", [
    sb.attr("ANUM", 0x61, 8, 2, "NUMBER"),
    sb.attr("AUNI", 0x62, 3, 1, "UNIT", size=1),
    sb.attr("APRI", 0x63, 1, 4, "PRICE", flags=0x100),
])
CONF = sb.table("CONF", 0x93, 4, "SCALE SETTINGS", "", [
    sb.attr("CDIV", 0x61, 0, 2, "DIVISION"),
    sb.attr("CDIG", 0x62, 9, 6, "SERIAL", size=3),
])
CKEY = sb.table("CKEY", 0x94, 5, "PRESET KEYS", "99999", [
    sb.attr("PNUM", 0x61, 7, 3, "KEY NUMBER"),
    sb.attr("PTXT", 0x62, 6, 12, "KEY TEXT"),
])
# Key, digit string and character with a size digit in ATNB: one column each.
DIGS = sb.table("DIGS", 0x42, 2, "DIGIT STRINGS", "9999", [
    sb.attr("DNUM", 0x61, 10, 4, "NUMBER", size=1),
    sb.attr("DEAN", 0x62, 9, 4, "EAN", size=1),
    sb.attr("DCHR", 0x63, 3, 2, "CHAR", size=1),
    sb.attr("DTXT", 0x64, 5, 10, "TEXT"),
])
# Binary numbers of two to eight bytes.
BINS = sb.table("BINS", 0x46, 2, "BINARY NUMBERS", "FF", [
    sb.attr("BNUM", 0x61, 8, 1, "NUMBER"),
    sb.attr("BTWO", 0x62, 1, 2, "TWO BYTES", flags=0x100),
    sb.attr("BFOU", 0x63, 1, 4, "FOUR BYTES", flags=0x100),
    sb.attr("BSIX", 0x64, 1, 6, "SIX BYTES", flags=0x100),
    sb.attr("BEIG", 0x65, 1, 8, "EIGHT BYTES", flags=0x100),
])
TAXS = sb.table("TAXS", 0x47, 2, "TAX NAMES", "FF", [
    sb.attr("TNUM", 0x61, 8, 1, "NUMBER"),
    sb.attr("TNAM", 0x62, 5, 20, "NAME"),
    sb.attr("TTAX", 0x63, 1, 1, "TAX"),
])
DIGS_ROWS = [(1, DIGS, [(1, [b"42", b"X", b"FIRST"])])]
UNREADABLE = ': the value holds ";", CR or LF and cannot be read back as written'

# Values from the scale that a backup must keep, or else refuse to call a backup. Each case: the
# scale's tables and records, its options, the job and the error it ends with (None: exit 0 and
# the marker file), the files it leaves (data rows, or the exact bytes), log entries, texts
# that exactly one log entry holds, and restores of the files into a scale without records:
# (edits {(file, key, column): text}, error, log entries); a restore without error must give
# the scale every fetched record back byte for byte.
VALUE_CASES = [
    dict(name="binary numbers of 2 to 8 bytes", tables=[BINS], records=[(1, BINS, [
        (1, [b"65535", b"4294967291", b"1108152157446", b"18446744073709551615"]),
        (2, [b"0", b"5", b"3000000000", b"9223372036854775808"]),
        (3, [b"300", b"2147483648", b"4294967296", b"1"])])],
        job="KWUP;KWTAB[BINS]", error=None,
        files={"BINS.csv": [["1", "65535", "-5", "1108152157446", "18446744073709551615"],
                            ["2", "0", "5", "3000000000", "9223372036854775808"],
                            ["3", "300", "-2147483648", "4294967296", "1"]]},
        # 010203040506h, low byte first, each byte + 20h.
        group=b"\x64\x26\x25\x24\x23\x22\x21\x17",
        restores=[({}, None, []),
                  ({("BINS.csv", "1", "BTWO"): "65536",
                    ("BINS.csv", "2", "BSIX"): "281474976710656",
                    ("BINS.csv", "3", "BEIG"): "18446744073709551616"}, 40,
                   ['Invalid value in table BINS, key 1, column BTWO: "65536"',
                    'Invalid value in table BINS, key 2, column BSIX: "281474976710656"',
                    'Invalid value in table BINS, key 3, column BEIG: "18446744073709551616"'])]),
    dict(name='texts holding ";", CR or LF', tables=[TAXS, DIGS], records=[(1, TAXS, [
        (1, [b"Salt;Pepper", b"7"]), (2, [b"Two\r\nLines", b"8"]), (3, [b"Plain", b"9"])])]
        + DIGS_ROWS, job="KWBACKUP[0,0]", error=38,
        files={"TAXS.csv": b"TNUM;TNAM;TTAX;\r\nNUMBER;NAME;TAX;\r\n1;Salt;Pepper;7\r\n"
                           b"2;Two\r\nLines;8\r\n3;Plain;9\r\n",
               "DIGS.csv": [["1", "42", "X", "FIRST"]]},
        log=["TAXS: key 1, column TNAM" + UNREADABLE, "TAXS: key 2, column TNAM" + UNREADABLE,
             'Files of table TAXS written as fetched, not read back: a value holds ";", CR or '
             'LF']),
    dict(name="replies of an unknown kind", tables=[DIGS], records=DIGS_ROWS,
         sim=["--w-reply", "9"], job="KWUP;KWTAB[DIGS]", error=42,
         once=["the job does not know", "Table TDES: given up after 10 replies the job does not know, "
               "the last: w9\\x03"]),
]


def edit_csv(path, key, column, text):
    """Sets the field `column` (a heading) of the data line with key `key` to `text`."""
    lines = read_file(path).decode("latin-1").split("\r\n")
    index = lines[0].split(";").index(column)
    for n, line in enumerate(lines[2:], 2):
        fields = line.split(";")
        if fields[0] == key:
            fields[index] = text
            lines[n] = ";".join(fields)
    with open(path, "wb") as f:
        f.write("\r\n".join(lines).encode("latin-1"))


def job_string(job, workdir):
    """The job string `job` ("KWUP;KWTAB[DEPT]") with KWDIR as its second token."""
    first, _, rest = job.partition(";")
    return first + ";KWDIR[%s]" % workdir + (";" + rest if rest else "")


class DataFaultCases:
    """Each test fails on the program as it was before these faults were mended."""

    def fault_scale(self, tables, records, name="scale.txt", with_meta_rows=True):
        path = os.path.join(self.work("data"), name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        return path, sb.write_scale(path, 1, tables, records, with_meta_rows)

    def generic_backup(self, job, workdir):
        sim = self.start_scale(sample_path(GENERIC_SAMPLE), GENERIC_IDENT)
        code, err = self.run_kw(job, workdir)
        self.assertEqual(code, 0, err)
        self.stop_scale(sim)

    def assertFailedWithText(self, code, err, number, workdir):
        self.assertEqual(code, 1, err)
        self.assertEqual(read_file(os.path.join(workdir, "Kwlink.Err")).decode("latin-1"),
                         self.texts[number])

    def assertEnded(self, code, err, number, workdir):
        if number is None:
            self.assertEqual(code, 0, err)
        else:
            self.assertFailedWithText(code, err, number, workdir)

    def test_values_from_the_scale_come_back_byte_for_byte_or_end_the_job(self):
        for n, case in enumerate(VALUE_CASES):
            with self.subTest(case=case["name"]):
                ident = "KWSIM-VAL-%02d" % n
                data, content = self.fault_scale(case["tables"], case["records"],
                                                 "values%d.txt" % n)
                sim = self.start_scale(data, ident, case.get("sim", ()))
                workdir = self.work("values%d" % n)
                code, err = self.run_kw(case["job"], workdir)
                self.stop_scale(sim)
                self.assertEnded(code, err, case["error"], workdir)
                self.assertEqual(os.path.exists(workdir + ".sca"), case["error"] is None)
                for name, expected in case.get("files", {}).items():
                    path = os.path.join(workdir, name)
                    if isinstance(expected, bytes):
                        self.assertEqual(read_file(path), expected)
                    else:
                        self.assertEqual(csv_rows(path), expected)
                entries = log_entries(os.path.join(workdir, "Kwlink.log"))
                for entry in case.get("log", ()):
                    self.assertIn(entry, entries)
                for text in case.get("once", ()):
                    self.assertEqual(len([e for e in entries if text in e]), 1, entries)

                for edits, error, logged in case.get("restores", ()):
                    for (name, key, column), text in edits.items():
                        edit_csv(os.path.join(workdir, name), key, column, text)
                    empty = self.start_scale(None, ident)
                    code, err = self.run_kw(case["job"].replace("KWUP", "KWDOWN"), workdir)
                    self.stop_scale(empty)
                    self.assertEnded(code, err, error, workdir)
                    if error is None:
                        sent = {k: v for k, v in content.items() if k[1] < 0x7E}
                        self.assertEqual(empty.stores(), sent)
                        self.assertTrue(any(case["group"] in r for r in sum(sent.values(), [])))
                    else:
                        self.assertEqual(empty.stores(), {})
                    entries = log_entries(os.path.join(workdir, "Kwlink.log"))
                    for entry in logged:
                        self.assertIn(entry, entries)

    def test_configuration_tables_land_in_their_files_and_only_numbers_to_10_get_one(self):
        data, _ = self.fault_scale([CFGS, CFGK, CONF], [
            (1, CFGS, [(0, [b"LBL1", b"A", b"1234"])]),
            (1, CFGK, [(1, [b"ONE", b"4000417025005"]), (2, [b"TWO", b"1"])]),
            (9, CONF, [(0, [b"5", b"77"])]),
        ])
        sim = self.start_scale(data, FAULT_IDENT)
        workdir = self.work("backup")
        code, err = self.run_kw("KWBACKUP[0,3]", workdir)
        self.assertEqual(code, 0, err)
        names = sorted(n for n in os.listdir(workdir) if n.startswith("CFG"))
        # Tables of types 1 to 3 keep every number's records in the one file 00; a number
        # without records neither empties it nor gets a file of its own.
        self.assertEqual(names, ["CFGK00.csv", "CFGS00.csv"])
        self.assertEqual(csv_rows(os.path.join(workdir, "CFGK00.csv")),
                         [["1", "ONE", "4000417025005"], ["2", "TWO", "1"]])
        self.assertEqual(csv_rows(os.path.join(workdir, "CFGS00.csv")), [["LBL1", "A", "1234"]])

        workdir = self.work("numbers")
        code, err = self.run_kw("KWUP;KWCONF[9,12]", workdir)
        self.assertEqual(code, 0, err)
        self.stop_scale(sim)
        conf = sorted(n for n in os.listdir(workdir) if n.startswith("CONF"))
        self.assertEqual(conf, ["CONF09.csv", "CONF10.csv"])
        self.assertEqual(csv_rows(os.path.join(workdir, "CONF09.csv")), [["5", "77"]])
        self.assertEqual(csv_rows(os.path.join(workdir, "CONF10.csv")), [])

    def test_key_digit_string_and_character_with_a_size_digit_keep_their_columns(self):
        records = [(1, DIGS, [(1, [b"42", b"X", b"FIRST"]), (9999, [b"1234", b"Y", b"LAST"])])]
        data, content = self.fault_scale([DIGS], records)
        sim = self.start_scale(data, FAULT_IDENT)
        workdir = self.work()
        code, err = self.run_kw("KWUP;KWTAB[DIGS]", workdir)
        self.assertEqual(code, 0, err)
        self.stop_scale(sim)
        path = os.path.join(workdir, "DIGS.csv")
        self.assertEqual(read_file(path).split(b"\r\n")[0], b"DNUM;DEAN;DCHR;DTXT;")
        self.assertEqual(csv_rows(path), [["1", "42", "X", "FIRST"], ["9999", "1234", "Y", "LAST"]])

        empty = self.start_scale(None, FAULT_IDENT)
        code, err = self.run_kw("KWDOWN;KWTAB[DIGS]", workdir)
        self.assertEqual(code, 0, err)
        self.stop_scale(empty)
        self.assertEqual(empty.stores(), {(1, DIGS["bus"]): content[(1, DIGS["bus"])]})

    def test_key_fields_are_checked_before_anything_is_sent(self):
        workdir = self.work()
        self.generic_backup("KWUP;KWTAB[DEPT]", workdir)
        path = os.path.join(workdir, "DEPT.csv")
        lines = read_file(path).split(b"\r\n")
        bad_keys = [b"2,5", b"abc", b"-1", b"256"]
        for i, key in enumerate(bad_keys):
            fields = lines[2 + i].split(b";")
            fields[0] = key
            lines[2 + i] = b";".join(fields)
        with open(path, "wb") as f:
            f.write(b"\r\n".join(lines))
        sim = self.start_scale(None, GENERIC_IDENT)
        code, err = self.run_kw("KWDOWN;KWTAB[DEPT]", workdir)
        self.stop_scale(sim)
        self.assertFailedWithText(code, err, 40, workdir)
        self.assertEqual(sim.stores(), {})
        entries = log_entries(os.path.join(workdir, "Kwlink.log"))
        for key in bad_keys:
            self.assertIn('Invalid key in table DEPT, column DNUM: "%s"' % key.decode(), entries)

    def test_a_table_named_in_the_table_list_is_sent_the_article_table_too(self):
        workdir = self.work()
        self.generic_backup("KWUP;KWTAB[ARTI]", workdir)
        arti = table_signs(os.path.join(workdir, "TDES.csv"))["ARTI"]
        original = read_records(sample_path(GENERIC_SAMPLE))[(1, arti)]

        sim = self.start_scale(None, GENERIC_IDENT)
        code, err = self.run_kw("KWDOWN;KWTAB[ARTI]", workdir)
        self.stop_scale(sim)
        self.assertEqual(code, 0, err)
        self.assertEqual(sim.stores(), {(1, arti): original})

        # KWARTICLE still narrows the range of the article table.
        sim = self.start_scale(None, GENERIC_IDENT)
        code, err = self.run_kw("KWDOWN;KWTAB[ARTI];KWARTICLE[2,300]", workdir)
        self.stop_scale(sim)
        self.assertEqual(code, 0, err)
        self.assertEqual(sim.stores(), {(1, arti): original[1:4]})

        # Without its file the named table has nothing to send: error 39, not success.
        os.remove(os.path.join(workdir, "ARTI.csv"))
        sim = self.start_scale(None, GENERIC_IDENT)
        code, err = self.run_kw("KWDOWN;KWTAB[ARTI]", workdir)
        self.stop_scale(sim)
        self.assertFailedWithText(code, err, 39, workdir)

    def test_backup_and_restore_give_every_configuration_record_back_byte_for_byte(self):
        tables = [CFGS, CFGK, CFGA, CONF, CKEY]
        data, content = self.fault_scale(tables, [
            (1, CFGS, [(0, [b"LBL1", b"A", b"1234"])]),
            (0, CFGK, [(1, [b"ONE", b"4000417025005"]), (9999, [b"LAST", b"20170000"])]),
            (2, CFGK, [(5, [b"FIVE", b"7"])]),
            (3, CFGA, [(1, [b"k", b"249"]), (65535, [b"g", b"1899"])]),
            (0, CONF, [(0, [b"5", b"123456"])]),
            (2, CONF, [(0, [b"2", b"42"])]),
            (3, CONF, [(0, [b"1F", b"0"])]),
            (1, CKEY, [(1, [b"APPLES"]), (65535, [b"LAST KEY"])]),
            (3, CKEY, [(1, [b"HAM"]), (500, [b"CHEESE"]), (65535, [b"BREAD"])]),
        ])
        sim = self.start_scale(data, FAULT_IDENT)
        workdir = self.work()
        code, err = self.run_kw("KWBACKUP[0,3]", workdir)
        self.assertEqual(code, 0, err)
        self.stop_scale(sim)

        empty = self.start_scale(None, FAULT_IDENT)
        code, err = self.run_kw("KWRESTORE[0,3]", workdir)
        self.assertEqual(code, 0, err)
        self.stop_scale(empty)

        def records(number, t):
            return content.get((number, t["bus"]), [])

        expected = {}
        for number in range(4):
            # One store for every number: the job sends it under each number of its range.
            expected[(number, CFGS["bus"])] = records(1, CFGS)
            expected[(number, CFGK["bus"])] = [records(0, CFGK)[0], records(2, CFGK)[0],
                                               records(0, CFGK)[1]]
            expected[(number, CFGA["bus"])] = records(3, CFGA)
            for t in (CONF, CKEY):
                if records(number, t):
                    expected[(number, t["bus"])] = records(number, t)
        self.assertEqual(empty.stores(), expected)
