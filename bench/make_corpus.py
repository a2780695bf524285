#!/usr/bin/python3
"""Writes the mixed code corpus of the analysis benchmark, one text a line.

Usage: make_corpus.py COUNT CORPUS NUMERIC
CORPUS gets COUNT texts: 8-, 10-, 12- and 13-digit numbers (about half with a
right check digit), ISBNs written with dashes, Numicodes, vanity codes, URLs
and junk. NUMERIC gets the numeric texts of CORPUS (numbers and ISBNs), the
part a general check-digit library can judge. A fixed generator of its own
makes both files the same on every machine and Python version.
"""
import sys


class Rng:
    """xorshift64*: reproducible without depending on the random module."""

    def __init__(self, seed):
        self.state = seed or 1

    def next(self):
        x = self.state
        x ^= (x >> 12)
        x ^= (x << 25) & 0xFFFFFFFFFFFFFFFF
        x ^= (x >> 27)
        self.state = x
        return (x * 0x2545F4914F6CDD1D) & 0xFFFFFFFFFFFFFFFF

    def below(self, n):
        return (self.next() >> 33) % n

    def digits(self, n):
        return "".join(chr(48 + self.below(10)) for _ in range(n))

    def letters(self, n):
        return "".join(chr(65 + self.below(26)) for _ in range(n))


def gtin_check(body):
    """Check digit of EAN-8, UPC-A and EAN-13 bodies: weight 3 on the digit
    next to the check digit, alternating with 1."""
    total = sum(int(d) * (3 if i % 2 == 0 else 1) for i, d in enumerate(reversed(body)))
    return str((10 - total % 10) % 10)


def isbn_check(body):
    r = sum((10 - i) * int(d) for i, d in enumerate(body)) % 11
    return "X" if r == 1 else "0" if r == 0 else str(11 - r)


def number(rng, length):
    """A number of the length, valid about half of the time."""
    if length == 10:
        body = rng.digits(9)
        return body + (isbn_check(body) if rng.below(2) else rng.digits(1))
    prefix = "978" if length == 13 and rng.below(4) == 0 else ""
    body = prefix + rng.digits(length - 1 - len(prefix))
    return body + (gtin_check(body) if rng.below(2) else rng.digits(1))


def isbn_with_dashes(rng):
    body = rng.digits(9)
    code = body + isbn_check(body)
    cut = 1 + rng.below(3)
    return code[0] + "-" + code[1:1 + cut + 3] + "-" + code[1 + cut + 3:9] + "-" + code[9]


HOSTS = ["www.example.com", "shop.example.org", "news.example.net", "ftp.example.com"]


def url(rng):
    scheme = ["http://", "https://", "", "mailto:"][rng.below(4)]
    if scheme == "mailto:":
        return scheme + rng.letters(5).lower() + "@example.com"
    return scheme + HOSTS[rng.below(len(HOSTS))] + "/" + rng.letters(4).lower() + "/" + rng.digits(4)


def junk(rng):
    return "".join(chr(33 + rng.below(94)) for _ in range(1 + rng.below(20)))


# (share in percent, generator, numeric)
KINDS = [
    (15, lambda r: number(r, 8), True),
    (10, lambda r: number(r, 10), True),
    (20, lambda r: number(r, 12), True),
    (25, lambda r: number(r, 13), True),
    (6, isbn_with_dashes, True),
    (3, lambda r: r.digits(1 + r.below(5)), False),
    (8, lambda r: r.letters(3 + r.below(6)) + "/" + r.digits(1 + r.below(6)), False),
    (8, url, False),
    (5, junk, False),
]


def main():
    count, corpus_path, numeric_path = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    rng = Rng(0x5EED)
    table = [kind for kind in KINDS for _ in range(kind[0])]
    with open(corpus_path, "w", encoding="ascii", newline="\n") as corpus, \
            open(numeric_path, "w", encoding="ascii", newline="\n") as numeric:
        for _ in range(count):
            _, make, is_numeric = table[rng.below(len(table))]
            text = make(rng)
            corpus.write(text + "\n")
            if is_numeric:
                numeric.write(text + "\n")


if __name__ == "__main__":
    main()
