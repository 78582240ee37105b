#!/usr/bin/python3
"""Prints the module rows of a reference symbol made by segno, for exact comparisons in the tests.

Usage: segno_matrix.py micro|qr CONTENT VERSION ERROR MODE MASK
VERSION is M1-M4 or 1-40, ERROR one of L M Q H (ignored for M1), MODE numeric, alphanumeric, byte or
kanji. Version, error level, mode and mask are fixed and the error level is never raised, so segno makes
exactly the symbol asked for. One line of 0 and 1 per module row, no quiet zone.
"""
import sys

import segno


def main():
    kind, content, version, error, mode, mask = sys.argv[1:7]
    if kind == "micro":
        symbol = segno.make_micro(content, version=version, error=None if version == "M1" else error,
                                  mode=mode, mask=int(mask), boost_error=False)
    else:
        symbol = segno.make_qr(content, version=int(version), error=error, mode=mode, mask=int(mask),
                               boost_error=False)
    for row in symbol.matrix_iter(border=0):
        print("".join("1" if module else "0" for module in row))


if __name__ == "__main__":
    main()
