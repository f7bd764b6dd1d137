"""Data files for the simulated scale, made from a description of the scale's tables.

The tables and the record bytes come from data/samples/make_sample_data.py, whose value
coding is written from the wire rules and shares no code with the program's codec."""

import os
import sys

from harness import ROOT

sys.path.insert(0, os.path.join(ROOT, "data", "samples"))
import make_sample_data as sample  # noqa: E402

attr = sample.attr
table = sample.table
record_bytes = sample.record_bytes
TDES, ADES = sample.TDES, sample.ADES


def meta_records(tables, with_meta_rows=True):
    """The TDES and ADES records describing `tables` (and, by default, TDES and ADES)."""
    described = ([TDES, ADES] if with_meta_rows else []) + tables
    tdes, ades = [], []
    for t in described:
        values = [t["sign"].encode("latin-1"), b"%X" % t["bus"], b"%d" % t["type"],
                  t["name"].encode("latin-1"), t["tima"].encode()]
        tdes.append(record_bytes(TDES, len(tdes) + 1, values))
    for t in [TDES, ADES] + tables:
        for a in t["attrs"]:
            ades.append(record_bytes(ADES, len(ades) + 1, [
                t["sign"].encode("latin-1"), a["sign"].encode("latin-1"), b"%X" % a["bus"],
                b"%X" % a["atnb"], b"%X" % a["flags"], a["name"].encode("latin-1")]))
    return tdes, ades


def data_tables(scale_number, tables, records, with_meta_rows=True):
    """{(number, sign): [record bytes]} as read_records gives it: the meta-tables under the
    scale's number, then `records` ([(number, table, [(key, values)])]), coded."""
    out = {}
    tdes, ades = meta_records(tables, with_meta_rows)
    out[(scale_number, TDES["bus"])] = tdes
    out[(scale_number, ADES["bus"])] = ades
    for number, t, rows in records:
        out.setdefault((number, t["bus"]), []).extend(
            record_bytes(t, key, values) for key, values in rows)
    return out


def write_scale(path, scale_number, tables, records, with_meta_rows=True):
    """Writes the simulator's data file; returns what it holds as data_tables gives it."""
    content = data_tables(scale_number, tables, records, with_meta_rows)
    with open(path, "wb") as f:
        for (number, sign), rows in content.items():
            f.write(b"table %d %02X\n" % (number, sign))
            for row in rows:
                f.write(b"record " + sample.escape(row) + b"\n")
    return content
