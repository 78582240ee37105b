"""qrkit: QR Code and Micro QR Code symbols as font strings, images and module matrices.

A thin ctypes layer over the qrkit library (libqrkit.so, qrkit.dll)::

    import qrkit

    symbol = qrkit.encode("https://example.com", level="M")
    print(symbol.version, symbol.size)
    print(symbol.font_string("\\n"))      # hex digits for a QR barcode font
    symbol.save("symbol.png", module_size=8)

Data are taken literally: a str is encoded as its UTF-8 bytes, bytes as they are. ``escapes=True``
passes qrkit's input language instead (``~d065`` a decimal byte, ``~2[P][T,Y]`` structured append,
``~50[:swiss7]`` a center overlay, ...). Every failure the library reports raises
:class:`EncodeError` with the library's result code and message.
"""

from __future__ import annotations

import ctypes
import io
import os
import threading
import weakref
from typing import IO, Any, List, Optional, Tuple, Union

from . import _input
from ._native import WINDOWS, LibraryNotFoundError, lib
from ._stream import StreamAdapter

__all__ = [
    "EncodeError",
    "LibraryNotFoundError",
    "Symbol",
    "clipboard_metafile",
    "encode",
    "encode_hibc",
    "encode_micro",
    "encode_wide",
    "error_message",
    "library_path",
    "parity",
]

__version__ = "0.1.0"

Data = _input.Data
PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
Colour = Union[int, str]

_FACILITY = 0x80520000
_LEVELS = {"L": 0, "M": 1, "Q": 2, "H": 3}
_MODES = {"auto": 0, "narrowest": 1, "numeric": 2, "alphanumeric": 3, "byte": 4}
_STRICT = 0x8000
# Segmentations: name -> (QR Code export, Micro QR Code export).
_SEGMENTATIONS = {"greedy": ("QRCodeEncode", "MicroQRCodeEncode"),
                  "optimal": ("QRCodeEncodeOptimal", "MicroQRCodeEncodeOptimal")}
# Image formats: name -> (library format code, raster?).
_FORMATS = {"png": (0, True), "bmp": (4, True), "svg": (1, False), "emf": (2, False), "eps": (3, False)}
_DEFAULT_MODULE_SIZE = {True: 4, False: 25}  # pixels; hundredths of a millimetre
_IN_LIBRARY_OUT_OF_MEMORY = _FACILITY | 11


class EncodeError(Exception):
    """A failure reported by the qrkit library.

    Attributes:
        code: the library's result code, 0x80520000 | number (for example 0x80520005), as an
            unsigned 32-bit value. Paint failures, which the library returns as bare numbers, are
            given the same form (0x8052000A for "File access denied").
        number: the error number, code & 0xFFFF.
        message: the library's message for the code, exactly as it gives it.
    """

    def __init__(self, code: int, message: Optional[str] = None) -> None:
        self.code = code & 0xFFFFFFFF
        self.number = self.code & 0xFFFF
        self.message = message if message is not None else error_message(self.code)
        super().__init__(f"{self.message} (result code 0x{self.code:08X})")


def error_message(code: int) -> str:
    """The library's English message for a result code (``QRCodeGetErrorMessage``)."""
    if not isinstance(code, int):
        raise TypeError(f"code must be int, not {type(code).__name__}")
    signed = ctypes.c_int32(code & 0xFFFFFFFF).value
    address = lib.QRCodeGetErrorMessage(signed)
    return ctypes.string_at(address).decode("ascii") if address else ""


def library_path() -> str:
    """The file the qrkit library was loaded from (or the name the system's loader resolved)."""
    return lib.path()


def _level(level: str) -> int:
    if not isinstance(level, str):
        raise TypeError(f"level must be one of 'L', 'M', 'Q', 'H', not {type(level).__name__}")
    try:
        return _LEVELS[level.upper()]
    except KeyError:
        raise ValueError(f"level must be one of 'L', 'M', 'Q', 'H', not {level!r}") from None


def _integer(name: str, value: Any, low: int, high: int) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{name} must be int, not {type(value).__name__}")
    if not low <= value <= high:
        raise ValueError(f"{name} must be {low} to {high}, not {value}")
    return value


def _version_word(version: int, strict: bool, mode: str) -> int:
    word = _integer("version", version, 0, 40)
    if not isinstance(mode, str) or mode.lower() not in _MODES:
        raise ValueError(f"mode must be one of {', '.join(_MODES)}, not {mode!r}")
    word |= _MODES[mode.lower()] << 8
    if strict:
        word |= _STRICT
    return word


def _colour(name: str, value: Colour) -> int:
    if isinstance(value, str):
        text = value[1:] if value.startswith("#") else value
        if len(text) != 6:
            raise ValueError(f"{name} must be RRGGBB, not {value!r}")
        try:
            return int(text, 16)
        except ValueError:
            raise ValueError(f"{name} must be RRGGBB, not {value!r}") from None
    return _integer(name, value, 0, 0xFFFFFF)


def _encode_export(segmentation: str, micro: bool) -> str:
    if not isinstance(segmentation, str) or segmentation.lower() not in _SEGMENTATIONS:
        raise ValueError(f"segmentation must be greedy or optimal, not {segmentation!r}")
    return _SEGMENTATIONS[segmentation.lower()][1 if micro else 0]


def _call_encode(function: str, text: bytes, word: int, level: int, micro: bool) -> "Symbol":
    handle = ctypes.c_void_p()
    code = getattr(lib, function)(text, word, level, ctypes.byref(handle))
    if code < 0:
        if handle.value:  # never left by the library on failure; released all the same
            lib.DestroyQRCodeEncodeResult(handle)
        raise EncodeError(code)
    return Symbol._adopt(handle.value, micro)


def encode(data: Data, level: str = "M", version: int = 0, strict: bool = False, *,
           mode: str = "auto", escapes: bool = False, segmentation: str = "greedy") -> "Symbol":
    """Encodes data as a QR Code symbol (``QRCodeEncode``, or ``QRCodeEncodeOptimal``).

    Args:
        data: str (encoded as UTF-8) or bytes, taken literally unless escapes is true.
        level: error correction level "L", "M", "Q" or "H".
        version: the smallest version allowed, 1-40; 0 for the smallest that holds the data.
        strict: fail unless the data fit the version given (which must then be 1-40).
        mode: division of plain data into modes: "auto", "narrowest" (each run numeric,
            alphanumeric or byte as a whole), "numeric", "alphanumeric" or "byte".
        escapes: read data in qrkit's input language.
        segmentation: how mode "auto" divides the data into modes: "greedy" (the library's fixed
            look-ahead rule) or "optimal" (the fewest bits, Kanji mode included for Shift JIS
            text, on the smallest version that holds them; a reader gets the same data).

    Raises:
        EncodeError: the library's failure, e.g. 0x80520005 "Input is too long".
        ValueError, TypeError: an argument outside its range or of the wrong type.
    """
    function = _encode_export(segmentation, micro=False)
    text = _input.input_text(_input.data_bytes(data), escapes)
    return _call_encode(function, text, _version_word(version, strict, mode), _level(level),
                        micro=False)


def encode_micro(data: Data, level: str = "M", version: int = 0, *,
                 escapes: bool = False, segmentation: str = "greedy") -> "Symbol":
    """Encodes data as a Micro QR Code symbol, M1 to M4 (``MicroQRCodeEncode``, or
    ``MicroQRCodeEncodeOptimal``).

    version is the smallest Micro version allowed, 1-4 for M1-M4, or 0 for the smallest that holds
    the data. The library lowers level to the highest one the chosen version offers (M1 has error
    detection only, M2 and M3 go up to M, M4 up to Q). Other arguments as for :func:`encode`.
    """
    function = _encode_export(segmentation, micro=True)
    text = _input.input_text(_input.data_bytes(data), escapes)
    return _call_encode(function, text, _integer("version", version, 0, 4),
                        _level(level), micro=True)


def encode_hibc(data: Data, level: str = "M", version: int = 0,
                strict: bool = False) -> "Symbol":
    """Encodes HIBC data as a QR Code symbol (``HIBC_QRCodeEncode``): '+', the data upper-cased
    and its modulo-43 check character.

    data holds at most 36 characters of "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%" (lower-case
    letters are upper-cased); anything else fails with 0x80520005, as the library reports it.
    """
    raw = _input.data_bytes(data)
    word = _version_word(version, strict, "auto")
    level_number = _level(level)
    if b"\0" in raw:
        # A zero byte is outside the HIBC character set, which the library rejects with this code.
        raise EncodeError(_FACILITY | 5)
    return _call_encode("HIBC_QRCodeEncode", raw, word, level_number, micro=False)


def encode_wide(data: str, level: str = "M", version: int = 0, strict: bool = False, *,
                mode: str = "auto", escapes: bool = False) -> "Symbol":
    """Encodes text through the library's UTF-16 entry point (``QRCodeEncode2W``).

    The library sends the text as ISO 8859-1 when every character is U+0001 to U+00FF, else as
    EF BB BF followed by UTF-8. Arguments as for :func:`encode`; data must be str.
    """
    units = _input.wide_units(data, escapes)
    word = _version_word(version, strict, mode)
    level_number = _level(level)
    wide = (ctypes.c_uint16 * (len(units) + 1))(*units)
    handle = lib.QRCodeEncode2W(wide, word, level_number)
    if handle:
        return Symbol._adopt(handle, micro=False)
    # The wide entry point gives no code: the narrow one, on the same bytes, tells which.
    probe = ctypes.c_void_p()
    code = lib.QRCodeEncode(_input.narrow_wide(units), word, level_number, ctypes.byref(probe))
    if probe.value:
        lib.DestroyQRCodeEncodeResult(probe)
    raise EncodeError(code if code < 0 else _IN_LIBRARY_OUT_OF_MEMORY)


def parity(data: Data, *, escapes: bool = False) -> int:
    """The structured-append parity (0-255) of a whole message (``QRCodeGetParity``): for literal
    data the XOR of its bytes; with escapes, of the data bytes the input language gives."""
    return int(lib.QRCodeGetParity(_input.input_text(_input.data_bytes(data), escapes)))


def _read_metafile(metafile: int) -> bytes:
    """The bytes of a metafile from PaintQRCodeImageEMF, which is then deleted."""
    if WINDOWS:
        gdi32 = ctypes.WinDLL("gdi32")  # type: ignore[attr-defined]
        gdi32.GetEnhMetaFileBits.restype = ctypes.c_uint
        gdi32.GetEnhMetaFileBits.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_void_p]
        gdi32.DeleteEnhMetaFile.argtypes = [ctypes.c_void_p]
        get_bits, delete = gdi32.GetEnhMetaFileBits, gdi32.DeleteEnhMetaFile
    else:
        get_bits, delete = lib.QRCodeMetafileGetBits, lib.QRCodeMetafileDelete
    try:
        size = get_bits(metafile, 0, None)
        buffer = ctypes.create_string_buffer(size)
        if size == 0 or get_bits(metafile, size, buffer) != size:
            raise EncodeError(_IN_LIBRARY_OUT_OF_MEMORY)
        return buffer.raw
    finally:
        delete(metafile)


def clipboard_metafile() -> Optional[bytes]:
    """The bytes of the enhanced metafile on the clipboard (as :meth:`Symbol.copy_to_clipboard`
    put it there), or None when the clipboard holds none. Outside Windows this is the library's
    in-process clipboard."""
    if not WINDOWS:
        size = lib.QRCodeClipboardGetMetafileBits(0, None)
        if size == 0:
            return None
        buffer = ctypes.create_string_buffer(size)
        if lib.QRCodeClipboardGetMetafileBits(size, buffer) != size:
            return None
        return buffer.raw
    user32 = ctypes.WinDLL("user32")  # type: ignore[attr-defined]
    gdi32 = ctypes.WinDLL("gdi32")  # type: ignore[attr-defined]
    user32.GetClipboardData.restype = ctypes.c_void_p
    user32.OpenClipboard.argtypes = [ctypes.c_void_p]
    gdi32.GetEnhMetaFileBits.restype = ctypes.c_uint
    gdi32.GetEnhMetaFileBits.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_void_p]
    if not user32.OpenClipboard(None):
        return None
    try:
        metafile = user32.GetClipboardData(14)  # CF_ENHMETAFILE
        if not metafile:
            return None
        size = gdi32.GetEnhMetaFileBits(metafile, 0, None)
        buffer = ctypes.create_string_buffer(size)
        if size == 0 or gdi32.GetEnhMetaFileBits(metafile, size, buffer) != size:
            return None
        return buffer.raw
    finally:
        user32.CloseClipboard()


def _destroy(handle: int) -> None:
    lib.DestroyQRCodeEncodeResult(ctypes.c_void_p(handle))


class Symbol:
    """An encoded symbol: its version, size and modules, its font string, and its images.

    Made by :func:`encode`, :func:`encode_micro`, :func:`encode_hibc` and :func:`encode_wide`.
    The library's result is released by :meth:`close`, by leaving a ``with`` block, or when the
    object is collected. A symbol may be shared between threads; its calls into the library take
    turns.

    Attributes:
        version: 1-40 for QR Code, 1-4 for Micro QR Code (M1-M4).
        size: modules per side (no quiet zone).
        micro: True for a Micro QR Code symbol.
    """

    version: int
    size: int
    micro: bool

    def __init__(self) -> None:
        raise TypeError("symbols are made by qrkit.encode, encode_micro, encode_hibc and encode_wide")

    @classmethod
    def _adopt(cls, handle: int, micro: bool) -> "Symbol":
        self = object.__new__(cls)
        self._handle = handle
        self._lock = threading.Lock()
        self._finalizer = weakref.finalize(self, _destroy, handle)
        self.micro = micro
        self.version = int(lib.QRCodeResultGetVersion(handle))
        self._rows = self._read_modules()
        self.size = len(self._rows)
        return self

    def _live_handle(self) -> int:
        if not self._finalizer.alive:
            raise ValueError("the symbol is closed")
        return self._handle

    def _read_modules(self) -> Tuple[Tuple[bool, ...], ...]:
        # The font string with line breaks through the caller's-buffer export: a hex digit holds a
        # column of four module rows, the top one in the most significant bit.
        text = self._font_string_into_buffer(b"\n")
        lines = text.split("\n")
        width = len(lines[0])
        if len(lines) != (width + 3) // 4 or any(len(line) != width for line in lines):
            raise RuntimeError(f"qrkit: the library returned a malformed font string: {text!r}")
        return tuple(
            tuple(bool((int(lines[row // 4][column], 16) >> (3 - row % 4)) & 1)
                  for column in range(width))
            for row in range(width))

    def _font_string_into_buffer(self, separator: bytes) -> str:
        function = lib.QRCodeResultGetBarcodeString
        handle = self._live_handle()
        size = ctypes.c_int(0)
        status = function(handle, None, ctypes.byref(size), separator)
        if status != 0:
            raise EncodeError(_FACILITY | status)
        buffer = ctypes.create_string_buffer(size.value)
        status = function(handle, buffer, ctypes.byref(size), separator)
        if status != 0:
            raise EncodeError(_FACILITY | status)
        return buffer.raw[:size.value].decode("utf-8")

    @property
    def matrix(self) -> List[List[bool]]:
        """The modules, row by row from the top, each row from the left: True for a dark module."""
        return [list(row) for row in self._rows]

    def __getitem__(self, position: Tuple[int, int]) -> bool:
        """symbol[row, column]: True for a dark module."""
        row, column = position
        if not (0 <= row < self.size and 0 <= column < self.size):
            raise IndexError(f"module ({row}, {column}) is outside the {self.size} x {self.size} symbol")
        return self._rows[row][column]

    def font_string(self, separator: str = "\n") -> str:
        """The symbol as lines of hex digits for a QR barcode font (``QRCodeResultGetBarcodeString2``):
        line j covers module rows 4j to 4j+3, the top row in the most significant bit; lines are
        joined by separator."""
        if not isinstance(separator, str):
            raise TypeError(f"separator must be str, not {type(separator).__name__}")
        if "\0" in separator:
            raise ValueError("separator must not contain a NUL character")
        with self._lock:
            address = lib.QRCodeResultGetBarcodeString2(self._live_handle(), separator.encode("utf-8"))
            if not address:
                raise EncodeError(_IN_LIBRARY_OUT_OF_MEMORY)
            return ctypes.string_at(address).decode("utf-8")

    def _paint_arguments(self, format: str, module_size: Optional[int], resolution: int,
                         foreground: Colour, background: Colour) -> Tuple[int, bool, int, int, int, int]:
        name = format.lower().lstrip(".") if isinstance(format, str) else format
        if name not in _FORMATS:
            raise ValueError(f"format must be one of {', '.join(_FORMATS)}, not {format!r}")
        code, raster = _FORMATS[name]
        size = _DEFAULT_MODULE_SIZE[raster] if module_size is None else module_size
        return (code, raster, _integer("module_size", size, 1, 0x7FFFFFFF),
                _integer("resolution", resolution, 1, 0x7FFFFFFF), _colour("foreground", foreground),
                _colour("background", background))

    def save(self, path: PathLike, module_size: Optional[int] = None, *, resolution: int = 300,
             foreground: Colour = 0x000000, background: Colour = 0xFFFFFF,
             format: Optional[str] = None) -> None:
        """Writes the symbol as an image file: PNG, BMP, SVG, EPS or EMF, from the extension of path
        or format (``PaintQRCodeImageRaster``, ``PaintQRCodeImageVector``). An existing file is
        replaced. No quiet zone is added.

        Args:
            path: the file to write.
            module_size: pixels per module for PNG and BMP (default 4); hundredths of a millimetre
                for SVG, EPS and EMF (default 25, 0.25 mm), rounded to whole dots at resolution.
            resolution: dots per inch of the vector formats (default 300).
            foreground, background: colours of the dark and light modules, 0xRRGGBB or "RRGGBB".
            format: "png", "bmp", "svg", "eps" or "emf", overriding the extension.

        Raises:
            EncodeError: 0x8052000A "File access denied" when the file cannot be written.
        """
        text_path = os.fspath(path)
        if format is None:
            suffix = os.path.splitext(text_path)[1]
            format = suffix.decode() if isinstance(suffix, bytes) else suffix
            if not format:
                raise ValueError(f"cannot tell the image format of {text_path!r}; pass format=")
        code, raster, size, dpi, fore, back = self._paint_arguments(format, module_size, resolution,
                                                                     foreground, background)
        if isinstance(text_path, str):
            # The library opens the 8-bit path with the platform's narrow file functions.
            native_path = text_path.encode("mbcs", "strict") if WINDOWS else os.fsencode(text_path)
        else:
            native_path = text_path
        if b"\0" in native_path or not native_path:
            raise ValueError("path must be a non-empty name without NUL characters")
        with self._lock:
            handle = self._live_handle()
            if raster:
                status = lib.PaintQRCodeImageRaster(handle, native_path, size, fore, back, code)
            else:
                status = lib.PaintQRCodeImageVector(handle, native_path, size, dpi, fore, back, code)
        if status != 0:
            raise EncodeError(_FACILITY | status)

    def write(self, stream: IO[bytes], format: str = "png", module_size: Optional[int] = None, *,
              resolution: int = 300, foreground: Colour = 0x000000,
              background: Colour = 0xFFFFFF) -> None:
        """Writes the image to a binary file object from its current position
        (``PaintQRCodeImageRaster2``, ``PaintQRCodeImageVector2``). Arguments as for :meth:`save`.

        Raises:
            EncodeError: 0x8052000A when the stream refused bytes; the stream's own exception is
                its ``__cause__``.
        """
        code, raster, size, dpi, fore, back = self._paint_arguments(format, module_size, resolution,
                                                                     foreground, background)
        if not callable(getattr(stream, "write", None)):
            raise TypeError("stream must have a write method")
        adapter = StreamAdapter(stream)
        with self._lock:
            handle = self._live_handle()
            if raster:
                status = lib.PaintQRCodeImageRaster2(handle, adapter.pointer, size, fore, back, code)
            else:
                status = lib.PaintQRCodeImageVector2(handle, adapter.pointer, size, dpi, fore, back,
                                                     code)
        if adapter.error is not None:
            if not isinstance(adapter.error, Exception):
                raise adapter.error  # KeyboardInterrupt and the like go on as they came
            raise EncodeError(_FACILITY | (status or 10)) from adapter.error
        if status != 0:
            raise EncodeError(_FACILITY | status)

    def to_bytes(self, format: str = "png", module_size: Optional[int] = None, *,
                 resolution: int = 300, foreground: Colour = 0x000000,
                 background: Colour = 0xFFFFFF) -> bytes:
        """The image file's bytes, painted through the stream exports. Arguments as for :meth:`save`."""
        buffer = io.BytesIO()
        self.write(buffer, format, module_size, resolution=resolution, foreground=foreground,
                   background=background)
        return buffer.getvalue()

    def emf(self, module_size: int = 25, resolution: int = 300, *, foreground: Colour = 0x000000,
            background: Colour = 0xFFFFFF) -> bytes:
        """The bytes of the symbol's enhanced metafile (``PaintQRCodeImageEMF``), in 0.01 mm units,
        module_size hundredths of a millimetre a module rounded to whole dots at resolution."""
        _, _, size, dpi, fore, back = self._paint_arguments("emf", module_size, resolution,
                                                             foreground, background)
        with self._lock:
            metafile = lib.PaintQRCodeImageEMF(self._live_handle(), size, dpi, fore, back, 0)
        if not metafile:
            raise EncodeError(_IN_LIBRARY_OUT_OF_MEMORY)
        return _read_metafile(metafile)

    def copy_to_clipboard(self, module_size: int = 25, resolution: int = 300, *,
                          foreground: Colour = 0x000000, background: Colour = 0xFFFFFF) -> None:
        """Puts the symbol's enhanced metafile on the clipboard (``PaintQRCodeImageClipboard``).

        Raises:
            EncodeError: 0x8052000A when the clipboard cannot be opened (another program holds it).
        """
        _, _, size, dpi, fore, back = self._paint_arguments("emf", module_size, resolution,
                                                             foreground, background)
        with self._lock:
            status = lib.PaintQRCodeImageClipboard(self._live_handle(), size, dpi, fore, back)
        if status != 0:
            raise EncodeError(_FACILITY | status)

    def to_pil(self, module_size: int = 1, quiet_zone: Optional[int] = None) -> Any:
        """The symbol as a PIL image (mode "L", black on white), module_size pixels a module, with a
        light border of quiet_zone modules (default 4 for QR Code, 2 for Micro QR Code, the least a
        reader needs). Needs Pillow."""
        try:
            from PIL import Image
        except ImportError as error:
            raise ImportError("Symbol.to_pil needs Pillow (pip install Pillow)") from error
        size = _integer("module_size", module_size, 1, 1 << 16)
        zone = (2 if self.micro else 4) if quiet_zone is None else _integer("quiet_zone", quiet_zone,
                                                                             0, 1 << 16)
        side = self.size + 2 * zone
        pixels = bytearray(b"\xff") * (side * side)
        for row, modules in enumerate(self._rows):
            start = (row + zone) * side + zone
            pixels[start:start + self.size] = bytes(0 if dark else 255 for dark in modules)
        image = Image.frombytes("L", (side, side), bytes(pixels))
        if size != 1:
            image = image.resize((side * size, side * size), Image.NEAREST)
        return image

    def close(self) -> None:
        """Releases the library's result (``DestroyQRCodeEncodeResult``). Closing twice does nothing;
        other methods then raise ValueError (the version, size and matrix stay readable)."""
        with self._lock:
            self._finalizer()

    @property
    def closed(self) -> bool:
        """True once :meth:`close` has released the result."""
        return not self._finalizer.alive

    def __enter__(self) -> "Symbol":
        return self

    def __exit__(self, *_exception: Any) -> None:
        self.close()

    def __repr__(self) -> str:
        kind = f"M{self.version}" if self.micro else f"version {self.version}"
        state = ", closed" if self.closed else ""
        return f"<qrkit.Symbol {kind}, {self.size} x {self.size}{state}>"
