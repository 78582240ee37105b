#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (fuzz/corpus/<target>/) from rows of the test tables.

Each seed is laid out as its target reads its input (see the comment at the top of each target).
Run from anywhere; existing seeds of the same name are replaced, others are left alone.
"""
import hashlib
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, payload):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    name = "seed-" + hashlib.sha1(payload).hexdigest()[:16]
    with open(os.path.join(folder, name), "wb") as f:
        f.write(payload)


def encode_header(version_word, level, choice):
    # version word, level selector (0: small value), level raw, export choice
    return struct.pack("<IBIB", version_word & 0xFFFFFFFF, 0, level, choice)


QR_DATA = [
    b"HELLO WORLD", b"01234567", b"Hello, world!", b"A", b"",
    b"~4[~d147~d095]", b"~4[\x93\x5F\xE4\xAA]", b"AB~4[~d147~d095]CD", b"~4[AB]",
    b"~2[1][2,37]AB", b"~2[1][2]X", b"~2[17][2]X", b"~2[1]X", b"~2[1][0]X",
    b"AB~7000026CD", b"~8123456AB", b"~9", b"~1AB", b"~3[37]AB", b"AB~3[37]",
    b"~50[7,7,007c6c446c7c00]HELLO", b"~50[:swiss7]X", b"~50[3,3]X",
    b"~d000~@~~~A~Z", b"~d255~d256", b"%A*B+C-D.E/F:G $",
    b"1" * 100, b"A1" * 60, b"\xEF\xBB\xBF\xC3\xA9t\xC3\xA9",
]
QR_WORDS = [0, 1, 7, 40, 41, 255, 0x100, 0x200, 0x300, 0x400, 0x8001, 0x8000, 0x10000]

MICRO_DATA = [b"1", b"12345", b"AB", b"HELLO", b"MICRO QR M4", b"~4[~d147~d095]", b"~d065",
              b"~2[1][2]X", b"~1A", b"~50[:swiss7]A", b"abc", b"0" * 35, b"~7000026"]

HIBC_DATA = [b"A123BJC5D6E71", b"000012", b"lowercase", b"A-. $/+%", b"X" * 36, b"X" * 37,
             b"A~B", b"A" * 101]

# Option byte (see cli_input_fuzzer.cpp), then the text.
CLI_INPUT = [
    (0, b"https://example.com/~Mike"), (0, b"a/~1/x\x00~d065"), (0, "Gr\u00fc\u00dfe".encode()),
    (1, "\u65e5\u672c\u8a9e\u30c6\u30ad\u30b9\u30c8".encode()), (1, "\uff71\uff72 \u6771\u4eac".encode()),
    (2, "\u041f\u0440\u0438\u0432\u0435\u0442".encode()), (4, b"plain ASCII"), (0x08, b"0104012345678901%21X"),
    (0x10, b"ABC"), (0x20, b"X"), (0x40, b"12345"), (0x41, "\u65e5\u672c".encode()), (0x80, b"~2[1][2,5]AB~M"),
    (0, b"\xef\xbb\xbfsku,url\r\nA-1,https://a.example\r\n\"bad\"x,y\r\n\"open,z\n../../e,/abs\n"),
    (0, b"a,\"b,c\",\"say \"\"hi\"\"\"\r\n\r\n,,\n"), (0, "\u00dcn\u00efc\u00f6d\u00e9 \u202e/x:y*".encode()),
]

OVERLAY_TEXT = [b"7,7,007c6c446c7c00", b"2,12,ABC", b"3,3", b"0,3,00", b"-1,5,6,FF", b"3,0,00",
                b"3,3,", b":swiss7", b":swiss8", b":Swiss7", b"30,30," + b"ff" * 120,
                b"4096,1,00", b"4097,1,00", b" +5, -2,-f+1", b"99999999999,1,00"]


def repeated(unit, size):
    return unit * (size // len(unit))


# Long inputs that once took more than linear time (every FNC1 second-position block rescanned the
# segments before it; every overlay block built a 2 MB bitmap), for the long runs (-max_len=70000).
LONG_QR_DATA = [repeated(b"~3[1]", 60000), repeated(b"~50[4096,4096,f]", 60000),
                repeated(b"~d065~1a", 60000), repeated(b"~4[~d147~d095]", 60000)]


def main():
    for data in QR_DATA:
        for i, word in enumerate(QR_WORDS):
            if (len(data) + i) % 3 == 0:
                write("qr_encode", encode_header(word, i % 4, i % 4) + data)
        wide = "".join(chr(c) for c in data.decode("latin-1").encode("latin-1"))
        write("qr_encode", encode_header(0, 1, 3) + wide.encode("utf-16-le"))
    write("qr_encode", encode_header(0, 0, 3) + "Grüße 日本".encode("utf-16-le"))
    for data in LONG_QR_DATA:
        write("qr_encode", encode_header(0, 0, 0) + data)
    # version word, level selector and raw level, UTF-16LE units
    for i, text in enumerate(["HELLO WORLD", "Grüße 日本", "\U0001F600 paired", "€~d065~3[1]",
                              "~50[:swiss7]Ω", "1" * 40]):
        write("wide_encode", struct.pack("<IBI", [0, 1, 0x8005, 0x200][i % 4], 0, i % 4) +
              text.encode("utf-16-le"))
    lone = struct.pack("<H", 0xD800) + "A".encode("utf-16-le") + struct.pack("<H", 0xDC00)
    write("wide_encode", struct.pack("<IBI", 0, 0, 1) + lone)
    write("wide_encode", struct.pack("<IBI", 0, 0, 0) + repeated("~3[1]", 30000).encode("utf-16-le"))
    write("wide_encode", struct.pack("<IBI", 0, 0, 0) + repeated("€~50[9,9,ff]", 30000).encode("utf-16-le"))
    write("micro_encode", struct.pack("<BIBIB", 0, 0, 0, 0, 0) + repeated(b"~4[]", 60000))
    write("hibc_encode", encode_header(0, 0, 0) + repeated(b"~3[1]~7000026ab", 60000))
    write("overlay", bytes([0, 0]) + b"4096,4096," + repeated(b"f0", 60000))
    for i, data in enumerate(MICRO_DATA):
        for version in range(0, 6):
            write("micro_encode", struct.pack("<BIBIB", 0, version, 0, i % 4, i % 2) + data)
    for i, data in enumerate(HIBC_DATA):
        write("hibc_encode", encode_header([0, 1, 0x8001, 40][i % 4], i % 4, i % 2) + data)
    for flags, text in CLI_INPUT:
        write("cli_input", bytes([flags]) + text)
    for i, text in enumerate(OVERLAY_TEXT):
        write("overlay", bytes([i % 8, i % 4]) + text)
    for rows, columns, shape, sep in [(21, 21, 0, b"\r\n"), (11, 11, 4, b""), (1, 5, 0, b","),
                                       (0, 7, 2, b"\n"), (0x7FFFFFFF, 0, 1, b""), (7, 0x7FFFFFFF, 2, b"ab")]:
        cells = bytes((r * 7 + c * 3) % 2 for r in range(rows % 200) for c in range(columns % 200))
        write("fontstring", struct.pack("<BIIB", shape, rows, columns, len(sep)) + sep + cells)
    # symbol, export, module size (selector, raw), resolution (selector, raw), colours, format
    # (selector, raw), stream failure (selector, raw)
    for symbol, export, module, resolution, fmt, fail in [
            (0, 0, 3, 300, 0, 1), (1, 0, 2, 300, 4, 1), (2, 1, 25, 300, 1, 1), (3, 1, 25, 600, 2, 1),
            (4, 1, 10, 96, 3, 1), (5, 0, 1, 72, 0, 0), (6, 10, 25, 300, 0, 1), (0, 12, 25, 300, 0, 1),
            (1, 14, 4, 300, 0, 0), (2, 15, 25, 300, 1, 1), (0, 0, 0, 0, 9, 1)]:
        write("paint", struct.pack("<BBBIBIIIBIBI", symbol, export, 0, (module - 1) & 0xFFFFFFFF, 0,
                                   (resolution - 1) & 0xFFFFFFFF,
                                   0x000000, 0xFFFFFF, 0, fmt, fail, 1000))


if __name__ == "__main__":
    main()
