"""Sending only what changed (KWCHANGED): what the scale receives, and that what the program
keeps of what the scale holds is never more than the scale took. Both programs (the Linux
build and the Windows build under wine) run the same cases.

A test class mixes ChangedRecordCases with a unittest.TestCase that provides what
DataFaultCases needs (start_scale, stop_scale, run_kw, work, texts; see data_fault_cases.py).
"""

import os
import shutil

import scale_builder as sb
from harness import log_entries, read_file, unescape

PRCS = sb.table("PRCS", 0x44, 2, "PRICES", "FFFF", [
    sb.attr("PNUM", 0x61, 8, 2, "NUMBER"),
    sb.attr("PNAM", 0x62, 5, 12, "NAME"),
    sb.attr("PPRI", 0x63, 1, 4, "PRICE", flags=0x100),
])
IDENT, OTHER_IDENT = "KWSIM-CHG-01", "KWSIM-CHG-02"
ALL = list(range(1, 21))
BASE = {k: (b"ITEM %d" % k, b"%d" % (100 + k)) for k in ALL}
# Three prices changed and one article added.
CHANGED = {**BASE, 3: (b"ITEM 3", b"999"), 8: (b"ITEM 8", b"1"), 15: (b"ITEM 15", b"0"),
           21: (b"NEW", b"5")}
# The price of article 5 as changed at the scale by another program.
AT_SCALE = {5: (b"ITEM 5", b"777")}
SEND, CHANGES, FETCH = "KWDOWN;KWTAB[PRCS]", "KWDOWN;KWTAB[PRCS];KWCHANGED", "KWUP;KWTAB[PRCS]"
EVERYTHING = "every record is sent"


def held_file(number, ident=IDENT):
    return "Kwlink-%02d-%s.held" % (number, ident)


# Each case is a list of steps, run in order:
#   ("scale", ident, number, options)    a new scale without records replaces the one before
#   ("file", rows, dir)                  PRCS.csv of working directory `dir` holds `rows`
#   ("job", job, dir, error, sent)       the job ends with `error` (None: exit status 0) and
#                                        the scale receives exactly the records of the keys
#                                        `sent`, in this order
#   ("logged", text, dir)                an entry of the directory's log holds `text`
#   ("copy", name, name, dir)            a file of the directory copied to another name
#   ("mkdir", name, dir)                 a directory of that name made there
#   ("holds", rows)                      the scale holds just these records (each key's last)
# Directories are named per case; a step's last field names its directory.
CASES = [
    ("3 prices changed and one article added: just those 4 go", [
        ("scale", IDENT, 1, []), ("file", BASE, "w"), ("job", SEND, "w", None, ALL),
        ("file", CHANGED, "w"), ("job", CHANGES, "w", None, [3, 8, 15, 21]),
        ("logged", "PRCS: 4 of 21 records changed, 17 unchanged not sent", "w"),
        ("holds", CHANGED, "w"),
        ("job", CHANGES, "w", None, []),
        ("logged", "PRCS: 0 of 21 records changed, 21 unchanged not sent", "w")]),
    ("the scale stops acknowledging in the middle: the records it did not take go next time", [
        ("scale", IDENT, 1, ["--ack-stores", "7"]), ("file", BASE, "w"),
        ("job", CHANGES, "w", 24, ALL[:7]), ("job", CHANGES, "w", None, ALL[7:]),
        ("holds", BASE, "w")]),
    ("a scale with another identification gets everything", [
        ("scale", IDENT, 1, []), ("file", BASE, "w"), ("job", SEND, "w", None, ALL),
        ("scale", OTHER_IDENT, 1, []), ("job", CHANGES, "w", None, ALL),
        ("logged", "Nothing is known of what this scale holds", "w")]),
    ("a file of another scale number is not used", [
        ("scale", IDENT, 2, []), ("file", BASE, "w"), ("job", SEND, "w", None, ALL),
        ("copy", held_file(2), held_file(1), "w"),
        ("scale", IDENT, 1, []), ("job", CHANGES, "w", None, ALL),
        ("logged", "was written for the scale [02] %s: not used: %s" % (IDENT, EVERYTHING), "w")]),
    ("a fetch refreshes what is known: a value changed at the scale goes again", [
        ("scale", IDENT, 1, []), ("file", BASE, "w"), ("job", SEND, "w", None, ALL),
        ("file", AT_SCALE, "x"), ("job", SEND, "x", None, [5]),
        ("job", FETCH, "w", None, []), ("file", BASE, "w"),
        ("job", CHANGES, "w", None, [5]), ("holds", BASE, "w")]),
    ("a file of what the scale holds that cannot be replaced stops the job before it sends", [
        ("scale", IDENT, 1, []), ("file", BASE, "w"), ("mkdir", held_file(1), "w"),
        ("job", SEND, "w", 38, [])]),
]


def prcs_csv(rows):
    lines = [b"PNUM;PNAM;PPRI;", b"NUMBER;NAME;PRICE;"]
    lines += [b"%d;%s;%s" % (key, name, price) for key, (name, price) in sorted(rows.items())]
    return b"\r\n".join(lines) + b"\r\n"


def record(key, row):
    return sb.record_bytes(PRCS, key, list(row))


class ChangedRecordCases:
    def scale_for_changes(self, n, ident, number, options):
        data = os.path.join(self.work("data"), "%s-%s-%d.txt" % (n, ident, number))
        os.makedirs(os.path.dirname(data), exist_ok=True)
        sb.write_scale(data, number, [PRCS], [])
        return self.start_scale(data, ident, ["--scale", str(number)] + options)

    def write_prices(self, workdir, rows):
        os.makedirs(workdir, exist_ok=True)
        with open(os.path.join(workdir, "PRCS.csv"), "wb") as f:
            f.write(prcs_csv(rows))

    def store_lines(self, sim):
        return [l for l in sim.lines() if l.startswith("store ")]

    def stored_records(self, lines):
        """The records of PRCS in store lines, in order."""
        out = []
        for line in lines:
            _, number, sign, data = line.split(" ", 3)
            self.assertEqual(int(sign, 16), PRCS["bus"], line)
            out.append(unescape(data))
        return out

    def keys_of(self, records):
        """Each record's key, found among every record the cases make (never decoded)."""
        known = {}
        for rows in (BASE, CHANGED, AT_SCALE):
            for key, row in rows.items():
                known[record(key, row)] = key
        return [known.get(r, r) for r in records]

    def run_changed_case(self, n, steps):
        sim = None
        files = {}
        for step in steps:
            what = step[0]
            if what == "scale":
                if sim is not None:
                    self.stop_scale(sim)
                sim = self.scale_for_changes(n, step[1], step[2], step[3])
                continue
            workdir = self.work("c%d-%s" % (n, step[-1] if what != "job" else step[2]))
            if what == "file":
                files[workdir] = step[1]
                self.write_prices(workdir, step[1])
            elif what == "job":
                _, job, _, error, sent = step
                before = len(self.store_lines(sim))
                code, err = self.run_kw(job, workdir)
                if error is None:
                    self.assertEqual(code, 0, err)
                else:
                    self.assertEqual(code, 1, err)
                    self.assertEqual(read_file(os.path.join(workdir, "Kwlink.Err")),
                                     self.texts[error].encode("latin-1"))
                got = self.stored_records(self.store_lines(sim)[before:])
                self.assertEqual(self.keys_of(got), sent, job)
                self.assertEqual(got, [record(k, files[workdir][k]) for k in sent])
            elif what == "logged":
                entries = log_entries(os.path.join(workdir, "Kwlink.log"))
                self.assertTrue(any(step[1] in e for e in entries), (step[1], entries))
            elif what == "mkdir":
                os.makedirs(os.path.join(workdir, step[1]))
            elif what == "copy":
                shutil.copy(os.path.join(workdir, step[1]), os.path.join(workdir, step[2]))
            elif what == "holds":
                stored = self.stored_records(self.store_lines(sim))
                self.assertEqual(dict(zip(self.keys_of(stored), stored)),
                                 {k: record(k, row) for k, row in step[1].items()})
        self.stop_scale(sim)

    def test_only_what_changed_is_sent_and_never_less_than_the_scale_lacks(self):
        for n, (name, steps) in enumerate(CASES):
            with self.subTest(case=name):
                self.run_changed_case(n, steps)
