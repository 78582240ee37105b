"""The VBA module against the library: every Declare of bindings/vba/qrkit.bas is checked against the C
headers (name, argument count, argument and result types, for 32-bit VB6 and for VBA7 with LongPtr),
against qrkit/qrkit.def, and against the export tables of the DLLs scripts/build-windows.sh built.
No VBA engine runs here, so the module's structure is checked too."""

import os
import re
import sys
from dataclasses import dataclass
from pathlib import Path
from typing import Dict, List, Optional, Tuple

import pytest

SOURCE_ROOT = Path(__file__).resolve().parents[3]
sys.path.insert(0, str(SOURCE_ROOT / "tests" / "tools"))

from export_table import (built_dlls, c_kind, def_exports, dll_exports,  # noqa: E402
                          header_functions)

MODULE = SOURCE_ROOT / "bindings" / "vba" / "qrkit.bas"


@dataclass
class Declare:
    branch: str  # "vba7" or "legacy"
    public: bool
    ptrsafe: bool
    kind: str  # Function or Sub
    name: str
    lib: str
    alias: Optional[str]
    parameters: List[Tuple[str, str, str]]  # (ByVal|ByRef, name, type)
    result: Optional[str]
    line: int

    @property
    def entry(self) -> str:
        return self.alias or self.name


_DECLARE = re.compile(
    r'^(?:(Public|Private)\s+)?Declare\s+(PtrSafe\s+)?(Function|Sub)\s+(\w+)\s+Lib\s+"([^"]+)"'
    r'(?:\s+Alias\s+"([^"]+)")?\s*\((.*)\)(?:\s+As\s+(\w+))?\s*$', re.I)
_PARAMETER = re.compile(r"^(?:Optional\s+)?(ByVal|ByRef)\s+(\w+)(\(\))?\s+As\s+(\w+)$", re.I)


def logical_lines(text: str) -> List[Tuple[int, str]]:
    """The module's lines with ' _' continuations joined, each with its first line number."""
    lines: List[Tuple[int, str]] = []
    pending, start = "", 0
    for number, line in enumerate(text.splitlines(), 1):
        if not pending:
            start = number
        if line.endswith(" _"):
            pending += line[:-2] + " "
            continue
        lines.append((start, pending + line))
        pending = ""
    return lines


def parse_declares(text: str) -> List[Declare]:
    declares = []
    branches: List[str] = []  # the #If VBA7 branch each open #If is in ("" for other conditions)
    for number, line in logical_lines(text):
        stripped = line.strip()
        lowered = stripped.lower()
        if lowered.startswith("#if"):
            branches.append("vba7" if re.match(r"#if\s+vba7\s+then", lowered) else "")
            continue
        if lowered.startswith("#else"):
            branches[-1] = "legacy" if branches[-1] == "vba7" else branches[-1]
            continue
        if lowered.startswith("#end if"):
            branches.pop()
            continue
        match = _DECLARE.match(stripped)
        if not match:
            assert " declare " not in f" {lowered} " or lowered.startswith("'"), f"line {number}: {line}"
            continue
        scope, ptrsafe, kind, name, lib, alias, parameter_text, result = match.groups()
        parameters = []
        for parameter in filter(None, (p.strip() for p in parameter_text.split(","))):
            pmatch = _PARAMETER.match(parameter)
            assert pmatch, f"line {number}: parameter {parameter!r} must say ByVal or ByRef and As"
            assert not pmatch.group(3), f"line {number}: array parameter {parameter!r}"
            parameters.append(("ByVal" if pmatch.group(1).lower() == "byval" else "ByRef",
                               pmatch.group(2), pmatch.group(4)))
        branch = next((b for b in reversed(branches) if b), "")
        declares.append(Declare(branch, (scope or "Public").lower() == "public", bool(ptrsafe),
                                kind.capitalize(), name, lib, alias, parameters, result, number))
    return declares


@pytest.fixture(scope="module", name="declares")
def fixture_declares() -> List[Declare]:
    return parse_declares(MODULE.read_text(encoding="utf-8"))


@pytest.fixture(scope="module", name="functions")
def fixture_functions():
    return header_functions(str(SOURCE_ROOT))


def allowed_forms(ctype: str, pointer: str) -> set:
    """The (passing, VBA type) forms that carry a C parameter type."""
    kind = c_kind(ctype)
    if kind[0] == "int":
        return {("ByVal", "Long")}
    text = {("ByVal", "String"), ("ByRef", "Byte"), ("ByVal", pointer)}
    return {
        "const char*": text,
        "char*": text,
        "int*": {("ByRef", "Long")},
        "QRCODE_RESULT": {("ByVal", pointer)},
        "QRCODE_RESULT*": {("ByRef", pointer)},
        "const qrkit_char16*": {("ByVal", pointer)},
        "qrkit_istream*": {("ByVal", pointer)},
        "qrkit_metafile": {("ByVal", pointer)},
    }[ctype]


def result_form(ctype: str, pointer: str) -> str:
    return "Long" if c_kind(ctype)[0] == "int" else pointer


@pytest.mark.parametrize("branch", ["vba7", "legacy"])
def test_every_export_declared_once_by_its_name(declares: List[Declare], branch: str) -> None:
    exports = def_exports(str(SOURCE_ROOT))
    public = [d.name for d in declares if d.branch == branch and d.lib == "qrkit.dll" and d.public]
    assert sorted(public) == sorted(exports), "one public Declare, named as the export, for each export"
    assert all(d.alias is None for d in declares if d.branch == branch and d.public)


@pytest.mark.parametrize("branch", ["vba7", "legacy"])
def test_declares_match_the_header(declares: List[Declare], functions, branch: str) -> None:
    pointer = "LongPtr" if branch == "vba7" else "Long"
    exports = def_exports(str(SOURCE_ROOT))
    checked = 0
    for declare in (d for d in declares if d.branch == branch and d.lib == "qrkit.dll"):
        where = f"line {declare.line}: {declare.name}"
        assert declare.entry in exports, f"{where}: {declare.entry} is not an export of qrkit.dll"
        function = functions[declare.entry]
        assert function.windows, f"{where}: not exported on Windows"
        assert declare.kind == "Function", where
        assert len(declare.parameters) == len(function.parameters), f"{where}: argument count"
        for (passing, name, vbtype), (ctype, cname) in zip(declare.parameters, function.parameters):
            assert (passing, vbtype) in allowed_forms(ctype, pointer), \
                f"{where}: {passing} {name} As {vbtype} cannot carry {ctype} {cname}"
        assert declare.result == result_form(function.result, pointer), f"{where}: result type"
        checked += 1
    assert checked >= len(exports)


def test_branches_use_their_own_pointer_type(declares: List[Declare]) -> None:
    for declare in declares:
        where = f"line {declare.line}: {declare.name}"
        assert declare.branch in ("vba7", "legacy"), f"{where}: outside #If VBA7"
        types = [vbtype for _, _, vbtype in declare.parameters] + [declare.result or ""]
        if declare.branch == "vba7":
            assert declare.ptrsafe, f"{where}: VBA7 Declares are PtrSafe"
        else:
            assert not declare.ptrsafe and "LongPtr" not in types, f"{where}: VB6 has no PtrSafe or LongPtr"
    names = {branch: sorted((d.name, d.entry, d.lib, len(d.parameters)) for d in declares
                            if d.branch == branch) for branch in ("vba7", "legacy")}
    assert names["vba7"] == names["legacy"], "both branches declare the same functions"


def test_system_declares(declares: List[Declare]) -> None:
    # The helpers' own calls into Windows, with the argument counts of their documentation.
    expected = {"WideCharToMultiByte": 8, "lstrlenA": 1, "RtlMoveMemory": 3, "LoadLibraryW": 1}
    for declare in (d for d in declares if d.lib != "qrkit.dll"):
        assert declare.lib == "kernel32" and not declare.public, f"line {declare.line}"
        assert len(declare.parameters) == expected[declare.name], f"line {declare.line}"


def test_module_structure() -> None:
    text = MODULE.read_text(encoding="utf-8")
    lines = text.splitlines()
    assert lines[0] == 'Attribute VB_Name = "qrkit"'
    assert "Option Explicit" in lines
    assert all(len(line) < 1024 for line in lines), "VBA lines are shorter than 1024 characters"
    assert all(ord(c) < 128 for c in text), "the module is plain ASCII (VBA reads it in the ANSI code page)"
    depth, procedure = 0, None
    for number, line in logical_lines(text):
        stripped = re.sub(r"'.*$", "", line).strip() if not line.strip().startswith("'") else ""
        if re.match(r"#if\b", stripped, re.I):
            depth += 1
        elif re.match(r"#end if\b", stripped, re.I):
            depth -= 1
            assert depth >= 0, f"line {number}: #End If without #If"
        match = re.match(r"(?:(?:Public|Private)\s+)?(Sub|Function)\s+(\w+)", stripped, re.I)
        if match and "declare" not in stripped.lower():
            assert procedure is None or procedure[1] == match.group(2), \
                f"line {number}: {match.group(2)} starts inside {procedure}"
            procedure = (match.group(1).lower(), match.group(2))
        end = re.match(r"End\s+(Sub|Function)$", stripped, re.I)
        if end:
            assert procedure and procedure[0] == end.group(1).lower(), f"line {number}: stray End"
            procedure = None
    assert depth == 0 and procedure is None


DLLS = built_dlls(str(SOURCE_ROOT))


@pytest.mark.skipif(not DLLS, reason="no Windows build (scripts/build-windows.sh makes it)")
@pytest.mark.parametrize("objdump,dll", DLLS, ids=[os.path.basename(os.path.dirname(os.path.dirname(d)))
                                                   for _, d in DLLS])
def test_declares_match_the_dll(declares: List[Declare], objdump: str, dll: str) -> None:
    exported: Dict[str, int] = dll_exports(objdump, dll)
    assert exported == def_exports(str(SOURCE_ROOT)), "the DLL exports qrkit.def, at its ordinals"
    for declare in (d for d in declares if d.lib == "qrkit.dll"):
        assert declare.entry in exported, f"line {declare.line}: {dll} has no export {declare.entry}"
