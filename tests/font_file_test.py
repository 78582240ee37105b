"""The qrkit QR font as the build made it: glyphs, character map, metrics,
names and licence, and byte-identical rebuilds.

Run by ctest (test FontFile) with the build's files named in the environment:
QRKIT_FONT_TTF, QRKIT_FONT_WOFF2, QRKIT_FONT_SOURCE (the C++ source with the
WOFF2 in base64), QRKIT_VERSION and QRKIT_FONT_GENERATOR (make_font.py).

Expected values come from the font string's definition: the sixteen digits
draw their four bits, most significant at the top, one module a quarter of
the em; they are not read back from the generator.
"""

from __future__ import annotations

import base64
import os
import re
import subprocess
import sys
from pathlib import Path
from typing import Dict, List, Tuple

import pytest
from fontTools.pens.boundsPen import BoundsPen
from fontTools.pens.pointInsidePen import PointInsidePen
from fontTools.ttLib import TTFont

UNITS_PER_EM = 1024
MODULE = UNITS_PER_EM // 4
OVERLAP = MODULE // 16
DIGITS = "0123456789ABCDEF"


def environment(name: str) -> str:
    value = os.environ.get(name)
    if not value:
        pytest.skip(f"{name} is not set (ctest sets it)")
    return value


@pytest.fixture(scope="module")
def ttf_path() -> Path:
    return Path(environment("QRKIT_FONT_TTF"))


@pytest.fixture(scope="module")
def font(ttf_path: Path) -> TTFont:
    return TTFont(str(ttf_path))


def glyph_of(font: TTFont, character: str) -> str:
    return font.getBestCmap()[ord(character)]


def dark_modules(font: TTFont, glyph_name: str) -> List[bool]:
    """Whether the centre of each of the four modules, top first, is inked."""
    glyph_set = font.getGlyphSet()
    result = []
    for row in range(4):
        centre = (MODULE / 2, UNITS_PER_EM - row * MODULE - MODULE / 2)
        pen = PointInsidePen(glyph_set, centre)
        glyph_set[glyph_name].draw(pen)
        result.append(pen.getResult())
    return result


def bounds(font: TTFont, glyph_name: str) -> Tuple[float, ...] | None:
    glyph_set = font.getGlyphSet()
    pen = BoundsPen(glyph_set)
    glyph_set[glyph_name].draw(pen)
    return pen.bounds


# The glyph table: each digit's modules from the top, '#' dark.
GLYPH_TABLE: Dict[str, str] = {
    "0": "....", "1": "...#", "2": "..#.", "3": "..##",
    "4": ".#..", "5": ".#.#", "6": ".##.", "7": ".###",
    "8": "#...", "9": "#..#", "A": "#.#.", "B": "#.##",
    "C": "##..", "D": "##.#", "E": "###.", "F": "####",
}


@pytest.mark.parametrize("digit", DIGITS)
def test_each_digit_draws_its_four_bits_most_significant_at_the_top(
    font: TTFont, digit: str
) -> None:
    expected = [mark == "#" for mark in GLYPH_TABLE[digit]]
    assert dark_modules(font, glyph_of(font, digit)) == expected


@pytest.mark.parametrize("digit", DIGITS)
def test_each_digit_is_one_module_wide_and_its_ink_overlaps_by_a_sixteenth(
    font: TTFont, digit: str
) -> None:
    name = glyph_of(font, digit)
    assert font["hmtx"][name][0] == MODULE
    box = bounds(font, name)
    if digit == "0":
        assert box is None
        return
    rows = GLYPH_TABLE[digit]
    top_row = rows.index("#")
    bottom_row = rows.rindex("#")
    assert box == (
        -OVERLAP,
        UNITS_PER_EM - (bottom_row + 1) * MODULE - OVERLAP,
        MODULE + OVERLAP,
        UNITS_PER_EM - top_row * MODULE + OVERLAP,
    )


def test_lower_case_letters_draw_as_upper_case(font: TTFont) -> None:
    cmap = font.getBestCmap()
    for letter in "abcdef":
        assert cmap[ord(letter)] == cmap[ord(letter.upper())]


def test_space_is_one_light_module_and_line_breaks_take_no_room(font: TTFont) -> None:
    cmap = font.getBestCmap()
    assert font["hmtx"][cmap[0x20]][0] == MODULE
    assert bounds(font, cmap[0x20]) is None
    for line_break in (0x0A, 0x0D):
        assert font["hmtx"][cmap[line_break]][0] == 0
        assert bounds(font, cmap[line_break]) is None


def test_nothing_else_is_mapped_and_notdef_is_an_empty_module(font: TTFont) -> None:
    expected = set(map(ord, DIGITS + "abcdef")) | {0x20, 0x0A, 0x0D}
    for table in font["cmap"].tables:
        assert set(table.cmap) == expected, (table.platformID, table.platEncID)
    assert font.getGlyphOrder()[0] == ".notdef"
    assert bounds(font, ".notdef") is None
    assert font["hmtx"][".notdef"][0] == MODULE


def test_line_metrics_are_the_em_in_every_table(font: TTFont) -> None:
    head, hhea, os2 = font["head"], font["hhea"], font["OS/2"]
    assert head.unitsPerEm == UNITS_PER_EM
    assert (hhea.ascent, hhea.descent, hhea.lineGap) == (UNITS_PER_EM, 0, 0)
    assert (os2.sTypoAscender, os2.sTypoDescender, os2.sTypoLineGap) == (
        UNITS_PER_EM, 0, 0)
    assert (os2.usWinAscent, os2.usWinDescent) == (UNITS_PER_EM, 0)
    assert os2.fsSelection & (1 << 7), "USE_TYPO_METRICS"
    assert os2.fsSelection & (1 << 6), "REGULAR"
    assert not os2.fsSelection & 0b100001, "neither italic nor bold"
    assert os2.usWeightClass == 400


def test_no_kerning_ligatures_or_hinting(font: TTFont) -> None:
    for tag in ("kern", "GPOS", "GSUB", "fpgm", "prep", "cvt "):
        assert tag not in font, tag
    assert font["post"].isFixedPitch == 1
    assert font["gasp"].gaspRange == {0xFFFF: 0x000A}


def test_embedding_is_installable(font: TTFont) -> None:
    assert font["OS/2"].fsType == 0


def test_names_version_and_licence(font: TTFont) -> None:
    name = font["name"]
    version = environment("QRKIT_VERSION")
    major, minor, patch = (int(part) for part in version.split("."))
    revision = f"{major}.{minor * 100 + patch:03d}"
    assert name.getDebugName(1) == "qrkit QR"
    assert name.getDebugName(2) == "Regular"
    assert name.getDebugName(4) == "qrkit QR Regular"
    assert name.getDebugName(5) == f"Version {revision}; qrkit {version}"
    assert name.getDebugName(6) == "qrkitQR-Regular"
    assert "SIL Open Font License, Version 1.1" in name.getDebugName(13)
    assert name.getDebugName(14) == "https://openfontlicense.org"
    assert re.match(r"Copyright \d{4} The qrkit Authors", name.getDebugName(0))
    assert abs(font["head"].fontRevision - float(revision)) < 1e-4


def build(directory: Path, extra_environment: Dict[str, str]) -> Dict[str, bytes]:
    generator = environment("QRKIT_FONT_GENERATOR")
    outputs = {
        "ttf": directory / "qrkit-qr.ttf",
        "woff2": directory / "qrkit-qr.woff2",
        "cpp": directory / "qrfont_data.cpp",
    }
    env = dict(os.environ)
    env.update(extra_environment)
    subprocess.run(
        [sys.executable, generator, "--version", environment("QRKIT_VERSION"),
         "--ttf", str(outputs["ttf"]), "--woff2", str(outputs["woff2"]),
         "--cpp-source", str(outputs["cpp"])],
        check=True, env=env,
    )
    return {kind: path.read_bytes() for kind, path in outputs.items()}


def test_two_builds_are_byte_identical_and_equal_the_builds_files(
    tmp_path: Path, ttf_path: Path
) -> None:
    first = build(tmp_path / "first", {})
    second = build(tmp_path / "second", {})
    assert first == second
    assert first["ttf"] == ttf_path.read_bytes()
    assert first["woff2"] == Path(environment("QRKIT_FONT_WOFF2")).read_bytes()
    assert first["cpp"] == Path(environment("QRKIT_FONT_SOURCE")).read_bytes()


def test_source_date_epoch_sets_the_head_dates(tmp_path: Path) -> None:
    files = build(tmp_path, {"SOURCE_DATE_EPOCH": "1700000000"})
    path = tmp_path / "epoch.ttf"
    path.write_bytes(files["ttf"])
    head = TTFont(str(path))["head"]
    # Seconds from 1904-01-01 to 1970-01-01, then the epoch.
    assert head.created == head.modified == 2082844800 + 1700000000


def test_woff2_holds_the_same_font(ttf_path: Path) -> None:
    plain = TTFont(str(ttf_path))
    packed = TTFont(environment("QRKIT_FONT_WOFF2"))
    assert packed.flavor == "woff2"
    assert sorted(plain.keys()) == sorted(packed.keys())
    glyph_set = packed.getGlyphSet()
    for digit in DIGITS:
        name = glyph_of(packed, digit)
        assert packed["hmtx"][name] == plain["hmtx"][name]
        pen = BoundsPen(glyph_set)
        glyph_set[name].draw(pen)
        assert pen.bounds == bounds(plain, name)
    assert packed["hhea"].ascent == plain["hhea"].ascent


def test_cpp_source_holds_the_woff2_in_base64() -> None:
    source = Path(environment("QRKIT_FONT_SOURCE")).read_text(encoding="ascii")
    encoded = "".join(re.findall(r'^\s*"([A-Za-z0-9+/=]*)"', source, re.M))
    woff2 = Path(environment("QRKIT_FONT_WOFF2")).read_bytes()
    assert base64.b64decode(encoded) == woff2
