"""CSV files as people make them (by hand, with a spreadsheet, from a merchandise system): what
the scale receives from each, and what a backup does with such a file lying in its directory.
Both programs (the Linux build and the Windows build under wine) run the same cases.

A test class mixes UserFileCases with a unittest.TestCase that provides what DataFaultCases
needs (start_scale, stop_scale, run_kw, work, texts; see data_fault_cases.py).
"""

import os
from collections import namedtuple

import scale_builder as sb
from data_fault_cases import GENERIC_IDENT, GENERIC_SAMPLE
from harness import log_entries, read_file, read_records, sample_path

ARTI, DEPT, SHOP = sb.sample.ARTICLES, sb.sample.DEPARTMENTS, sb.sample.SHOP
TDES_SIGN, ADES_SIGN, SALE_SIGN = 0x7E, 0x7F, sb.sample.SALES["bus"]
HEAD = b"DNUM;DNAM;DTAX;\r\nNUMBER;NAME;TAX;\r\n"
ARTI_HEAD = (b"ANUM;ANA1;ANA2;APRI;ATAR;AUNI;AEAN;ADAY;ASTP001;ASTP002;ATXT001;ATXT003;AGRP;\r\n"
             b"N;N;N;N;N;N;N;N;N;N;N;N;N;\r\n")


def dept(*rows):
    return {DEPT["bus"]: [(key, [name, tax]) for key, name, tax in rows]}


def arti(key, ean):
    return b"%d;Salt;;100;0;k;%s;3;20;30;2Line one;2Line three;1\r\n" % (key, ean)


# files: {name: bytes, or None for a directory of that name}; sent: {bus sign: [(key, values)]}
# that the scale receives (nothing when the job fails); error: the message number the job ends
# with (None: exit status 0); logged: texts that some log entry holds.
Case = namedtuple("Case", "point files job sent error logged")
SEND_CASES = [
    Case("1 no key column: the first line is key 1",
         {"DEPT.csv": b"DNAM;DTAX;\r\nNAME;TAX;\r\nMeat;7\r\nFish;8\r\nVeg;9\r\n"},
         "KWDOWN;KWTAB[DEPT]", dept((1, b"Meat", b"7"), (2, b"Fish", b"8"), (3, b"Veg", b"9")),
         None, []),
    Case("2 lower-case heading, an unknown column logged once",
         {"DEPT.csv": b"dnum;dnam;dtax;xtra;\r\nn;n;t;x;\r\n10;Meat;7;a\r\n20;Fish;8;b\r\n"},
         "KWDOWN;KWTAB[DEPT]", dept((10, b"Meat", b"7"), (20, b"Fish", b"8")), None,
         ['column 4 "xtra" names no attribute of table DEPT: its fields are ignored']),
    Case("3 no column of the table: error 40",
         {"DEPT.csv": b"NUMB;NAME;\r\nN;N;\r\n1;Meat\r\n"}, "KWDOWN;KWTAB[DEPT]", {}, 40,
         ["line 3: no column of the heading names an attribute of table DEPT"]),
    Case("4 fields a line leaves out are empty",
         {"DEPT.csv": HEAD + b"1;Meat;7\r\n2;Fish\r\n3\r\n"}, "KWDOWN;KWTAB[DEPT]",
         dept((1, b"Meat", b"7"), (2, b"Fish", b""), (3, b"", b"")), None, []),
    Case("5 an empty heading field is a column of no attribute",
         {"DEPT.csv": b"DNUM;;DTAX;DNAM;\r\nN;;T;N;\r\n1;5;7;Meat\r\n"}, "KWDOWN;KWTAB[DEPT]",
         dept((1, b"Meat", b"7")), None, ['column 2 "" names no attribute of table DEPT']),
    Case("6 the number of a heading picks the field",
         {"ARTI.csv": ARTI_HEAD + arti(5, b"4000417025005")}, "KWDOWN;KWTAB[ARTI]",
         {ARTI["bus"]: [(5, [b"Salt", b"", b"100", b"0", b"k", b"4000417025005", b"3",
                             [b"", b"20", b"30"], [b"2Line one", b"0", b"2Line three", b"0"],
                             b"1"])]}, None, []),
    Case("7 digit strings are checked",
         {"ARTI.csv": ARTI_HEAD + arti(1, b"4,01235E+12") + arti(2, b"40004170250051")
          + arti(3, b"-42")}, "KWDOWN;KWTAB[ARTI]", {}, 40,
         ['Invalid value in table ARTI, key 1, column AEAN: "4,01235E+12" (this looks like a '
          "number a spreadsheet rewrote: format that column as text)",
          'Invalid value in table ARTI, key 2, column AEAN: "40004170250051"',
          'Invalid value in table ARTI, key 3, column AEAN: "-42"']),
    Case("8 a file without its name line: error 40",
         {"DEPT.csv": b"DNUM;DNAM;DTAX\r\n1;Meat;7\r\n2;Fish;8\r\n"}, "KWDOWN;KWTAB[DEPT]", {},
         40, ["line 2 must be the name line"]),
    Case("9 a file that cannot be read: error 43", {"DEPT.csv": None}, "KWDOWN;KWTAB[DEPT]", {},
         43, ["DEPT.csv: the file cannot be read ("]),
    Case("10 UTF-8 without a byte-order mark",
         {"SHOP.csv": "SNAM;SADR001;SADR002;SCUR;\r\nN;A;A;C;\r\nKäse Müller;2Street 1;3Town;EUR"
          .encode("utf-8")}, "KWDOWN;KWTAB[SHOP]",
         {SHOP["bus"]: [(0, [b"K\xe4se M\xfcller", [b"2Street 1", b"3Town"], b"EUR"])]}, None, []),
    Case("11 a key on two lines, an unknown table in KWTAB",
         {"DEPT.csv": HEAD + b"1;Meat;7\r\n1;Fish;8\r\n"}, "KWDOWN;KWTAB[DEPT,XXXX]",
         dept((1, b"Fish", b"8")), None,
         ["line 4: key 1 of table DEPT was on an earlier line too: this line replaces that record",
          "KWTAB names the table XXXX, which this scale does not have"]),
    Case("11 an article range wholly above maxIndex sends no article",
         {"ARTI.csv": ARTI_HEAD + arti(5, b"1")}, "KWDOWN;KWARTICLE[1000000,2000000]", {}, None,
         ["The article range 1000000 - 2000000 lies wholly outside the article table's keys"]),
]

# Files with findings that a job sending them refuses, lying in a backup's directory for tables
# the backup does not fetch: each is kept byte for byte and named in the log, and the backup
# succeeds.
KEPT_FILES = {
    "ARTI.csv": ARTI_HEAD + arti(1, b"4,01235E+12"),
    "SHOP.csv": b"XNAM;\r\nN;\r\nx\r\n",
    "TEXT.csv": b"TNUM;TLIN001;TLIN002;\r\n1;2One;0\r\n",
    "CONF00.csv": None,
}


class UserFileCases:
    def write_files(self, workdir, files):
        os.makedirs(workdir, exist_ok=True)
        for name, content in files.items():
            if content is None:
                os.mkdir(os.path.join(workdir, name))
            else:
                with open(os.path.join(workdir, name), "wb") as f:
                    f.write(content)

    def assertLogged(self, workdir, texts):
        entries = log_entries(os.path.join(workdir, "Kwlink.log"))
        for text in texts:
            self.assertTrue(any(text in e for e in entries), "%r not in %r" % (text, entries))

    def learn_generic_descriptions(self):
        sim = self.start_scale(sample_path(GENERIC_SAMPLE), GENERIC_IDENT)
        code, err = self.run_kw("KWUP;KWTAB[DEPT]", self.work("descriptions"))
        self.assertEqual(code, 0, err)
        self.stop_scale(sim)

    def test_files_people_make_send_what_they_say_or_nothing(self):
        self.learn_generic_descriptions()
        for n, case in enumerate(SEND_CASES):
            with self.subTest(point=case.point):
                workdir = self.work("case%d" % n)
                self.write_files(workdir, case.files)
                sim = self.start_scale(None, GENERIC_IDENT)
                code, err = self.run_kw(case.job, workdir)
                self.stop_scale(sim)
                if case.error is None:
                    self.assertEqual(code, 0, err)
                else:
                    self.assertEqual(code, 1, err)
                    self.assertEqual(read_file(os.path.join(workdir, "Kwlink.Err"))
                                     .decode("latin-1"), self.texts[case.error])
                table = {t["bus"]: t for t in (ARTI, DEPT, SHOP)}
                expected = {(1, sign): [sb.record_bytes(table[sign], key, values)
                                        for key, values in rows]
                            for sign, rows in case.sent.items()}
                self.assertEqual(sim.stores(), expected)
                self.assertLogged(workdir, case.logged)

    def test_a_backup_keeps_files_it_would_refuse_to_send(self):
        workdir = self.work("kept")
        self.write_files(workdir, KEPT_FILES)
        sim = self.start_scale(sample_path(GENERIC_SAMPLE), GENERIC_IDENT)
        code, err = self.run_kw("KWUP;KWTAB[DEPT]", workdir)
        self.stop_scale(sim)
        self.assertEqual(code, 0, err)
        for name, content in KEPT_FILES.items():
            path = os.path.join(workdir, name)
            if content is None:
                self.assertTrue(os.path.isdir(path))
            else:
                self.assertEqual(read_file(path), content, name)
        self.assertLogged(workdir, [
            "Files of table %s kept as they are" % t for t in ("ARTI", "SHOP", "TEXT", "CONF")]
            + ["TEXT.csv, line 2: holds the key 1: line 2 must be the name line",
               "CONF00.csv: the file cannot be read ("])

    def test_a_spreadsheet_round_trip_gives_the_scale_back_every_record(self):
        """Every file of a backup saved again as a spreadsheet does: UTF-8 without a mark,
        the heading in lower case, the second column moved to the end, empty fields at the end
        of a line cut off."""
        workdir = self.work("sheet")
        sim = self.start_scale(sample_path(GENERIC_SAMPLE), GENERIC_IDENT)
        code, err = self.run_kw("KWBACKUP[0,3]", workdir)
        self.stop_scale(sim)
        self.assertEqual(code, 0, err)
        multi_byte = False
        for name in os.listdir(workdir):
            if not name.endswith(".csv"):
                continue
            path = os.path.join(workdir, name)
            lines = read_file(path).decode("cp1252").split("\r\n")[:-1]
            rows = [line.split(";") for line in lines]
            width = len(rows[0]) - 1  # the heading lines end with ";"
            rows = [r[:width] + [""] * (width - len(r)) for r in rows]
            if width > 2:
                rows = [r[:1] + r[2:] + r[1:2] for r in rows]
            rows[0] = [f.lower() for f in rows[0]]
            text = "\n".join(";".join(r).rstrip(";") for r in rows) + "\n"
            multi_byte = multi_byte or text != text.encode("ascii", "ignore").decode()
            with open(path, "wb") as f:
                f.write(text.encode("utf-8"))
        self.assertTrue(multi_byte)

        empty = self.start_scale(None, GENERIC_IDENT)
        code, err = self.run_kw("KWRESTORE[0,3]", workdir)
        self.stop_scale(empty)
        self.assertEqual(code, 0, err)
        original = read_records(sample_path(GENERIC_SAMPLE))
        self.assertEqual(empty.stores(), {k: v for k, v in original.items()
                                          if k[1] not in (TDES_SIGN, ADES_SIGN, SALE_SIGN)})
