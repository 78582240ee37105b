#!/usr/bin/python3
"""Reads symbols back from image files with zxing-cpp (Debian's python3-zxing-cpp), for the tests of
the language kits.

PNG and BMP are read with Pillow; SVG is rendered with rsvg-convert, EPS with ghostscript and EMF with
emf2svg-conv and rsvg-convert. The pictures of qrkit have no quiet zone, so a light border of a
quarter of the picture's width (more than four modules of any symbol) is added before decoding.

As a program it checks a manifest written by a kit's test program: one row a line,
    name<TAB>image file<TAB>expected bytes in hex<TAB>qr|micro[<TAB>module rows, '/' between rows]
and prints one line per row; the exit status is 1 when any row fails.
    read_symbol.py MANIFEST
"""

from __future__ import annotations

import os
import subprocess
import sys
import tempfile
from typing import List, Optional

import zxingcpp
from PIL import Image, ImageOps

_MICRO = getattr(zxingcpp.BarcodeFormat, "MicroQRCode", None) or getattr(zxingcpp.BarcodeFormat,
                                                                          "MircoQRCode")


def _run(command: List[str]) -> None:
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def load_picture(path: str) -> Image.Image:
    """The picture of an image file as a grey-scale Pillow image, rendered first when it is vector."""
    extension = os.path.splitext(path)[1].lower()
    if extension in (".png", ".bmp"):
        with Image.open(path) as image:
            return image.convert("L")
    with tempfile.TemporaryDirectory() as scratch:
        png = os.path.join(scratch, "picture.png")
        if extension == ".svg":
            _run(["rsvg-convert", "-b", "white", "-d", "150", "-p", "150", "-o", png, path])
        elif extension == ".eps":
            _run(["gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-dEPSCrop", "-sDEVICE=pnggray",
                  "-r150", "-o", png, path])
        elif extension == ".emf":
            svg = os.path.join(scratch, "picture.svg")
            _run(["emf2svg-conv", "-i", path, "-o", svg])
            _run(["rsvg-convert", "-b", "white", "-z", "2", "-o", png, svg])
        else:
            raise ValueError(f"no reader for {path}")
        with Image.open(png) as image:
            return image.convert("L")


def read_picture(picture: Image.Image, micro: bool) -> Optional[bytes]:
    """The bytes zxing-cpp reads from a picture of one symbol without quiet zone, or None."""
    border = max(8, picture.width // 4)
    framed = ImageOps.expand(picture, border=border, fill=255)
    result = zxingcpp.read_barcode(framed, formats=_MICRO if micro else zxingcpp.BarcodeFormat.QRCode)
    return None if result is None else bytes(result.bytes)


def read_symbol(path: str, micro: bool = False) -> Optional[bytes]:
    """The bytes zxing-cpp reads from the symbol in an image file, or None."""
    return read_picture(load_picture(path), micro)


def matrix_picture(rows: List[str], module_size: int = 4) -> Image.Image:
    """A picture of module rows ('1' dark), module_size pixels a module, for reading them back."""
    size = len(rows)
    image = Image.new("L", (size, size), 255)
    image.putdata([0 if module == "1" else 255 for row in rows for module in row])
    return image.resize((size * module_size, size * module_size), Image.NEAREST)


def picture_modules(picture: Image.Image, size: int) -> List[str]:
    """The module rows of a picture that covers exactly size x size modules: the colour at each
    module's centre ('1' dark)."""
    rows = []
    for row in range(size):
        y = int((row + 0.5) * picture.height / size)
        rows.append("".join("1" if picture.getpixel((int((column + 0.5) * picture.width / size), y)) < 128
                            else "0" for column in range(size)))
    return rows


def check_manifest(manifest: str) -> int:
    folder = os.path.dirname(os.path.abspath(manifest))
    failures = 0
    with open(manifest, encoding="utf-8") as lines:
        for line in lines:
            fields = line.rstrip("\n").split("\t")
            if len(fields) < 4:
                continue
            name, image, expected, kind = fields[:4]
            micro = kind == "micro"
            path = os.path.join(folder, image)
            problems = []
            picture = load_picture(path)
            got = read_picture(picture, micro)
            if got is None:
                problems.append("zxing-cpp reads nothing")
            elif got.hex() != expected.lower():
                problems.append(f"zxing-cpp reads {got.hex()}, expected {expected.lower()}")
            if len(fields) > 4 and fields[4]:
                rows = fields[4].split("/")
                if picture_modules(picture, len(rows)) != rows:
                    problems.append("the picture's modules differ from the symbol's matrix")
                got_matrix = read_picture(matrix_picture(rows), micro)
                if got_matrix is None or got_matrix.hex() != expected.lower():
                    problems.append("the matrix does not read back as the data")
            if problems:
                failures += 1
                print(f"FAIL {name} ({image}): " + "; ".join(problems))
            else:
                print(f"ok   {name} ({image})")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(check_manifest(sys.argv[1]))
