#!/usr/bin/python3
"""The exports of qrkit as its C headers declare them, as qrkit/qrkit.def lists them and as a built
DLL's export table holds them, for the tests that keep the language kits in step with the library.

    header_functions(source_dir)  -> {name: CFunction}   (qrkit/qrkit.h and qrkit/qrkit_paint.h)
    def_exports(source_dir)       -> {name: ordinal}     (qrkit/qrkit.def)
    dll_exports(objdump, dll)     -> {name: ordinal}     (objdump -p of a PE file)
    c_kind(type)                  -> ("int", bits, signed) or ("pointer", type)
"""

from __future__ import annotations

import os
import re
import subprocess
from dataclasses import dataclass, field
from typing import Dict, List, Tuple

_INTEGERS = {"int": (32, True), "int32_t": (32, True), "uint32_t": (32, False)}
_HANDLE_TYPES = {"QRCODE_RESULT", "qrkit_metafile"}


@dataclass
class CFunction:
    name: str
    result: str
    parameters: List[Tuple[str, str]] = field(default_factory=list)  # (type, name)
    windows: bool = True  # declared for Windows builds (not inside #if !defined(_WIN32))


def _normal_type(text: str) -> str:
    text = re.sub(r"\s*\*\s*", "*", text.strip())
    return re.sub(r"\s+", " ", text)


def c_kind(ctype: str) -> Tuple:
    """("int", bits, signed) for an integer type, ("pointer", type) for a pointer or handle."""
    ctype = _normal_type(ctype)
    if ctype.endswith("*") or ctype in _HANDLE_TYPES:
        return ("pointer", ctype)
    if ctype in _INTEGERS:
        return ("int",) + _INTEGERS[ctype]
    raise ValueError(f"unknown C type {ctype!r}")


def header_functions(source_dir: str) -> Dict[str, CFunction]:
    """Every QRKIT_API function of the public headers, in the order declared."""
    functions: Dict[str, CFunction] = {}
    for header in ("qrkit/qrkit.h", "qrkit/qrkit_paint.h"):
        with open(os.path.join(source_dir, header), encoding="utf-8") as file:
            text = file.read()
        text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
        text = re.sub(r"//[^\n]*", " ", text)
        # Which conditional blocks exclude Windows: a stack of flags, one per open #if.
        statements: List[Tuple[bool, str]] = []
        stack: List[bool] = []
        pending = ""
        for line in text.split("\n"):
            stripped = line.strip()
            if stripped.startswith("#"):
                directive = stripped[1:].strip()
                if directive.startswith("if"):
                    stack.append(bool(re.match(r"if\s+!\s*defined\s*\(\s*_WIN32\s*\)", directive)))
                elif directive.startswith("endif"):
                    stack.pop()
                elif directive.startswith("else"):
                    stack[-1] = False
                continue
            pending += " " + stripped
            while ";" in pending:
                statement, pending = pending.split(";", 1)
                statements.append((not any(stack), statement))
        for windows, statement in statements:
            match = re.search(r"QRKIT_API\s+(.+?)\s*QRKIT_CALL\s+(\w+)\s*\((.*)\)\s*$", statement.strip())
            if not match:
                continue
            result, name, parameter_text = match.groups()
            parameters = []
            for parameter in filter(None, (p.strip() for p in parameter_text.split(","))):
                ptype, pname = re.match(r"(.*?)(\w+)$", parameter).groups()
                parameters.append((_normal_type(ptype), pname))
            functions[name] = CFunction(name, _normal_type(result), parameters, windows)
    return functions


def def_exports(source_dir: str) -> Dict[str, int]:
    """The names and ordinals of qrkit/qrkit.def."""
    exports: Dict[str, int] = {}
    with open(os.path.join(source_dir, "qrkit/qrkit.def"), encoding="utf-8") as file:
        for line in file:
            match = re.match(r"\s*(\w+)\s+@(\d+)", line.split(";", 1)[0])
            if match:
                exports[match.group(1)] = int(match.group(2))
    return exports


def dll_exports(objdump: str, dll: str) -> Dict[str, int]:
    """The named exports of a PE file and their ordinals, from objdump -p (whose name table lists
    ordinal minus the ordinal base)."""
    dump = subprocess.run([objdump, "-p", dll], check=True, capture_output=True, text=True).stdout
    base = 0
    exports: Dict[str, int] = {}
    in_names = False
    for line in dump.splitlines():
        if line.startswith("Ordinal Base"):
            base = int(line.split()[2])
        elif line.startswith("[Ordinal/Name Pointer] Table"):
            in_names = True
        elif in_names:
            match = re.match(r"\s*\[\s*(\d+)\]\s+(\S+)", line)
            if not match:
                in_names = False
                continue
            exports[match.group(2)] = base + int(match.group(1))
    return exports


def built_dlls(source_dir: str) -> List[Tuple[str, str]]:
    """(objdump, qrkit.dll) of each Windows build to check: those named by QRKIT_DLLS (entries
    OBJDUMP=DLL separated by os.pathsep), else those scripts/build-windows.sh left in build-windows/."""
    named = os.environ.get("QRKIT_DLLS")
    if named:
        return [tuple(entry.split("=", 1)) for entry in named.split(os.pathsep) if entry]  # type: ignore
    found = []
    for triplet in ("i686-w64-mingw32", "x86_64-w64-mingw32"):
        dll = os.path.join(source_dir, "build-windows", triplet, "qrkit", "qrkit.dll")
        if os.path.exists(dll):
            found.append((f"{triplet}-objdump", dll))
    return found
