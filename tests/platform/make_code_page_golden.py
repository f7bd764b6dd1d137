#!/usr/bin/env python3
"""Writes code_page_golden.inc: the expected ANSI-to-OEM and OEM-to-ANSI byte for every code
20h..FFh, with ANSI = Windows-1252 and OEM = code page 850, as the Windows conversion functions
give them.

The golden values come from two sources that do not involve the program's own code:
  * every character that exists in both code pages: glibc's iconv command, cross-checked
    byte by byte against Python's codecs (the script stops if the two disagree);
  * every character without a counterpart: the best-fit replacements of the Windows best-fit
    tables for the target code page, listed below by Unicode code point and name; a code
    point without a best fit becomes the default character "?".
"""
import subprocess
import sys
import unicodedata

# Unicode code point -> byte in code page 850, for the Windows-1252 characters that code
# page 850 lacks.
BEST_FIT_850 = {
    0x201A: 0x27,  # SINGLE LOW-9 QUOTATION MARK -> apostrophe
    0x201E: 0x22,  # DOUBLE LOW-9 QUOTATION MARK -> quotation mark
    0x2026: 0x2E,  # HORIZONTAL ELLIPSIS -> full stop
    0x2020: 0xC5,  # DAGGER -> box drawings light vertical and horizontal
    0x2021: 0xCE,  # DOUBLE DAGGER -> box drawings double vertical and horizontal
    0x02C6: 0x5E,  # MODIFIER LETTER CIRCUMFLEX ACCENT -> circumflex
    0x2030: 0x25,  # PER MILLE SIGN -> percent sign
    0x0160: 0x53,  # LATIN CAPITAL LETTER S WITH CARON -> S
    0x2039: 0x3C,  # SINGLE LEFT-POINTING ANGLE QUOTATION MARK -> less-than sign
    0x0152: 0x4F,  # LATIN CAPITAL LIGATURE OE -> O
    0x017D: 0x5A,  # LATIN CAPITAL LETTER Z WITH CARON -> Z
    0x2018: 0x27,  # LEFT SINGLE QUOTATION MARK -> apostrophe
    0x2019: 0x27,  # RIGHT SINGLE QUOTATION MARK -> apostrophe
    0x201C: 0x22,  # LEFT DOUBLE QUOTATION MARK -> quotation mark
    0x201D: 0x22,  # RIGHT DOUBLE QUOTATION MARK -> quotation mark
    0x2022: 0x07,  # BULLET -> 07h (the bullet glyph of the OEM font)
    0x2013: 0x2D,  # EN DASH -> hyphen-minus
    0x2014: 0x2D,  # EM DASH -> hyphen-minus
    0x02DC: 0x7E,  # SMALL TILDE -> tilde
    0x2122: 0x54,  # TRADE MARK SIGN -> T
    0x0161: 0x73,  # LATIN SMALL LETTER S WITH CARON -> s
    0x203A: 0x3E,  # SINGLE RIGHT-POINTING ANGLE QUOTATION MARK -> greater-than sign
    0x0153: 0x6F,  # LATIN SMALL LIGATURE OE -> o
    0x017E: 0x7A,  # LATIN SMALL LETTER Z WITH CARON -> z
    0x0178: 0x59,  # LATIN CAPITAL LETTER Y WITH DIAERESIS -> Y
    # EURO SIGN (U+20AC) has no best fit in code page 850: default character.
}

# Unicode code point -> byte in Windows-1252, for the code page 850 characters that
# Windows-1252 lacks.
BEST_FIT_1252 = {
    0x0131: 0x69,  # LATIN SMALL LETTER DOTLESS I -> i
    0x2017: 0x3D,  # DOUBLE LOW LINE -> equals sign
    0x2591: 0xA6,  # LIGHT SHADE -> broken bar
    0x2592: 0xA6,  # MEDIUM SHADE -> broken bar
    0x2593: 0xA6,  # DARK SHADE -> broken bar
    0x2502: 0xA6,  # BOX DRAWINGS LIGHT VERTICAL -> broken bar
    0x2524: 0xA6,  # BOX DRAWINGS LIGHT VERTICAL AND LEFT -> broken bar
    0x2563: 0xA6,  # BOX DRAWINGS DOUBLE VERTICAL AND LEFT -> broken bar
    0x2551: 0xA6,  # BOX DRAWINGS DOUBLE VERTICAL -> broken bar
    0x2557: 0x2B,  # BOX DRAWINGS DOUBLE DOWN AND LEFT -> plus sign
    0x255D: 0x2B,  # BOX DRAWINGS DOUBLE UP AND LEFT -> plus sign
    0x2510: 0x2B,  # BOX DRAWINGS LIGHT DOWN AND LEFT -> plus sign
    0x2514: 0x2B,  # BOX DRAWINGS LIGHT UP AND RIGHT -> plus sign
    0x2534: 0x2D,  # BOX DRAWINGS LIGHT UP AND HORIZONTAL -> hyphen-minus
    0x252C: 0x2D,  # BOX DRAWINGS LIGHT DOWN AND HORIZONTAL -> hyphen-minus
    0x251C: 0x2B,  # BOX DRAWINGS LIGHT VERTICAL AND RIGHT -> plus sign
    0x2500: 0x2D,  # BOX DRAWINGS LIGHT HORIZONTAL -> hyphen-minus
    0x253C: 0x2B,  # BOX DRAWINGS LIGHT VERTICAL AND HORIZONTAL -> plus sign
    0x255A: 0x2B,  # BOX DRAWINGS DOUBLE UP AND RIGHT -> plus sign
    0x2554: 0x2B,  # BOX DRAWINGS DOUBLE DOWN AND RIGHT -> plus sign
    0x2569: 0x2D,  # BOX DRAWINGS DOUBLE UP AND HORIZONTAL -> hyphen-minus
    0x2566: 0x2D,  # BOX DRAWINGS DOUBLE DOWN AND HORIZONTAL -> hyphen-minus
    0x2560: 0xA6,  # BOX DRAWINGS DOUBLE VERTICAL AND RIGHT -> broken bar
    0x2550: 0x2D,  # BOX DRAWINGS DOUBLE HORIZONTAL -> hyphen-minus
    0x256C: 0x2B,  # BOX DRAWINGS DOUBLE VERTICAL AND HORIZONTAL -> plus sign
    0x2518: 0x2B,  # BOX DRAWINGS LIGHT UP AND LEFT -> plus sign
    0x250C: 0x2B,  # BOX DRAWINGS LIGHT DOWN AND RIGHT -> plus sign
    0x2588: 0xA6,  # FULL BLOCK -> broken bar
    0x2584: 0x5F,  # LOWER HALF BLOCK -> low line
    0x2580: 0xAF,  # UPPER HALF BLOCK -> macron
    0x25A0: 0xA6,  # BLACK SQUARE -> broken bar
}

DEFAULT = 0x3F  # "?"


def iconv_byte(byte, source, target):
    """The one byte iconv makes of `byte`, or None when iconv cannot convert it."""
    run = subprocess.run(["iconv", "-f", source, "-t", target], input=bytes([byte]),
                         capture_output=True)
    if run.returncode != 0 or len(run.stdout) != 1:
        return None
    return run.stdout[0]


def python_byte(byte, source, target):
    try:
        return bytes([byte]).decode(source).encode(target)[0]
    except UnicodeError:
        return None


def convert(byte, source, target, best_fit):
    # Below 80h both code pages are ASCII (control codes included).
    if byte < 0x80:
        return byte
    direct = iconv_byte(byte, source.upper(), target.upper())
    if direct != python_byte(byte, source, target):
        sys.exit("iconv and Python disagree on %02X from %s to %s" % (byte, source, target))
    if direct is not None:
        return direct
    try:
        char = bytes([byte]).decode(source)
    except UnicodeError:
        return DEFAULT  # a byte the source code page leaves undefined
    value = best_fit.get(ord(char))
    if value is None and ord(char) != 0x20AC:
        sys.exit("no best fit listed for U+%04X %s" % (ord(char), unicodedata.name(char)))
    return DEFAULT if value is None else value


def main():
    lines = ["// Generated by make_code_page_golden.py; do not edit by hand.",
             "// {code, ANSI (1252) to OEM (850), OEM (850) to ANSI (1252)}"]
    for byte in range(0x20, 0x100):
        lines.append("{0x%02X, 0x%02X, 0x%02X}," % (
            byte, convert(byte, "cp1252", "cp850", BEST_FIT_850),
            convert(byte, "cp850", "cp1252", BEST_FIT_1252)))
    out = sys.argv[1] if len(sys.argv) > 1 else "code_page_golden.inc"
    with open(out, "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
