"""Painting: every format to files and to streams, metafile bytes, the clipboard, and the failures of
each target. Pictures are read back by zxing-cpp (vector ones rendered by rsvg-convert, ghostscript
and emf2svg-conv)."""

import io
import os
import threading
from pathlib import Path
from typing import Callable, NamedTuple

import pytest
from PIL import Image
from read_symbol import read_symbol

import qrkit

DATA = "https://example.com/qrkit"


@pytest.fixture(name="symbol")
def fixture_symbol():
    with qrkit.encode(DATA, "Q") as symbol:
        yield symbol


def without_time_chunk(png: bytes) -> bytes:
    """A PNG's bytes without its tIME chunk, which carries the time of writing."""
    out, position = bytearray(png[:8]), 8
    while position < len(png):
        length = int.from_bytes(png[position:position + 4], "big")
        end = position + 12 + length
        if png[position + 4:position + 8] != b"tIME":
            out += png[position:end]
        position = end
    return bytes(out)


class FormatRow(NamedTuple):
    extension: str
    module_size: int
    resolution: int
    magic: bytes


# Module sizes large enough for each renderer to keep every module; magic from each format's standard.
FORMATS = [
    FormatRow("png", 4, 300, b"\x89PNG\r\n\x1a\n"),
    FormatRow("bmp", 4, 300, b"BM"),
    FormatRow("svg", 100, 300, b"<?xml"),
    FormatRow("eps", 100, 300, b"%!PS-Adobe-3.0 EPSF-3.0"),
    FormatRow("emf", 264, 96, b"\x01\x00\x00\x00"),
]


@pytest.mark.parametrize("row", FORMATS, ids=[row.extension for row in FORMATS])
def test_every_format_to_file_and_stream(symbol: qrkit.Symbol, row: FormatRow, tmp_path) -> None:
    path = tmp_path / f"symbol.{row.extension}"
    symbol.save(path, row.module_size, resolution=row.resolution)
    written = path.read_bytes()
    assert written.startswith(row.magic)
    assert read_symbol(str(path)) == DATA.encode()
    streamed = symbol.to_bytes(row.extension, row.module_size, resolution=row.resolution)
    if row.extension == "png":
        assert without_time_chunk(streamed) == without_time_chunk(written)
    else:
        assert streamed == written


def test_metafile_bytes_match_the_emf_format(symbol: qrkit.Symbol) -> None:
    # The metafile's bytes are those format 2 writes, for the same arguments below 1270 dpi.
    assert symbol.emf(25, 300) == symbol.to_bytes("emf", 25, resolution=300)
    assert symbol.emf(40, 600, foreground=0x102030) == symbol.to_bytes(
        "emf", 40, resolution=600, foreground=0x102030)


def test_clipboard_holds_the_metafile(symbol: qrkit.Symbol) -> None:
    symbol.copy_to_clipboard(30, 300)
    assert qrkit.clipboard_metafile() == symbol.emf(30, 300)


def test_colours_and_module_size(symbol: qrkit.Symbol, tmp_path) -> None:
    path = tmp_path / "colours.png"
    symbol.save(path, 2, foreground=0x1A237E, background="#FFEEDD")
    with Image.open(path) as image:
        rgb = image.convert("RGB")
        assert rgb.size == (2 * symbol.size, 2 * symbol.size)
        assert rgb.getpixel((0, 0)) == (0x1A, 0x23, 0x7E)  # the finder pattern's dark corner
        assert rgb.getpixel((2 * 7 + 1, 1)) == (0xFF, 0xEE, 0xDD)  # the light separator


def test_format_argument_overrides_the_extension(symbol: qrkit.Symbol, tmp_path) -> None:
    path = tmp_path / "label.img"
    symbol.save(str(path), format="PNG")
    assert path.read_bytes().startswith(b"\x89PNG")


def test_existing_file_is_replaced(symbol: qrkit.Symbol, tmp_path) -> None:
    path = tmp_path / "old.svg"
    path.write_bytes(b"x" * 1_000_000)
    symbol.save(path, 10)
    assert path.read_bytes() == symbol.to_bytes("svg", 10)


def test_stream_receives_the_image_after_its_content(symbol: qrkit.Symbol) -> None:
    stream = io.BytesIO()
    stream.write(b"HEADER")
    symbol.write(stream, "bmp", 3)
    assert stream.getvalue() == b"HEADER" + symbol.to_bytes("bmp", 3)


def test_default_module_sizes(symbol: qrkit.Symbol) -> None:
    # 4 pixels a module for raster formats; 0.25 mm (3 dots at 300 dpi) for vector ones.
    with Image.open(io.BytesIO(symbol.to_bytes("png"))) as image:
        assert image.size == (4 * symbol.size, 4 * symbol.size)
    assert symbol.to_bytes("svg") == symbol.to_bytes("svg", 25, resolution=300)


def test_one_symbol_painted_from_several_threads(symbol: qrkit.Symbol) -> None:
    expected = symbol.to_bytes("bmp", 2)
    results = []

    def paint() -> None:
        for _ in range(20):
            results.append(symbol.to_bytes("bmp", 2) == expected and symbol.font_string() != "")

    threads = [threading.Thread(target=paint) for _ in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == [True] * 80


class FailingStream(io.RawIOBase):
    def writable(self) -> bool:
        return True

    def write(self, _data) -> int:
        raise OSError(28, "No space left on device")


def test_unwritable_paths_and_streams(symbol: qrkit.Symbol, tmp_path) -> None:
    # The library's code and message; nothing is created.
    missing = tmp_path / "no such folder" / "symbol.png"
    with pytest.raises(qrkit.EncodeError) as raised:
        symbol.save(missing)
    assert (raised.value.code, raised.value.message) == (0x8052000A, "File access denied")
    assert not missing.parent.exists()
    folder = tmp_path / "folder.png"
    folder.mkdir()
    with pytest.raises(qrkit.EncodeError) as raised:
        symbol.save(folder)
    assert raised.value.code == 0x8052000A
    # A stream that refuses bytes: the library stops writing; its exception is the cause.
    with pytest.raises(qrkit.EncodeError) as raised:
        symbol.write(FailingStream(), "svg")
    assert raised.value.code == 0x8052000A
    assert isinstance(raised.value.__cause__, OSError)
    with pytest.raises(qrkit.EncodeError) as raised:
        symbol.write(io.StringIO(), "eps")
    assert isinstance(raised.value.__cause__, TypeError)


class BadPaintRow(NamedTuple):
    name: str
    call: Callable[[qrkit.Symbol, Path], object]
    error: type


BAD_PAINT_ROWS = [
    BadPaintRow("unknown extension", lambda s, p: s.save(p / "x.gif"), ValueError),
    BadPaintRow("no extension", lambda s, p: s.save(p / "x"), ValueError),
    BadPaintRow("module size 0", lambda s, p: s.save(p / "x.png", 0), ValueError),
    BadPaintRow("resolution 0", lambda s, p: s.save(p / "x.svg", 25, resolution=0), ValueError),
    BadPaintRow("colour beyond 24 bits", lambda s, p: s.save(p / "x.png", foreground=0x1000000),
                ValueError),
    BadPaintRow("colour text not hex", lambda s, p: s.save(p / "x.png", background="white!"),
                ValueError),
    BadPaintRow("NUL in the path", lambda s, p: s.save(str(p / "x\0y.png")), ValueError),
    BadPaintRow("stream without write", lambda s, p: s.write(object()), TypeError),
    BadPaintRow("unknown stream format", lambda s, p: s.to_bytes("gif"), ValueError),
    BadPaintRow("NUL in the separator", lambda s, p: s.font_string("a\0b"), ValueError),
    BadPaintRow("separator bytes", lambda s, p: s.font_string(b"|"), TypeError),
]


@pytest.mark.parametrize("row", BAD_PAINT_ROWS, ids=[row.name for row in BAD_PAINT_ROWS])
def test_bad_paint_arguments(symbol: qrkit.Symbol, row: BadPaintRow, tmp_path) -> None:
    with pytest.raises(row.error):
        row.call(symbol, tmp_path)
    assert os.listdir(tmp_path) == []


def test_image_too_large_for_the_format(symbol: qrkit.Symbol, tmp_path) -> None:
    # The library refuses an extent beyond 32 bits with its bare 8, passed on as 0x80520008.
    with pytest.raises(qrkit.EncodeError) as raised:
        symbol.save(tmp_path / "huge.png", 0x7FFFFFFF)
    assert (raised.value.code, raised.value.message) == (0x80520008, "Unspecified error.")
    assert os.listdir(tmp_path) == []


def test_closed_symbol_refuses_every_call(tmp_path) -> None:
    symbol = qrkit.encode("A")
    symbol.close()
    for call in (lambda: symbol.save(tmp_path / "x.png"), lambda: symbol.to_bytes(), symbol.emf,
                 symbol.copy_to_clipboard, symbol.font_string):
        with pytest.raises(ValueError, match="closed"):
            call()
    assert os.listdir(tmp_path) == []


def test_to_pil_quiet_zone() -> None:
    with qrkit.encode_micro("12345") as micro, qrkit.encode("12345") as qr:
        assert micro.to_pil().size == (11 + 4, 11 + 4)
        assert qr.to_pil(3).size == (3 * (21 + 8), 3 * (21 + 8))
        assert qr.to_pil(1, quiet_zone=0).getpixel((0, 0)) == 0
