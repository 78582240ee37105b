#!/usr/bin/python3
"""Builds the qrkit QR font: one Regular face as TrueType and WOFF2.

The font draws qrkit's font strings. Each of the sixteen hexadecimal digits is
one module wide and four modules high and shows the four bits of its value,
the most significant at the top and a set bit dark; 'a'-'f' draw as 'A'-'F'.
The space is one light module, CR and LF take no room, and every other
character falls to the empty .notdef, which is one light module wide so that
each character still takes one column.

Every run of dark modules reaches 1/16 module beyond its edges on every side,
so that dark modules of neighbouring glyphs and lines overlap a little. Text
engines place glyphs and lines at whole pixels; without the overlap, modules
that meet at a fraction of a pixel leave light hairlines between them, which
at screen sizes stop readers. Advances and line metrics are whole modules.

The em is the four-module band: ascent plus descent is the em, there is no
line gap, and hhea, OS/2 typo and OS/2 win metrics say the same with
USE_TYPO_METRICS set, so lines set with single line spacing stack without
gaps or overlaps.

The output is deterministic: the head dates come from SOURCE_DATE_EPOCH when
it is set, else from a fixed date, and nothing else depends on the machine.

Usage:
  make_font.py --version 0.1.0 --ttf qrkit-qr.ttf --woff2 qrkit-qr.woff2 \
      [--cpp-source qrfont_data.cpp]

--cpp-source also writes a C++ source file that holds the WOFF2 in base64,
for programs that embed the font as a data URI.
"""

from __future__ import annotations

import argparse
import base64
import io
import os
import sys
from typing import Dict, List, Sequence, Tuple

from fontTools.fontBuilder import FontBuilder
from fontTools.misc.timeTools import timestampSinceEpoch
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import TTFont, newTable
from fontTools.ttLib.tables._g_l_y_f import Glyph

FAMILY = "qrkit QR"
STYLE = "Regular"
POSTSCRIPT_NAME = "qrkitQR-Regular"
VENDOR = "QRKT"
COPYRIGHT = "Copyright 2025 The qrkit Authors"
LICENSE = (
    "This Font Software is licensed under the SIL Open Font License, "
    "Version 1.1. This license is available with a FAQ at: "
    "https://openfontlicense.org"
)
LICENSE_URL = "https://openfontlicense.org"
DESCRIPTION = (
    "Sets qrkit font strings as QR Code and Micro QR Code symbols: each "
    "hexadecimal digit is one module wide and four modules high, the most "
    "significant bit at the top, a set bit dark."
)

UNITS_PER_EM = 1024
MODULE = UNITS_PER_EM // 4  # a module is a quarter of the em
ASCENT = UNITS_PER_EM  # the band stands on the baseline
DESCENT = 0
# How far a dark run reaches beyond its modules on every side.
OVERLAP = MODULE // 16

# The head dates when SOURCE_DATE_EPOCH is not set: 2025-01-01T00:00:00Z.
DEFAULT_EPOCH = 1735689600

DIGIT_NAMES = [
    "zero", "one", "two", "three", "four", "five", "six", "seven",
    "eight", "nine", "A", "B", "C", "D", "E", "F",
]
LINE_BREAK = "nonmarkingreturn"
GLYPH_ORDER = [".notdef", "space", LINE_BREAK] + DIGIT_NAMES


def dark_runs(value: int) -> List[Tuple[int, int]]:
    """The runs of dark modules of a digit, as (first row, row count).

    Row 0 is the top module, which shows the most significant bit.
    """
    runs: List[Tuple[int, int]] = []
    row = 0
    while row < 4:
        if value & (8 >> row):
            first = row
            while row < 4 and value & (8 >> row):
                row += 1
            runs.append((first, row - first))
        else:
            row += 1
    return runs


def run_rectangle(first: int, count: int) -> Tuple[int, int, int, int]:
    """The outline of a dark run as (left, bottom, right, top) in font units."""
    top = ASCENT - first * MODULE + OVERLAP
    bottom = ASCENT - (first + count) * MODULE - OVERLAP
    return -OVERLAP, bottom, MODULE + OVERLAP, top


def digit_glyph(value: int) -> Glyph:
    """One module wide, four high: one rectangle per run of dark modules."""
    pen = TTGlyphPen(None)
    for first, count in dark_runs(value):
        left, bottom, right, top = run_rectangle(first, count)
        # TrueType fills contours that run clockwise.
        pen.moveTo((left, bottom))
        pen.lineTo((left, top))
        pen.lineTo((right, top))
        pen.lineTo((right, bottom))
        pen.closePath()
    return pen.glyph()


def empty_glyph() -> Glyph:
    return TTGlyphPen(None).glyph()


def character_map() -> Dict[int, str]:
    cmap: Dict[int, str] = {0x20: "space", 0x0A: LINE_BREAK, 0x0D: LINE_BREAK}
    for value, name in enumerate(DIGIT_NAMES):
        character = "0123456789ABCDEF"[value]
        cmap[ord(character)] = name
        if character.isalpha():
            cmap[ord(character.lower())] = name
    return cmap


def font_revision(version: str) -> Tuple[float, str]:
    """head.fontRevision and its text for a version M.m.p: M.mpp."""
    parts = [int(part) for part in version.split(".")]
    while len(parts) < 3:
        parts.append(0)
    major, minor, patch = parts[:3]
    text = f"{major}.{minor * 100 + patch:03d}"
    return float(text), text


def build_font(version: str, epoch: int) -> TTFont:
    revision, revision_text = font_revision(version)
    builder = FontBuilder(UNITS_PER_EM, isTTF=True)
    # Keep the dates given below when the font is written.
    builder.font.recalcTimestamp = False
    builder.setupGlyphOrder(GLYPH_ORDER)
    builder.setupCharacterMap(character_map())
    glyphs = {".notdef": empty_glyph(), "space": empty_glyph(), LINE_BREAK: empty_glyph()}
    for value, name in enumerate(DIGIT_NAMES):
        glyphs[name] = digit_glyph(value)
    builder.setupGlyf(glyphs)
    glyf = builder.font["glyf"]
    metrics = {}
    for name in GLYPH_ORDER:
        advance = 0 if name == LINE_BREAK else MODULE
        metrics[name] = (advance, getattr(glyf[name], "xMin", 0))
    builder.setupHorizontalMetrics(metrics)
    builder.setupHorizontalHeader(ascent=ASCENT, descent=-DESCENT, lineGap=0)
    timestamp = timestampSinceEpoch(epoch)
    builder.setupHead(
        unitsPerEm=UNITS_PER_EM,
        fontRevision=revision,
        created=timestamp,
        modified=timestamp,
        # Baseline at y=0, left sidebearing at x=0, no instructions that
        # depend on the size.
        flags=0b11,
        lowestRecPPEM=4,
    )
    builder.setupNameTable(
        {
            "copyright": COPYRIGHT,
            "familyName": FAMILY,
            "styleName": STYLE,
            "uniqueFontIdentifier": f"{revision_text};{VENDOR};{POSTSCRIPT_NAME}",
            "fullName": f"{FAMILY} {STYLE}",
            "version": f"Version {revision_text}; qrkit {version}",
            "psName": POSTSCRIPT_NAME,
            "manufacturer": "The qrkit Authors",
            "description": DESCRIPTION,
            "licenseDescription": LICENSE,
            "licenseInfoURL": LICENSE_URL,
        }
    )
    builder.setupOS2(
        version=4,
        xAvgCharWidth=MODULE,
        usWeightClass=400,
        usWidthClass=5,
        fsType=0,  # installable: documents and PDFs may embed it
        achVendID=VENDOR,
        # Regular (bit 6) and USE_TYPO_METRICS (bit 7).
        fsSelection=(1 << 6) | (1 << 7),
        sTypoAscender=ASCENT,
        sTypoDescender=-DESCENT,
        sTypoLineGap=0,
        usWinAscent=ASCENT,
        usWinDescent=DESCENT,
        sxHeight=ASCENT,
        sCapHeight=ASCENT,
        usDefaultChar=0,
        usBreakChar=0x20,
        usMaxContext=0,
        ulUnicodeRange1=1,  # Basic Latin
        ulCodePageRange1=1,  # Latin 1, so Windows offers the font for Western text
        ySubscriptXSize=MODULE * 2,
        ySubscriptYSize=MODULE * 2,
        ySubscriptYOffset=0,
        ySuperscriptXSize=MODULE * 2,
        ySuperscriptYSize=MODULE * 2,
        ySuperscriptYOffset=MODULE * 2,
        yStrikeoutSize=MODULE // 4,
        yStrikeoutPosition=MODULE * 2,
        # Latin Pictorial, monospaced.
        panose=dict(
            bFamilyType=5, bSerifStyle=0, bWeight=0, bProportion=9,
            bContrast=0, bStrokeVariation=0, bArmStyle=0, bLetterForm=0,
            bMidline=0, bXHeight=0,
        ),
    )
    builder.setupPost(
        keepGlyphNames=True,
        isFixedPitch=1,
        underlinePosition=-MODULE // 4,
        underlineThickness=MODULE // 4,
    )
    # Smooth at every size and never grid-fit: the outlines are whole modules.
    gasp = newTable("gasp")
    gasp.version = 1
    gasp.gaspRange = {0xFFFF: 0x000A}
    builder.font["gasp"] = gasp
    return builder.font


def font_bytes(font: TTFont, flavor: str | None) -> bytes:
    font.flavor = flavor
    out = io.BytesIO()
    font.save(out, reorderTables=True)
    return out.getvalue()


def cpp_source(woff2: bytes) -> str:
    """A C++ source file holding the WOFF2 in base64."""
    text = base64.b64encode(woff2).decode("ascii")
    lines = [text[i:i + 96] for i in range(0, len(text), 96)]
    body = "\n".join(f'    "{line}"' for line in lines)
    return (
        "// Generated by font/make_font.py from the qrkit QR font; do not edit.\n"
        '#include "cli/qrfont_data.h"\n'
        "\n"
        "namespace qrkit_cli {\n"
        "\n"
        "const char kQrFontWoff2Base64[] =\n"
        f"{body};\n"
        "\n"
        "}  // namespace qrkit_cli\n"
    )


def write_file(path: str, data: bytes) -> None:
    """Writes data through a temporary file, so a reader never sees half a font."""
    directory = os.path.dirname(path)
    if directory:
        os.makedirs(directory, exist_ok=True)
    temporary = path + ".tmp"
    with open(temporary, "wb") as out:
        out.write(data)
    os.replace(temporary, path)


def source_epoch() -> int:
    value = os.environ.get("SOURCE_DATE_EPOCH", "")
    if not value:
        return DEFAULT_EPOCH
    if not value.isdigit():
        raise SystemExit(f"make_font.py: SOURCE_DATE_EPOCH is not a number: {value!r}")
    return int(value)


def main(arguments: Sequence[str]) -> int:
    parser = argparse.ArgumentParser(description="Builds the qrkit QR font.")
    parser.add_argument("--version", required=True, help="qrkit's version, M.m.p")
    parser.add_argument("--ttf", required=True, help="the TrueType file to write")
    parser.add_argument("--woff2", help="the WOFF2 file to write")
    parser.add_argument("--cpp-source", help="a C++ source with the WOFF2 in base64")
    options = parser.parse_args(arguments)
    if options.cpp_source and not options.woff2:
        parser.error("--cpp-source needs --woff2")

    font = build_font(options.version, source_epoch())
    write_file(options.ttf, font_bytes(font, None))
    if options.woff2:
        woff2 = font_bytes(font, "woff2")
        write_file(options.woff2, woff2)
        if options.cpp_source:
            write_file(options.cpp_source, cpp_source(woff2).encode("ascii"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
