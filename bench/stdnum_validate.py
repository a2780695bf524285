#!/usr/bin/python3
"""The anchor of the analysis benchmark: python3-stdnum judging each text of
FILE (one a line) as an EAN/UPC or an ISBN, as a user without this toolkit
would. Prints the number of valid texts, then the wall-clock and the CPU
seconds the loop took."""
import sys
import time

from stdnum import ean, isbn


def main():
    with open(sys.argv[1], encoding="ascii") as lines:
        texts = lines.read().splitlines()
    start, cpu_start = time.perf_counter(), time.process_time()
    valid = 0
    for text in texts:
        if ean.is_valid(text) or isbn.is_valid(text):
            valid += 1
    print(valid, "%.6f" % (time.perf_counter() - start), "%.6f" % (time.process_time() - cpu_start))


if __name__ == "__main__":
    main()
