"""Bad input: each row one malformed call and the failure it must raise, with the library's code and
message where the library reports it. Expected codes and messages are the library's table."""

from typing import Callable, NamedTuple, Optional, Type

import pytest

import qrkit


class Row(NamedTuple):
    name: str
    call: Callable[[], object]
    error: Type[BaseException]
    code: Optional[int] = None  # EncodeError.code
    message: Optional[str] = None  # EncodeError.message


TOO_LONG = "Input is too long"

ROWS = [
    # Arguments of the wrong type or outside their range: Python's own errors, nothing reaches the
    # library.
    Row("data None", lambda: qrkit.encode(None), TypeError),
    Row("data an int", lambda: qrkit.encode(12345), TypeError),
    Row("wide data bytes", lambda: qrkit.encode_wide(b"abc"), TypeError),
    Row("level X", lambda: qrkit.encode("A", "X"), ValueError),
    Row("level given as a number", lambda: qrkit.encode("A", 1), TypeError),
    Row("version 41", lambda: qrkit.encode("A", version=41), ValueError),
    Row("version -1", lambda: qrkit.encode("A", version=-1), ValueError),
    Row("Micro version 5", lambda: qrkit.encode_micro("1", version=5), ValueError),
    Row("mode kanji", lambda: qrkit.encode("A", mode="kanji"), ValueError),
    Row("segmentation best", lambda: qrkit.encode("A", segmentation="best"), ValueError),
    Row("Micro segmentation None", lambda: qrkit.encode_micro("1", segmentation=None), ValueError),
    Row("a lone surrogate has no UTF-8 form", lambda: qrkit.encode("\ud800"), UnicodeEncodeError),
    # Failures of the library, passed through with its code and message.
    Row("data too long at H", lambda: qrkit.encode("A" * 5000, "H"), qrkit.EncodeError, 0x80520005,
        TOO_LONG),
    Row("tildes too long (each sent as ~~)", lambda: qrkit.encode("~" * 3000, "H"), qrkit.EncodeError,
        0x80520005, TOO_LONG),
    Row("strict version too small", lambda: qrkit.encode("A" * 100, version=1, strict=True),
        qrkit.EncodeError, 0x80520005, TOO_LONG),
    Row("strict without a version", lambda: qrkit.encode("A", strict=True), qrkit.EncodeError,
        0x80520005, TOO_LONG),
    Row("numeric mode with a letter", lambda: qrkit.encode("12A", mode="numeric"), qrkit.EncodeError,
        0x80520006, "Invalid characters in input data"),
    Row("escapes: position 0", lambda: qrkit.encode("~2[0][3]x", escapes=True), qrkit.EncodeError,
        0x80520034, "Invalid Sequence in Structural Append block"),
    Row("escapes: missing second block", lambda: qrkit.encode("~2[1]X", escapes=True),
        qrkit.EncodeError, 0x80520032, "Missing field in Structural Append block"),
    Row("escapes: total 17", lambda: qrkit.encode("~2[1][17]", escapes=True), qrkit.EncodeError,
        0x80520035, "Invalid TotalNum in Structural Append block"),
    Row("escapes: not Kanji", lambda: qrkit.encode("~4[AB]", escapes=True), qrkit.EncodeError,
        0x80520050, "Invalid Kanji block"),
    Row("escapes: FNC1 value 256", lambda: qrkit.encode("~3[256]", escapes=True), qrkit.EncodeError,
        0x80520051, "Invalid FNC1 second position block"),
    Row("escapes: bad overlay", lambda: qrkit.encode("~50[abc]", escapes=True), qrkit.EncodeError,
        0x8052005A, "Invalid center overlay block"),
    Row("Micro: 36 digits", lambda: qrkit.encode_micro("1" * 36, "L"), qrkit.EncodeError, 0x80520005,
        TOO_LONG),
    Row("Micro: a designator", lambda: qrkit.encode_micro("~7000026A", escapes=True),
        qrkit.EncodeError, 0x80520005, TOO_LONG),
    Row("optimal: data too long at H", lambda: qrkit.encode("A" * 5000, "H", segmentation="optimal"),
        qrkit.EncodeError, 0x80520005, TOO_LONG),
    Row("optimal: numeric mode with a letter",
        lambda: qrkit.encode("12A", mode="numeric", segmentation="optimal"), qrkit.EncodeError,
        0x80520006, "Invalid characters in input data"),
    Row("optimal: not Kanji", lambda: qrkit.encode("~4[AB]", escapes=True, segmentation="optimal"),
        qrkit.EncodeError, 0x80520050, "Invalid Kanji block"),
    Row("Micro optimal: 36 digits", lambda: qrkit.encode_micro("1" * 36, "L", segmentation="optimal"),
        qrkit.EncodeError, 0x80520005, TOO_LONG),
    Row("HIBC: 37 characters", lambda: qrkit.encode_hibc("A" * 37), qrkit.EncodeError, 0x80520005,
        TOO_LONG),
    Row("HIBC: 101 bytes", lambda: qrkit.encode_hibc("A" * 101), qrkit.EncodeError, 0x80520005,
        TOO_LONG),
    Row("HIBC: '*'", lambda: qrkit.encode_hibc("A*B"), qrkit.EncodeError, 0x80520005, TOO_LONG),
    Row("HIBC: '~'", lambda: qrkit.encode_hibc("A~B"), qrkit.EncodeError, 0x80520005, TOO_LONG),
    Row("HIBC: a zero byte", lambda: qrkit.encode_hibc("A\0B"), qrkit.EncodeError, 0x80520005,
        TOO_LONG),
    Row("HIBC: a letter beyond ASCII", lambda: qrkit.encode_hibc("É"), qrkit.EncodeError, 0x80520005,
        TOO_LONG),
    Row("wide: too long", lambda: qrkit.encode_wide("€" * 3000, "H"), qrkit.EncodeError, 0x80520005,
        TOO_LONG),
    Row("wide: not Kanji", lambda: qrkit.encode_wide("~4[AB]", escapes=True), qrkit.EncodeError,
        0x80520050, "Invalid Kanji block"),
]


@pytest.mark.parametrize("row", ROWS, ids=[row.name for row in ROWS])
def test_bad_input(row: Row) -> None:
    with pytest.raises(row.error) as raised:
        row.call()
    if row.code is not None:
        assert raised.value.code == row.code
        assert raised.value.number == row.code & 0xFFFF
        assert raised.value.message == row.message
        assert str(raised.value) == f"{row.message} (result code 0x{row.code:08X})"


def test_literal_data_never_fails_as_an_escape() -> None:
    # The same texts as the escape rows above, taken literally, are plain data.
    for text in ("~2[0][3]x", "~2[1]X", "~4[AB]", "~3[256]", "~50[abc]"):
        with qrkit.encode(text) as symbol:
            assert symbol.version == 1
