"""The P/Invoke declarations of bindings/dotnet/Qrkit/NativeMethods.cs against the library: one
declaration for every export of the C headers, with its argument count and the argument and result
kinds (pointer, 32-bit signed or unsigned), the StdCall calling convention (the exports' convention on
every 32-bit x86 target, ignored on 64-bit ones), and the export tables of the DLLs
scripts/build-windows.sh built."""

import os
import re
import sys
from pathlib import Path
from typing import Dict, List, Tuple

import pytest

SOURCE_ROOT = Path(__file__).resolve().parents[3]
sys.path.insert(0, str(SOURCE_ROOT / "tests" / "tools"))

from export_table import built_dlls, c_kind, dll_exports, header_functions  # noqa: E402

SOURCE = SOURCE_ROOT / "bindings" / "dotnet" / "Qrkit" / "NativeMethods.cs"
_KINDS = {"int": ("int", 32, True), "uint": ("int", 32, False)}
_POINTERS = {"byte[]", "string", "SymbolHandle", "IntPtr"}

_IMPORT = re.compile(r"\[DllImport\((.*?)\)\]\s*public static extern (\S+) (\w+)\((.*?)\);", re.S)


def kind_of(declaration: str) -> Tuple:
    """The kind of a C# parameter or result: ("pointer",) or ("int", bits, signed)."""
    declaration = re.sub(r"^\s*(\[[^\]]*\]\s*)*", "", declaration).strip()
    words = declaration.split()
    if words[0] in ("out", "ref"):
        return ("pointer",)
    if words[0] in _POINTERS:
        return ("pointer",)
    return _KINDS[words[0]]


def c_kind_short(ctype: str) -> Tuple:
    kind = c_kind(ctype)
    return kind if kind[0] == "int" else ("pointer",)


def imports() -> Dict[str, Tuple[str, str, List[str]]]:
    text = SOURCE.read_text(encoding="utf-8")
    found: Dict[str, Tuple[str, str, List[str]]] = {}
    for attribute, result, name, parameters in _IMPORT.findall(text):
        assert name not in found, f"{name} is declared twice"
        found[name] = (attribute, result, [p for p in parameters.split(",") if p.strip()])
    return found


def test_calling_convention_is_stdcall() -> None:
    text = SOURCE.read_text(encoding="utf-8")
    assert "const CallingConvention Convention = CallingConvention.StdCall;" in text
    for name, (attribute, _, _) in imports().items():
        assert attribute.startswith("Library,") and "CallingConvention = Convention" in attribute, name


def test_every_export_declared_with_its_types() -> None:
    functions = header_functions(str(SOURCE_ROOT))
    declared = imports()
    assert sorted(declared) == sorted(functions), "one declaration for each export of the headers"
    for name, (_, result, parameters) in declared.items():
        function = functions[name]
        assert len(parameters) == len(function.parameters), f"{name}: argument count"
        for declaration, (ctype, cname) in zip(parameters, function.parameters):
            assert kind_of(declaration) == c_kind_short(ctype), \
                f"{name}: {declaration.strip()} for {ctype} {cname}"
        assert kind_of(result) == c_kind_short(function.result), f"{name}: result"


DLLS = built_dlls(str(SOURCE_ROOT))


@pytest.mark.skipif(not DLLS, reason="no Windows build (scripts/build-windows.sh makes it)")
@pytest.mark.parametrize("objdump,dll", DLLS, ids=[os.path.basename(os.path.dirname(os.path.dirname(d)))
                                                   for _, d in DLLS])
def test_declarations_match_the_dll(objdump: str, dll: str) -> None:
    exported = dll_exports(objdump, dll)
    functions = header_functions(str(SOURCE_ROOT))
    for name in imports():
        if functions[name].windows:
            assert name in exported, f"{dll} has no export {name}"
