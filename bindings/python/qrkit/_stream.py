"""A byte stream object the stream paint exports can write to, over a Python binary file object.

The library takes a COM ``IStream`` (on Windows; elsewhere the interface of qrkit/istream.h with the
same methods in the same order) and only ever calls its ``Write`` while painting. The adapter builds
such an object by hand: one pointer to a table of fourteen callbacks. ``Write`` hands the bytes to the
file object; every other method answers ``E_NOTIMPL`` (``QueryInterface`` answers the stream's own
ids). An exception raised by the file object is kept and raised again after the paint call returns.
"""

from __future__ import annotations

import ctypes
from typing import Any, BinaryIO, List, Optional

from ._native import FUNCTYPE

_HRESULT = ctypes.c_int32
_ULONG = ctypes.c_uint32
_S_OK = 0
_E_NOTIMPL = -0x7FFFBFFF  # 0x80004001
_E_NOINTERFACE = -0x7FFFBFFE  # 0x80004002
_E_POINTER = -0x7FFFBFFD  # 0x80004003
_STG_E_WRITEFAULT = -0x7FFCFFE3  # 0x8003001D

# The interface ids the stream answers: IUnknown, ISequentialStream and IStream.
_OWN_IDS = {
    bytes.fromhex("00000000" "0000" "0000" "C000000000000046"),
    bytes.fromhex("303A730C" "1C2A" "CE11" "ADE500AA0044773A"),
    bytes.fromhex("0C000000" "0000" "0000" "C000000000000046"),
}

_p = ctypes.c_void_p
# The IStream methods in their order, each with its prototype (this pointer first).
_METHODS = [
    ("QueryInterface", FUNCTYPE(_HRESULT, _p, _p, _p)),
    ("AddRef", FUNCTYPE(_ULONG, _p)),
    ("Release", FUNCTYPE(_ULONG, _p)),
    ("Read", FUNCTYPE(_HRESULT, _p, _p, _ULONG, _p)),
    ("Write", FUNCTYPE(_HRESULT, _p, _p, _ULONG, _p)),
    ("Seek", FUNCTYPE(_HRESULT, _p, ctypes.c_int64, ctypes.c_uint32, _p)),
    ("SetSize", FUNCTYPE(_HRESULT, _p, ctypes.c_uint64)),
    ("CopyTo", FUNCTYPE(_HRESULT, _p, _p, ctypes.c_uint64, _p, _p)),
    ("Commit", FUNCTYPE(_HRESULT, _p, ctypes.c_uint32)),
    ("Revert", FUNCTYPE(_HRESULT, _p)),
    ("LockRegion", FUNCTYPE(_HRESULT, _p, ctypes.c_uint64, ctypes.c_uint64, ctypes.c_uint32)),
    ("UnlockRegion", FUNCTYPE(_HRESULT, _p, ctypes.c_uint64, ctypes.c_uint64, ctypes.c_uint32)),
    ("Stat", FUNCTYPE(_HRESULT, _p, _p, ctypes.c_uint32)),
    ("Clone", FUNCTYPE(_HRESULT, _p, _p)),
]


class _VTable(ctypes.Structure):
    _fields_ = [(name, prototype) for name, prototype in _METHODS]


class _StreamObject(ctypes.Structure):
    _fields_ = [("vtable", ctypes.POINTER(_VTable))]


def _not_implemented(*_arguments: Any) -> int:
    return _E_NOTIMPL


class StreamAdapter:
    """An ``IStream`` for one paint call over ``target`` (anything with a ``write(bytes)`` method)."""

    def __init__(self, target: BinaryIO) -> None:
        self._target = target
        self.error: Optional[BaseException] = None
        callbacks: List[Any] = []
        for name, prototype in _METHODS:
            callbacks.append(prototype(getattr(self, "_" + name, _not_implemented)))
        self._vtable = _VTable(*callbacks)
        self._object = _StreamObject(ctypes.pointer(self._vtable))

    @property
    def pointer(self) -> int:
        """The address to hand to the stream paint exports; valid while the adapter lives."""
        return ctypes.addressof(self._object)

    def _QueryInterface(self, this: int, iid: int, out: int) -> int:
        if not out:
            return _E_POINTER
        if not iid or ctypes.string_at(iid, 16) not in _OWN_IDS:
            ctypes.c_void_p.from_address(out).value = None
            return _E_NOINTERFACE
        ctypes.c_void_p.from_address(out).value = this
        return _S_OK

    def _AddRef(self, _this: int) -> int:
        return 1

    def _Release(self, _this: int) -> int:
        return 1

    def _Write(self, _this: int, buffer: int, size: int, written: int) -> int:
        if written:
            _ULONG.from_address(written).value = 0
        if self.error is not None:
            return _STG_E_WRITEFAULT
        try:
            view = memoryview(ctypes.string_at(buffer, size)) if size else memoryview(b"")
            done = 0
            while done < size:
                count = self._target.write(view[done:])
                if count is None:  # a raw stream that takes nothing now
                    raise BlockingIOError("the stream took no bytes")
                if count <= 0:
                    raise OSError("the stream took no bytes")
                done += count
        except BaseException as error:  # kept and raised again once the library returns
            self.error = error
            return _STG_E_WRITEFAULT
        if written:
            _ULONG.from_address(written).value = size
        return _S_OK
