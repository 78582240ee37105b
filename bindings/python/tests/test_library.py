"""The package and the library: where the library is found, the prototypes against the C headers, and
an offline install with pip."""

import ctypes
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path
from typing import Dict

import pytest
from conftest import PACKAGE_ROOT, SOURCE_ROOT
from export_table import c_kind, def_exports, header_functions

import qrkit
from qrkit import _native


def ctypes_kind(ctype) -> tuple:
    """The kind of a ctypes type as c_kind gives it for C types."""
    if ctype in (ctypes.c_void_p, ctypes.c_char_p) or hasattr(ctype, "_type_") and issubclass(
            ctype, ctypes._Pointer):  # pylint: disable=protected-access
        return ("pointer",)
    signed = ctype(-1).value < 0
    return ("int", ctypes.sizeof(ctype) * 8, signed)


def test_prototypes_match_the_headers() -> None:
    functions = header_functions(str(SOURCE_ROOT))
    windows = {name for name, function in functions.items() if function.windows}
    assert set(_native.PROTOTYPES) == windows, "every export of the headers has a prototype"
    assert set(_native.NON_WINDOWS_PROTOTYPES) == set(functions) - windows
    assert set(def_exports(str(SOURCE_ROOT))) == windows, "qrkit.def lists the Windows exports"
    for name, (result, arguments) in {**_native.PROTOTYPES, **_native.NON_WINDOWS_PROTOTYPES}.items():
        function = functions[name]
        assert len(arguments) == len(function.parameters), name
        for (ctype, pname), argument in zip(function.parameters, arguments):
            assert ctypes_kind(argument) == c_kind(ctype)[:3 if c_kind(ctype)[0] == "int" else 1], \
                f"{name}: {pname}"
        assert ctypes_kind(result) == c_kind(function.result)[:3 if c_kind(function.result)[0] == "int"
                                                             else 1], f"{name}: result"


def test_package_version_is_the_library_version() -> None:
    cmake = (SOURCE_ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    version = re.search(r"project\(qrkit VERSION (\S+)", cmake).group(1)
    pyproject = (PACKAGE_ROOT / "pyproject.toml").read_text(encoding="utf-8")
    assert qrkit.__version__ == version
    assert f'version = "{version}"' in pyproject


def run_python(code: str, env: Dict[str, str], cwd: Path) -> subprocess.CompletedProcess:
    clean = {key: value for key, value in os.environ.items()
             if key not in ("LD_LIBRARY_PATH", "QRKIT_LIBRARY", "PYTHONPATH")}
    clean.update(env)
    return subprocess.run([sys.executable, "-c", code], env=clean, cwd=cwd, capture_output=True,
                          text=True, timeout=120, check=False)


PROBE = "import qrkit; s = qrkit.encode('12345'); print(qrkit.library_path()); print(s.version)"


@pytest.fixture(name="library_file")
def fixture_library_file() -> Path:
    return Path(qrkit.library_path())


@pytest.fixture(name="system_has_no_qrkit")
def fixture_system_has_no_qrkit(tmp_path: Path) -> None:
    probe = ("import ctypes, ctypes.util\nfound = ctypes.util.find_library('qrkit')\n"
             "try:\n    ctypes.CDLL('libqrkit.so.0'); found = 'libqrkit.so.0'\nexcept OSError:\n    pass\n"
             "print(found or '')")
    found = run_python(probe, {}, tmp_path).stdout.strip()
    if found:
        pytest.skip(f"a qrkit library is installed on this machine ({found})")


def copy_package(folder: Path) -> Path:
    target = folder / "site" / "qrkit"
    shutil.copytree(PACKAGE_ROOT / "qrkit", target, ignore=shutil.ignore_patterns("__pycache__"))
    return target.parent


@pytest.mark.skipif(sys.platform == "win32", reason="Linux loader")
def test_library_beside_the_package(library_file: Path, system_has_no_qrkit: None,
                                    tmp_path: Path) -> None:
    del system_has_no_qrkit
    site = copy_package(tmp_path)
    shutil.copy(library_file, site / "qrkit" / "libqrkit.so.0")
    done = run_python(PROBE, {"PYTHONPATH": str(site)}, tmp_path)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == [str(site / "qrkit" / "libqrkit.so.0"), "1"]


@pytest.mark.skipif(sys.platform == "win32", reason="Linux loader")
def test_library_through_ld_library_path(library_file: Path, system_has_no_qrkit: None,
                                         tmp_path: Path) -> None:
    del system_has_no_qrkit
    site = copy_package(tmp_path)
    done = run_python(PROBE, {"PYTHONPATH": str(site), "LD_LIBRARY_PATH": str(library_file.parent)},
                      tmp_path)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == [str(library_file), "1"]


def test_library_named_by_qrkit_library(library_file: Path, tmp_path: Path) -> None:
    site = copy_package(tmp_path)
    done = run_python(PROBE, {"PYTHONPATH": str(site), "QRKIT_LIBRARY": str(library_file)}, tmp_path)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == [str(library_file), "1"]
    done = run_python(PROBE, {"PYTHONPATH": str(site), "QRKIT_LIBRARY": str(tmp_path / "none.so")},
                      tmp_path)
    assert done.returncode != 0
    assert "LibraryNotFoundError" in done.stderr and "QRKIT_LIBRARY" in done.stderr


def test_missing_library_is_a_clear_error(system_has_no_qrkit: None, tmp_path: Path) -> None:
    del system_has_no_qrkit
    site = copy_package(tmp_path)
    # The package imports without the library; the first call says what is missing and where it looked.
    done = run_python("import qrkit\ntry:\n    qrkit.encode('A')\nexcept qrkit.LibraryNotFoundError as e:"
                      "\n    print(isinstance(e, OSError)); print(e)", {"PYTHONPATH": str(site)}, tmp_path)
    assert done.returncode == 0, done.stderr
    first, message = done.stdout.split("\n", 1)
    assert first == "True"
    assert "the qrkit library was not found" in message
    assert "libqrkit.so.0" in message and "LD_LIBRARY_PATH" in message and "QRKIT_LIBRARY" in message


def test_pip_installs_offline(library_file: Path, tmp_path: Path) -> None:
    source = tmp_path / "source"
    shutil.copytree(PACKAGE_ROOT, source, ignore=shutil.ignore_patterns(
        "__pycache__", "build", "*.egg-info", ".pytest_cache"))
    target = tmp_path / "installed"
    done = subprocess.run([sys.executable, "-m", "pip", "install", "--no-build-isolation", "--no-deps",
                           "--no-index", "--disable-pip-version-check", "--target", str(target),
                           str(source)], capture_output=True, text=True, timeout=300, check=False)
    assert done.returncode == 0, done.stdout + done.stderr
    assert (target / "qrkit" / "py.typed").exists()
    done = run_python(PROBE, {"PYTHONPATH": str(target), "QRKIT_LIBRARY": str(library_file)},
                      tmp_path)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split()[1] == "1"
