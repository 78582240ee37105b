"""Encoding through every entry point, each symbol read back by zxing-cpp.

Each row names its call, the version and size expected and the bytes a reader must get, and says
where the expectation comes from.
"""

from typing import Callable, NamedTuple, Optional

import pytest
from PIL import Image
from read_symbol import picture_modules, read_picture, read_symbol

import qrkit


class Row(NamedTuple):
    name: str
    call: Callable[[], qrkit.Symbol]
    version: Optional[int]  # None: not fixed by the row
    decoded: bytes
    source: str


ROWS = [
    Row("five digits at level L", lambda: qrkit.encode("12345", "L"), 1, b"12345",
        "version 1 holds 41 digits at L (capacity table)"),
    Row("empty data", lambda: qrkit.encode(""), 1, b"", "the library encodes empty input as version 1"),
    Row("UTF-8 text", lambda: qrkit.encode("Grüße €"), 1, "Grüße €".encode(),
        "a str is sent as its UTF-8 bytes"),
    Row("tildes and escape-like text taken literally", lambda: qrkit.encode("~d065~2[1][3]~50[:swiss7]"),
        None, b"~d065~2[1][3]~50[:swiss7]", "literal data: '~' is sent as ~~"),
    Row("zero byte taken literally", lambda: qrkit.encode(b"A\0B"), 1, b"A\0B",
        "literal data: a zero byte is sent as ~d000"),
    Row("every byte value", lambda: qrkit.encode(bytes(range(256))), 12, bytes(range(256)),
        "256 bytes at M need version 12 (capacity table: 271 bytes)"),
    Row("bytearray data", lambda: qrkit.encode(bytearray(b"HELLO")), 1, b"HELLO", "bytes-like input"),
    Row("escapes: decimal and control bytes", lambda: qrkit.encode("~d065B~M", escapes=True), 1,
        b"AB\r", "input language: ~d065 is A, ~M is 0x0D"),
    Row("escapes: a zero character still arrives", lambda: qrkit.encode("A\0~d066", escapes=True), 1,
        b"A\0B", "a NUL is sent as ~d000 in both forms"),
    Row("escapes: center overlay", lambda: qrkit.encode("~50[:swiss7]https://example.com/qrkit", "H",
                                                        escapes=True),
        6, b"https://example.com/qrkit", "a named overlay raises the version to 6"),
    Row("minimum version", lambda: qrkit.encode("12345", version=5), 5, b"12345",
        "the version given is the smallest allowed"),
    Row("strict version that fits", lambda: qrkit.encode("HELLO", version=3, strict=True), 3, b"HELLO",
        "strict: exactly the version given"),
    Row("level H needs version 3", lambda: qrkit.encode("A" * 30, "h"), 3, b"A" * 30,
        "alphanumeric capacity at H: 10 (v1), 20 (v2), 35 (v3)"),
    Row("byte mode forced", lambda: qrkit.encode("12345", mode="byte"), 1, b"12345",
        "forced mode changes the segments, not the data"),
    Row("narrowest mode", lambda: qrkit.encode("ABC123", mode="narrowest"), 1, b"ABC123",
        "one alphanumeric segment"),
    Row("Micro: five digits make M1", lambda: qrkit.encode_micro("12345", "L"), 1, b"12345",
        "M1 holds five digits (worked example)"),
    Row("Micro: tilde taken literally", lambda: qrkit.encode_micro("A~B"), 3, b"A~B",
        "three bytes need M3; ~~ is one tilde"),
    Row("Micro: escapes", lambda: qrkit.encode_micro("~d049~d050", escapes=True), 1, b"12",
        "decimal escapes in the Micro subset"),
    Row("Micro: minimum version M3", lambda: qrkit.encode_micro("1", version=3), 3, b"1",
        "the version given is the smallest allowed"),
    Row("optimal: URL with an identifier", lambda: qrkit.encode(
        "https://example.com/item/123456789012", "L", segmentation="optimal"), 2,
        b"https://example.com/item/123456789012",
        "byte 25 + numeric 12 take 266 bits, 34 codewords of 2-L (the greedy division needs 3)"),
    Row("greedy by name", lambda: qrkit.encode(
        "https://example.com/item/123456789012", "L", segmentation="greedy"), 3,
        b"https://example.com/item/123456789012", "the greedy division takes 289 bits: version 3-L"),
    Row("optimal: Shift JIS text in Kanji mode", lambda: qrkit.encode(
        "日本語のテキスト".encode("shift_jis"), "H", segmentation="optimal"), 2,
        "日本語のテキスト".encode("shift_jis"),
        "Kanji: 12 + 8 x 13 = 116 bits fit 2-H (16 codewords); as bytes 140 bits need 3-H"),
    Row("optimal: tildes stay literal", lambda: qrkit.encode("~d065 12345678", segmentation="optimal"),
        1, b"~d065 12345678", "literal data, as for encode"),
    Row("Micro optimal: capital and digits", lambda: qrkit.encode_micro(
        "A1234567", "L", segmentation="optimal"), 2, b"A1234567",
        "alphanumeric 1 + numeric 7 take 39 bits of M2-L's 40 (the greedy division needs M3)"),
    Row("HIBC a1b2", lambda: qrkit.encode_hibc("a1b2"), 1, b"+A1B2M",
        "worked example: sum 65, 65 mod 43 = 22, check character M"),
    Row("HIBC empty", lambda: qrkit.encode_hibc(""), 1, b"++", "worked example: check character of 41 is +"),
    Row("HIBC 36 characters", lambda: qrkit.encode_hibc("A" * 36, "L", version=2), 2,
        b"+" + b"A" * 36 + bytes([b"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%"[(41 + 36 * 10) % 43]]),
        "the longest HIBC data; check character by the modulo-43 rule"),
    Row("wide: Latin-1 text", lambda: qrkit.encode_wide("Grüße"), 1, bytes.fromhex("4772FCDF65"),
        "units 1-255 become one byte each (worked example)"),
    Row("wide: text beyond Latin-1", lambda: qrkit.encode_wide("Grüße€"), 1,
        bytes.fromhex("EFBBBF4772C3BCC39F65E282AC"), "EF BB BF and UTF-8 (worked example)"),
    Row("wide: tilde taken literally", lambda: qrkit.encode_wide("~d065"), 1, b"~d065",
        "literal data, as for encode"),
    Row("wide: escapes", lambda: qrkit.encode_wide("~d065", escapes=True), 1, b"A", "input language"),
]


@pytest.mark.parametrize("row", ROWS, ids=[row.name for row in ROWS])
def test_symbol_reads_back(row: Row, tmp_path) -> None:
    with row.call() as symbol:
        if row.version is not None:
            assert symbol.version == row.version
        expected_size = 9 + 2 * symbol.version if symbol.micro else 17 + 4 * symbol.version
        assert symbol.size == expected_size
        # The painter's picture (module centres) and the matrix read from the font string agree.
        path = tmp_path / "symbol.png"
        symbol.save(path, module_size=3)
        picture = Image.open(path).convert("L")
        assert picture_modules(picture, symbol.size) == [
            "".join("1" if dark else "0" for dark in row_modules) for row_modules in symbol.matrix]
        assert read_symbol(str(path), symbol.micro) == row.decoded
        assert read_picture(symbol.to_pil(module_size=4), symbol.micro) == row.decoded


class FontRow(NamedTuple):
    name: str
    call: Callable[[], qrkit.Symbol]
    separator: str
    length: int
    last_line_digits: str
    source: str


FONT_ROWS = [
    FontRow("version 1 with CR LF", lambda: qrkit.encode("12345", "L"), "\r\n", 136, "08",
            "6 lines of 21 and 5 separators of 2 (worked example); the last line covers one row"),
    FontRow("version 1 without separator", lambda: qrkit.encode("12345", "L"), "", 126, "08",
            "6 x 21 characters"),
    FontRow("M1: last line covers three rows", lambda: qrkit.encode_micro("12345", "L"), "\n",
            3 * 11 + 2, "02468ACE", "11 rows: bands of 4, 4 and 3 rows, so the last digits are even"),
    FontRow("M2 ends like QR Code", lambda: qrkit.encode_micro("123456", "L", version=2), "|",
            4 * 13 + 3, "08", "13 rows: the last band covers one row"),
]


@pytest.mark.parametrize("row", FONT_ROWS, ids=[row.name for row in FONT_ROWS])
def test_font_string(row: FontRow) -> None:
    with row.call() as symbol:
        text = symbol.font_string(row.separator)
        assert len(text) == row.length
        lines = text.split(row.separator) if row.separator else [
            text[i:i + symbol.size] for i in range(0, len(text), symbol.size)]
        assert set(lines[-1]) <= set(row.last_line_digits)
        # Every digit is the column of four module rows of the symbol's matrix, top row highest.
        for band, line in enumerate(lines):
            for column, digit in enumerate(line):
                value = sum(8 >> k for k in range(4)
                            if 4 * band + k < symbol.size and symbol[4 * band + k, column])
                assert digit == "0123456789ABCDEF"[value]
        # Asked again, the string is the same (the library replaces the one it keeps).
        assert symbol.font_string(row.separator) == text


class ParityRow(NamedTuple):
    name: str
    data: object
    escapes: bool
    parity: int
    source: str


PARITY_ROWS = [
    ParityRow("AB", "AB", False, 0x41 ^ 0x42, "worked example"),
    ParityRow("empty", "", False, 0, "worked example"),
    ParityRow("a tilde taken literally", "~", False, 0x7E, "literal data: one '~' byte"),
    ParityRow("an escape taken literally", "~d065", False, 0x7E ^ 0x64 ^ 0x30 ^ 0x36 ^ 0x35,
              "literal data: the XOR of its five bytes"),
    ParityRow("an escape read", "~d065", True, 65, "input language: the byte it gives"),
    ParityRow("FNC1 counts nothing", "~1ABC", True, 0x41 ^ 0x42 ^ 0x43, "worked example"),
    ParityRow("zero byte", b"\0\xff", False, 0xFF, "a zero byte contributes 0"),
    ParityRow("UTF-8", "é", False, 0xC3 ^ 0xA9, "a str counts by its UTF-8 bytes"),
]


@pytest.mark.parametrize("row", PARITY_ROWS, ids=[row.name for row in PARITY_ROWS])
def test_parity(row: ParityRow) -> None:
    assert qrkit.parity(row.data, escapes=row.escapes) == row.parity


def test_structured_append_sequence_with_parity() -> None:
    # The parity of the whole message goes into every part's header; a reader reports the header.
    message = "ABCDEFGH"
    value = qrkit.parity(message)
    for position, part in ((1, "ABCD"), (2, "EFGH")):
        with qrkit.encode(f"~2[{position}][2,{value}]{part}", escapes=True) as symbol:
            assert read_picture(symbol.to_pil(4), False) == part.encode()


def test_error_message_table() -> None:
    # The library's own lookup, passed through: facility test, then the table.
    assert qrkit.error_message(0x80520005) == "Input is too long"
    assert qrkit.error_message(0x00520005) == "Input is too long"
    assert qrkit.error_message(12) == "Unspecified error."
    assert qrkit.error_message(0x8052000C) == "Output buffer size is too small"
    assert qrkit.error_message(-0x7FADFFFB) == "Input is too long"  # 0x80520005 as a signed value


def test_symbol_attributes_and_closing() -> None:
    symbol = qrkit.encode_micro("12345", "L")
    assert repr(symbol) == "<qrkit.Symbol M1, 11 x 11>"
    assert symbol.micro and not symbol.closed
    matrix = symbol.matrix
    matrix[0][0] = not matrix[0][0]  # a copy: the symbol does not change
    assert symbol.matrix[0][0] is True  # the finder pattern's corner is dark
    assert symbol[0, 0] and not symbol[0, 7]  # the corner, and the light separator beside the finder
    for outside in ((11, 0), (0, 11), (-1, 0)):
        with pytest.raises(IndexError):
            symbol[outside]  # pylint: disable=pointless-statement
    symbol.close()
    symbol.close()
    assert symbol.closed and symbol.size == 11
    with pytest.raises(ValueError, match="closed"):
        symbol.font_string()
    with pytest.raises(TypeError):
        qrkit.Symbol()
