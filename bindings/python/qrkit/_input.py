"""How data reach the encoder: literal bytes written in qrkit's input language, and the wide form.

The library reads every data argument in its input language, where '~' starts an escape. Data are
taken literally by default, exactly as the qrkit tool takes them: '~' is written as "~~" and a zero
byte as "~d000". With escapes the text is passed as it is (a zero byte still becomes "~d000", since
the library's narrow entry points end their text at a zero byte).
"""

from __future__ import annotations

from typing import List, Union

Data = Union[bytes, bytearray, memoryview, str]


def data_bytes(data: Data) -> bytes:
    """The bytes of data: a str as UTF-8, a bytes-like object as it is."""
    if isinstance(data, str):
        return data.encode("utf-8")
    if isinstance(data, (bytes, bytearray, memoryview)):
        return bytes(data)
    raise TypeError(f"data must be str or bytes, not {type(data).__name__}")


def input_text(raw: bytes, escapes: bool) -> bytes:
    """raw as the input language's text, zero-terminated by ctypes when passed as c_char_p."""
    if not escapes:
        raw = raw.replace(b"~", b"~~")
    return raw.replace(b"\0", b"~d000")


def wide_units(data: str, escapes: bool) -> List[int]:
    """The UTF-16 code units that QRCodeEncode2W receives for data (without the terminating 0)."""
    if not isinstance(data, str):
        raise TypeError(f"data must be str, not {type(data).__name__}")
    if not escapes:
        data = data.replace("~", "~~")
    data = data.replace("\0", "~d000")
    encoded = data.encode("utf-16-le", "surrogatepass")
    return [int.from_bytes(encoded[i:i + 2], "little") for i in range(0, len(encoded), 2)]


def narrow_wide(units: List[int]) -> bytes:
    """The bytes the library makes of UTF-16 units: one byte a unit when every unit is 1-255, else
    EF BB BF and the UTF-8 form (a high surrogate followed by a low one is one character, any other
    surrogate is encoded on its own)."""
    if all(1 <= unit <= 255 for unit in units):
        return bytes(units)
    out = bytearray(b"\xef\xbb\xbf")
    i = 0
    while i < len(units):
        point = units[i]
        i += 1
        if 0xD800 <= point <= 0xDBFF and i < len(units) and 0xDC00 <= units[i] <= 0xDFFF:
            point = 0x10000 + ((point - 0xD800) << 10) + (units[i] - 0xDC00)
            i += 1
        out += chr(point).encode("utf-8", "surrogatepass")
    return bytes(out)
