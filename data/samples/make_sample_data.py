#!/usr/bin/env python3
"""Writes the installed description directories (data/109SCALE700/, data/109SCALE701/) and the
record sets of the simulated scale (data/samples/*.txt).

The scale models are described here once; the TDES/ADES CSV files and the raw records are both
produced from that description. The record bytes are coded by this script itself, from the
wire rules (byte coding, packed/shifted/binary digits, texts with terminator, text lines, raw
digit strings and four-digit keys); it shares no code with the program's codec, so that a
fault there cannot cancel itself out in a backup followed by a restore.

Every record is in the coded normal form: attributes in layout order, digit values without
leading zero bytes, digit strings padded to their width, text lines starting with a format
digit. Texts that go through the character translation (types 4 and 6) are plain ASCII, which
the translation keeps as it is.

Run from the repository root: python3 data/samples/make_sample_data.py
"""

import os
import sys

ETB, ETX, RS = 0x17, 0x03, 0x1E

# ---- the value coding ----


def code_byte(b):
    """One byte value as the scale receives it: 0..222 -> b + 20h; above, FFh and two nibbles."""
    if b <= 222:
        return bytes([b + 0x20])
    return bytes([0xFF, (b >> 4) + 0x20, (b & 0x0F) + 0x20])


def digit_bytes(digits, shifted=False):
    """Hex/BCD digits, two per byte, least significant pair first; shifted adds a 0 digit."""
    digits = digits.replace(" ", "")
    if digits == "":
        return b""
    if shifted:
        digits += "0"
    values = [int(c, 16) for c in digits]
    out = b""
    i = len(values)
    while i > 0:
        low = values[i - 1]
        high = values[i - 2] if i >= 2 else 0
        out += code_byte(high * 16 + low)
        i -= 2
    return out


def text_bytes(text):
    """A text (bytes in Windows-1252), each character coded, then the coded 0 terminator."""
    if text == b"":
        return b""
    return b"".join(code_byte(c) for c in text) + code_byte(0)


def value_group(attr, value, key):
    sign = bytes([attr["bus"]])
    t = attr["type"]
    flags = attr["flags"]
    if t in (7, 8, 10):
        if t == 7:
            body = digit_bytes(str(key))
        elif t == 8:
            body = digit_bytes("%X" % key)
        else:
            body = ("%04d" % key).encode()
        return [sign + body]
    if t == 3:
        return [sign + value]
    if t == 9:
        return [sign + value.rjust(attr["bytes"], b"0")]
    if t == 4:
        groups = []
        for i, line in enumerate(value):
            assert line[:1] in [b"%d" % d for d in range(9)], line
            groups.append(sign + bytes([0x31 + i]) + line)
        return groups
    fields = value if attr["fields"] > 1 else [value]
    coded = []
    for field in fields:
        if t in (0, 1) and not (flags & 0x100):
            assert field == field.lstrip(b"0") or field == b"0", field
            coded.append(digit_bytes(field.decode()))
        elif t == 1:
            coded.append(digit_bytes("%X" % int(field)))
        elif t == 2:
            coded.append(digit_bytes(field.decode(), shifted=True))
        else:
            coded.append(text_bytes(field))
    if attr["fields"] > 1:
        return [sign + b"".join(c + bytes([RS]) for c in coded)]
    return [sign + coded[0]]


def record_bytes(table, key, values):
    """busSign, ETB, the groups each ended by ETB, the last ETB left off (the reply's ETX)."""
    groups = []
    it = iter(values)
    for attr in table["attrs"]:
        if attr["type"] in (7, 8, 10):
            groups += value_group(attr, None, key)
        else:
            groups += value_group(attr, next(it), key)
    return bytes([table["bus"], ETB]) + bytes([ETB]).join(groups)


# ---- descriptions ----


def attr(sign, bus, type_, byte_count, name, fields=1, flags=0, size=None):
    """An attribute; size is the ATNB field size digit (defaults from the field count)."""
    if type_ in (7, 8):
        fields = 0
    if size is None:
        size = 0 if fields <= 1 else (fields if type_ == 4 else byte_count // fields)
    return {
        "sign": sign, "bus": bus, "type": type_, "bytes": byte_count, "name": name,
        "fields": fields, "flags": flags | type_, "atnb": (size << 12) | byte_count,
    }


def table(sign, bus, type_, name, tima, attrs):
    return {"sign": sign, "bus": bus, "type": type_, "name": name, "tima": tima, "attrs": attrs}


TDES = table("TDES", 0x7E, 2, "TABLE-DESCRIPTION", "FFFF", [
    attr("TANU", 0x61, 8, 2, "INDEX"),
    attr("TFSG", 0x62, 5, 4, "CSV FILE"),
    attr("TBSG", 0x63, 1, 1, "BUS SIGN"),
    attr("TATY", 0x64, 1, 1, "TABLE TYPE"),
    attr("TANE", 0x65, 5, 25, "TABLE NAME"),
    attr("TIMA", 0x66, 1, 2, "MAX INDEX"),
])
ADES = table("ADES", 0x7F, 2, "ATTRIBUT-DESCRIPTION", "FFFF", [
    attr("ATNU", 0x61, 8, 2, "INDEX"),
    attr("TFSG", 0x62, 5, 4, "CSV FILE"),
    attr("AFSG", 0x63, 5, 4, "ATT SIGN"),
    attr("ABSG", 0x64, 1, 1, "BUS SIGN"),
    attr("ATNB", 0x65, 1, 2, "NR BYTES-FIELDS"),
    attr("ATFG", 0x66, 1, 2, "FLAGS"),
    attr("ATFT", 0x67, 5, 25, "ATT NAME"),
])

ARTICLES = table("ARTI", 0x41, 3, "ARTICLES", "999999", [
    attr("ANUM", 0x61, 7, 3, "ARTICLE NUMBER"),
    attr("ANA1", 0x62, 6, 25, "ARTICLE NAME"),
    attr("ANA2", 0x63, 5, 25, "SECOND NAME"),
    attr("APRI", 0x64, 1, 4, "UNIT PRICE", flags=0x100),
    attr("ATAR", 0x65, 0, 2, "TARE"),
    attr("AUNI", 0x66, 3, 1, "UNIT"),
    attr("AEAN", 0x67, 9, 13, "EAN CODE"),
    attr("ADAY", 0x68, 2, 2, "BEST BEFORE DAYS"),
    attr("ASTP", 0x69, 1, 6, "PRICE STEP", fields=3, flags=0x200),
    attr("ATXT", 0x6A, 4, 0x100, "INGREDIENTS", fields=4),
    attr("AGRP", 0x6B, 1, 1, "DEPARTMENT"),
])
DEPARTMENTS = table("DEPT", 0x42, 2, "DEPARTMENTS", "FF", [
    attr("DNUM", 0x61, 8, 1, "DEPARTMENT NUMBER"),
    attr("DNAM", 0x62, 6, 20, "DEPARTMENT NAME"),
    attr("DTAX", 0x63, 1, 1, "TAX RATE"),
])
SHOP = table("SHOP", 0x43, 1, "SHOP HEADER", "", [
    attr("SNAM", 0x61, 5, 30, "SHOP NAME"),
    attr("SADR", 0x62, 4, 0x60, "ADDRESS LINES", fields=2),
    attr("SCUR", 0x63, 5, 3, "CURRENCY"),
])
TEXTS = table("TEXT", 0x44, 2, "FREE TEXTS", "9999", [
    attr("TNUM", 0x61, 10, 4, "TEXT NUMBER"),
    attr("TLIN", 0x62, 4, 0x80, "TEXT LINES", fields=2),
])
SALES = table("SALE", 0x45, 2, "SALES TOTALS", "FF", [
    attr("SNUM", 0x61, 8, 1, "TOTAL NUMBER"),
    attr("SCNT", 0x62, 1, 4, "COUNT", flags=0x100 | 0x8000),
    attr("SAMT", 0x63, 1, 6, "AMOUNT", flags=0x100),
])
SCALE_CONFIG = table("CONF", 0x90, 4, "SCALE SETTINGS", "", [
    attr("CDIV", 0x61, 0, 2, "DIVISION"),
    attr("CMAX", 0x62, 1, 3, "MAXIMUM LOAD"),
    attr("CLBL", 0x63, 5, 10, "LABEL FORMAT"),
    attr("CPRN", 0x64, 3, 1, "PRINTER MODE"),
])
KEYS = table("KEYB", 0x91, 5, "PRESET KEYS", "99", [
    attr("KNUM", 0x61, 7, 1, "KEY NUMBER"),
    attr("KART", 0x62, 1, 3, "ARTICLE NUMBER"),
    attr("KTXT", 0x63, 6, 12, "KEY TEXT"),
])

MODELS = {
    # The model-700 scale: articles, departments, one shop header, scale settings.
    "109SCALE700": [ARTICLES, DEPARTMENTS, SHOP, SCALE_CONFIG],
    # The model-701 scale: as the 700, with free texts and preset keys per scale.
    "109SCALE701": [ARTICLES, DEPARTMENTS, SHOP, TEXTS, SCALE_CONFIG, KEYS],
}
GENERIC = [ARTICLES, DEPARTMENTS, SHOP, TEXTS, SALES, SCALE_CONFIG, KEYS]

# ---- the meta-table rows and their CSV files ----


def meta_rows(tables):
    """(TDES rows, ADES rows) as lists of (key, [column texts]) for TDES, ADES and `tables`."""
    tdes, ades = [], []
    key = 1
    for t in [TDES, ADES] + tables:
        tdes.append((len(tdes) + 1,
                     [t["sign"].encode(), b"%X" % t["bus"], b"%d" % t["type"], t["name"].encode(),
                      t["tima"].encode()]))
        for a in t["attrs"]:
            ades.append((key, [t["sign"].encode(), a["sign"].encode(), b"%X" % a["bus"],
                               b"%X" % a["atnb"], b"%X" % a["flags"], a["name"].encode()]))
            key += 1
    return tdes, ades


def csv_file(t, rows):
    heading = b"".join(a["sign"].encode() + b";" for a in t["attrs"]) + b"\r\n"
    names = b"".join(a["name"].encode() + b";" for a in t["attrs"]) + b"\r\n"
    lines = b"".join(b"%d;" % key + b";".join(texts) + b"\r\n" for key, texts in rows)
    return heading + names + lines


# ---- sample records ----


def article(n, name, price, tare, unit, ean, days, group):
    steps = [b"%d" % (price - 10), b"%d" % (price - 20), b"%d" % (price - 30)]
    ingredients = [b"2" + name.upper() + b" 100%", b"1Keep at 7 C", b"0", b"0"]
    return (n, [name, b"Fresh \xe4pfel" if n % 2 else b"", b"%d" % price, tare, unit,
                ean, days, steps, ingredients, b"%d" % group])


SAMPLE_ARTICLES = [
    article(1, b"Apples", 249, b"12", b"k", b"4000417025005", b"14", 1),
    article(2, b"Pears", 319, b"A", b"k", b"4000417025012", b"10", 1),
    article(17, b"Ham", 1899, b"1F", b"g", b"20170000", b"7", 2),
    article(300, b"Cheese", 1290, b"1E0", b"g", b"20300000", b"21", 3),
    article(999999, b"Bread", 350, b"0", b"p", b"4008400401621", b"3", 4),
]
SAMPLE_DEPARTMENTS = [
    (1, [b"FRUIT", b"7"]),
    (2, [b"MEAT", b"13"]),
    (3, [b"DAIRY", b"7"]),
    (255, [b"BAKERY", b"7"]),
]
SAMPLE_SHOP = [(0, [b"Kleiner Laden M\xfcller", [b"2Market Street 1", b"312345 Town"], b"EUR"])]
SAMPLE_TEXTS = [
    (1, [[b"2Thank you", b"1Come again"]]),
    (42, [[b"5SPECIAL OFFER", b"0"]]),
]
SAMPLE_SALES = [(1, [b"120", b"34500"]), (2, [b"7", b"1899"])]


def scale_config(n):
    return [b"5", b"%d" % (15 + n), b"LBL%d" % n, b"A"]


def keys(n):
    return [(1, [b"1", b"APPLES %d" % n]), (2, [b"17", b"HAM"]), (12, [b"300", b"CHEESE"])]


def sample_file(identification, scale_number, tables, config_numbers):
    """The simulated scale's data file for one scale."""
    out = [b"# Sample records of a simulated scale; start it with --ident " + identification
           + b" --scale %d" % scale_number,
           b"# Written by data/samples/make_sample_data.py; do not edit by hand."]

    def emit(number, t, records):
        out.append(b"table %d %02X" % (number, t["bus"]))
        for key, values in records:
            out.append(b"record " + escape(record_bytes(t, key, values)))

    tdes_rows, ades_rows = meta_rows(tables)
    emit(scale_number, TDES, [(k, v[:2] + v[2:]) for k, v in tdes_rows])
    emit(scale_number, ADES, ades_rows)
    samples = {"ARTI": SAMPLE_ARTICLES, "DEPT": SAMPLE_DEPARTMENTS, "SHOP": SAMPLE_SHOP,
               "TEXT": SAMPLE_TEXTS, "SALE": SAMPLE_SALES}
    for t in tables:
        if t["sign"] in samples:
            emit(scale_number, t, samples[t["sign"]])
    for n in config_numbers:
        for t in tables:
            if t["sign"] == "CONF":
                emit(n, t, [(0, scale_config(n))])
            elif t["sign"] == "KEYB":
                emit(n, t, keys(n))
    return b"\n".join(out) + b"\n"


def escape(data):
    """The simulated scale's escaped text: printable ASCII as is, "\\\\", "\\xHH" otherwise."""
    out = b""
    for b in data:
        if b == 0x5C:
            out += b"\\\\"
        elif 0x20 <= b < 0x7F:
            out += bytes([b])
        else:
            out += b"\\x%02X" % b
    return out


def write(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(content)


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    for directory, tables in MODELS.items():
        tdes_rows, ades_rows = meta_rows(tables)
        write(os.path.join(root, "data", directory, "TDES.csv"), csv_file(TDES, tdes_rows))
        write(os.path.join(root, "data", directory, "ADES.csv"), csv_file(ADES, ades_rows))
    samples = os.path.join(root, "data", "samples")
    write(os.path.join(samples, "generic_scale.txt"),
          sample_file(b"KWSIM-GEN-01", 1, GENERIC, [0, 1, 3]))
    write(os.path.join(samples, "model700_scale.txt"),
          sample_file(b"1097401700", 1, MODELS["109SCALE700"], [0, 1]))
    write(os.path.join(samples, "model701_scale.txt"),
          sample_file(b"1097401701", 2, MODELS["109SCALE701"], [0, 2, 5]))


if __name__ == "__main__":
    main()
