#!/usr/bin/python3
"""Validity verdicts of python3-stdnum, the independent oracle of the code tests.

Usage: stdnum_oracle.py IN OUT. Each line of IN is KIND, a tab and a text
(KIND: EAN13, EAN8, UPCA, UPCE or ISBN10); OUT gets one line per input line,
1 when the text is a valid code of that kind and 0 when not.
"""
import sys

try:
    from stdnum import ean, isbn
except ImportError:
    sys.exit("python3-stdnum is missing: run scripts/install-deps.sh")


def upce_to_upca(code):
    """The UPC-A number of a UPC-E code (number system 0 or 1), from the
    published zero-suppression table; None when it cannot be expanded."""
    system, data, check = code[0], code[1:7], code[7]
    last = data[5]
    if last in "012":
        body = data[0:2] + last + "0000" + data[2:5]
    elif last == "3":
        body = data[0:3] + "00000" + data[3:5]
    elif last == "4":
        body = data[0:4] + "00000" + data[4]
    else:
        body = data[0:5] + "0000" + last
    return system + body + check


def verdict(kind, text):
    plain = ean.compact(text)  # blanks and dashes removed
    if kind == "EAN13":
        return len(plain) == 13 and ean.is_valid(text)
    if kind == "EAN8":
        return len(plain) == 8 and ean.is_valid(text)
    if kind == "UPCA":
        return len(plain) == 12 and ean.is_valid(text)
    if kind == "UPCE":
        return (len(plain) == 8 and all(c in "0123456789" for c in plain) and plain[0] in "01"
                and ean.is_valid(upce_to_upca(plain)))
    if kind == "ISBN10":
        # stdnum would also take a nine-character SBN; only ten count here.
        return len(plain) == 10 and isbn.is_valid(text)
    raise ValueError("unknown kind " + kind)


def main():
    with open(sys.argv[1], encoding="latin-1", newline="\n") as lines, \
            open(sys.argv[2], "w", encoding="ascii") as out:
        for line in lines:
            kind, text = line.rstrip("\n").split("\t", 1)
            out.write("1\n" if verdict(kind, text) else "0\n")


if __name__ == "__main__":
    main()
