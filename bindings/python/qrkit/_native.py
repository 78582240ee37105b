"""Finding and loading libqrkit, and the ctypes prototypes of its exports.

The library is looked for, in this order:

1. the file named by the environment variable ``QRKIT_LIBRARY``, when it is set;
2. beside this package (``libqrkit.so.0``, ``libqrkit.so``, ``libqrkit.dylib`` or ``qrkit.dll`` in the
   ``qrkit`` folder), for applications that ship the library with the package;
3. by its name through the platform's loader: ``LD_LIBRARY_PATH``, the run path of the program, the
   ``ld.so`` cache and the system folders on Linux (the library installed under a prefix the loader
   knows), the DLL search path on Windows;
4. through ``ctypes.util.find_library("qrkit")``.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import threading
from pathlib import Path
from typing import Any, Dict, List, Optional, Tuple

WINDOWS = sys.platform == "win32"

#: Prototype factory of callbacks the library calls (stdcall on 32-bit Windows).
FUNCTYPE = ctypes.WINFUNCTYPE if WINDOWS else ctypes.CFUNCTYPE

_c = ctypes
_HANDLE = _c.c_void_p
_TEXT = _c.c_char_p
_BUFFER = _c.POINTER(_c.c_char)

#: Every export of qrkit.dll and libqrkit, as in qrkit/qrkit.h and qrkit/qrkit_paint.h:
#: name -> (result type, argument types). Pointers the library returns (messages, font strings,
#: metafiles) are read as plain addresses, never freed by ctypes.
PROTOTYPES: Dict[str, Tuple[Any, Tuple[Any, ...]]] = {
    # Encoding.
    "QRCodeEncode": (_c.c_int32, (_TEXT, _c.c_int, _c.c_int, _c.POINTER(_HANDLE))),
    "QRCodeEncode2": (_HANDLE, (_TEXT, _c.c_int, _c.c_int)),
    "QRCodeEncode2W": (_HANDLE, (_c.POINTER(_c.c_uint16), _c.c_int, _c.c_int)),
    "MicroQRCodeEncode": (_c.c_int32, (_TEXT, _c.c_int, _c.c_int, _c.POINTER(_HANDLE))),
    "MicroQRCodeEncode2": (_HANDLE, (_TEXT, _c.c_int, _c.c_int)),
    "HIBC_QRCodeEncode": (_c.c_int32, (_TEXT, _c.c_int, _c.c_int, _c.POINTER(_HANDLE))),
    "HIBC_QRCodeEncode2": (_HANDLE, (_TEXT, _c.c_int, _c.c_int)),
    "QRCodeGetParity": (_c.c_int, (_TEXT,)),
    "QRCodeEncodeOptimal": (_c.c_int32, (_TEXT, _c.c_int, _c.c_int, _c.POINTER(_HANDLE))),
    "MicroQRCodeEncodeOptimal": (_c.c_int32, (_TEXT, _c.c_int, _c.c_int, _c.POINTER(_HANDLE))),
    # Results and messages.
    "QRCodeResultGetVersion": (_c.c_int, (_HANDLE,)),
    "DestroyQRCodeEncodeResult": (_c.c_int, (_HANDLE,)),
    "QRCodeGetErrorMessage": (_c.c_void_p, (_c.c_int32,)),
    # Font strings.
    "QRCodeResultGetBarcodeString": (_c.c_int, (_HANDLE, _BUFFER, _c.POINTER(_c.c_int), _TEXT)),
    "QRCodeResultGetBarcodeString2": (_c.c_void_p, (_HANDLE, _TEXT)),
    # Painting.
    "PaintQRCodeImageRaster": (
        _c.c_int32, (_HANDLE, _TEXT, _c.c_int32, _c.c_uint32, _c.c_uint32, _c.c_int32)),
    "PaintQRCodeImageVector": (
        _c.c_int32, (_HANDLE, _TEXT, _c.c_int32, _c.c_int32, _c.c_uint32, _c.c_uint32, _c.c_int32)),
    "PaintQRCodeImageRaster2": (
        _c.c_int32, (_HANDLE, _c.c_void_p, _c.c_int32, _c.c_uint32, _c.c_uint32, _c.c_int32)),
    "PaintQRCodeImageVector2": (
        _c.c_int32,
        (_HANDLE, _c.c_void_p, _c.c_int32, _c.c_int32, _c.c_uint32, _c.c_uint32, _c.c_int32)),
    "PaintQRCodeImageEMF": (
        _c.c_void_p, (_HANDLE, _c.c_int32, _c.c_int32, _c.c_uint32, _c.c_uint32, _c.c_int32)),
    "PaintQRCodeImageClipboard": (
        _c.c_int32, (_HANDLE, _c.c_int32, _c.c_int32, _c.c_uint32, _c.c_uint32)),
}

#: The exports of the library outside Windows, where it makes metafiles and keeps a clipboard itself.
NON_WINDOWS_PROTOTYPES: Dict[str, Tuple[Any, Tuple[Any, ...]]] = {
    "QRCodeMetafileGetBits": (_c.c_uint32, (_c.c_void_p, _c.c_uint32, _c.c_void_p)),
    "QRCodeMetafileDelete": (_c.c_int, (_c.c_void_p,)),
    "QRCodeClipboardGetMetafileBits": (_c.c_uint32, (_c.c_uint32, _c.c_void_p)),
}


class LibraryNotFoundError(OSError):
    """The qrkit library (libqrkit.so.0, qrkit.dll) could not be found or loaded."""


def _file_names() -> List[str]:
    if WINDOWS:
        return ["qrkit.dll"]
    if sys.platform == "darwin":
        return ["libqrkit.0.dylib", "libqrkit.dylib"]
    return ["libqrkit.so.0", "libqrkit.so"]


def _loaded_file(dll: ctypes.CDLL) -> Optional[str]:
    """The file a loaded library came from, as the system's loader reports it."""
    try:
        if WINDOWS:
            kernel32 = ctypes.WinDLL("kernel32")  # type: ignore[attr-defined]
            kernel32.GetModuleFileNameW.argtypes = [ctypes.c_void_p, ctypes.c_wchar_p, ctypes.c_uint32]
            buffer = ctypes.create_unicode_buffer(32768)
            count = kernel32.GetModuleFileNameW(ctypes.c_void_p(dll._handle), buffer, len(buffer))
            return buffer.value if count else None

        class _DlInfo(ctypes.Structure):
            _fields_ = [("dli_fname", ctypes.c_char_p), ("dli_fbase", ctypes.c_void_p),
                        ("dli_sname", ctypes.c_char_p), ("dli_saddr", ctypes.c_void_p)]

        loader = ctypes.CDLL(None)
        loader.dladdr.argtypes = [ctypes.c_void_p, ctypes.POINTER(_DlInfo)]
        info = _DlInfo()
        address = ctypes.cast(dll.QRCodeGetErrorMessage, ctypes.c_void_p)
        if loader.dladdr(address, ctypes.byref(info)) and info.dli_fname:
            return os.path.realpath(os.fsdecode(info.dli_fname))
    except (AttributeError, OSError):
        pass
    return None


class _Library:
    """The loaded library and its configured functions, loaded on first use."""

    def __init__(self) -> None:
        self._lock = threading.Lock()
        self._dll: Optional[ctypes.CDLL] = None
        self._path: Optional[str] = None
        self._functions: Dict[str, Any] = {}

    def _load(self) -> ctypes.CDLL:
        loader = ctypes.WinDLL if WINDOWS else ctypes.CDLL  # type: ignore[attr-defined]
        tried: List[str] = []
        explicit = os.environ.get("QRKIT_LIBRARY")
        if explicit:
            try:
                dll = loader(explicit)
            except OSError as error:
                raise LibraryNotFoundError(
                    f"qrkit: cannot load the library named by QRKIT_LIBRARY ({explicit}): {error}"
                ) from error
            self._path = explicit
            return dll
        candidates = [str(Path(__file__).resolve().parent / name) for name in _file_names()]
        candidates = [path for path in candidates if os.path.exists(path)]
        candidates += _file_names()
        found = ctypes.util.find_library("qrkit")
        if found:
            candidates.append(found)
        for candidate in candidates:
            try:
                dll = loader(candidate)
            except OSError as error:
                tried.append(f"{candidate} ({error})")
                continue
            self._path = candidate
            return dll
        raise LibraryNotFoundError(
            "qrkit: the qrkit library was not found. Looked for "
            + ", ".join(_file_names())
            + f" beside the package ({Path(__file__).resolve().parent}) and through the system's"
            " loader (LD_LIBRARY_PATH, the ld.so cache and the system folders; PATH and the"
            " application folder on Windows). Install qrkit, add its library folder to"
            " LD_LIBRARY_PATH, or set QRKIT_LIBRARY to the library file. Tried: " + "; ".join(tried)
        )

    def dll(self) -> ctypes.CDLL:
        with self._lock:
            if self._dll is None:
                self._dll = self._load()
            return self._dll

    def path(self) -> str:
        dll = self.dll()
        assert self._path is not None
        return _loaded_file(dll) or self._path

    def function(self, name: str) -> Any:
        """The export called name, with its prototype set."""
        function = self._functions.get(name)
        if function is not None:
            return function
        prototype = PROTOTYPES.get(name) or NON_WINDOWS_PROTOTYPES.get(name)
        if prototype is None:
            raise KeyError(f"qrkit: no prototype for {name}")
        dll = self.dll()
        try:
            function = getattr(dll, name)
        except AttributeError as error:
            raise LibraryNotFoundError(
                f"qrkit: the library at {self._path} has no export {name}; it is older than this"
                " package"
            ) from error
        function.restype, function.argtypes = prototype[0], list(prototype[1])
        self._functions[name] = function
        return function

    def __getattr__(self, name: str) -> Any:
        if name.startswith("_"):
            raise AttributeError(name)
        return self.function(name)


#: The library, loaded when first used: ``lib.QRCodeEncode(...)``.
lib = _Library()
