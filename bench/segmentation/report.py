#!/usr/bin/python3
"""The segmentation measurement's helpers.

  report.py hex corpus.jsonl > corpus.hex
      the records as the measuring program reads them: category, a tab, the record's bytes in
      hexadecimal (Shift JIS for Japanese records, else UTF-8).
  report.py report qrkit.tsv npm.tsv
      total bits and versions of the greedy and the optimal segmentation and of the npm qrcode
      package, per level and per category.
"""

import csv
import json
import sys
from collections import defaultdict
from typing import Dict, List, Sequence

Row = Dict[str, str]


def write_hex(corpus: str) -> int:
    with open(corpus, encoding="utf-8") as lines:
        for line in lines:
            record = json.loads(line)
            data = record["text"].encode("shift_jis" if record["sjis"] else "utf-8")
            sys.stdout.write(f"{record['category']}\t{data.hex()}\n")
    return 0


def read_tsv(path: str) -> List[Row]:
    with open(path, encoding="utf-8", newline="") as table:
        return list(csv.DictReader(table, delimiter="\t"))


def value(row: Row, field: str) -> int:
    return int(row[field])


def total(rows: Sequence[Row], field: str) -> int:
    return sum(value(row, field) for row in rows)


def count(rows: Sequence[Row], smaller: str, larger: str) -> int:
    """The rows whose field smaller is below their field larger."""
    return sum(value(row, smaller) < value(row, larger) for row in rows)


def percent(part: float, whole: float) -> str:
    return f"{100.0 * part / whole:.1f}%" if whole else "-"


def print_table(header: Sequence[str], lines: Sequence[Sequence[object]]) -> None:
    widths = [max(len(str(cell)) for cell in column) for column in zip(header, *lines)]
    for line in [header, *lines]:
        cells = [str(cell).rjust(width) if i else str(cell).ljust(width)
                 for i, (cell, width) in enumerate(zip(line, widths))]
        print("  " + "  ".join(cells))


def level_line(level: str, rows: Sequence[Row]) -> List[object]:
    greedy, optimal = total(rows, "greedy_bits"), total(rows, "optimal_bits")
    return [level, greedy, optimal, percent(greedy - optimal, greedy), total(rows, "npm_bits"),
            count(rows, "optimal_version", "greedy_version"),
            count(rows, "npm_version", "greedy_version"),
            count(rows, "optimal_version", "npm_version"),
            count(rows, "npm_version", "optimal_version"),
            count(rows, "optimal_bits", "npm_bits"), count(rows, "npm_bits", "optimal_bits")]


def report(qrkit_path: str, npm_path: str) -> int:
    qrkit, npm = read_tsv(qrkit_path), read_tsv(npm_path)
    if len(qrkit) != len(npm):
        print(f"row counts differ: {len(qrkit)} against {len(npm)}", file=sys.stderr)
        return 1
    rows = []
    for ours, theirs in zip(qrkit, npm):
        if (ours["category"], ours["level"]) != (theirs["category"], theirs["level"]):
            print("rows out of step", ours, theirs, file=sys.stderr)
            return 1
        rows.append({**ours, **theirs})
    fitting = [r for r in rows if value(r, "greedy_version") > 0 and value(r, "npm_version") > 0]

    categories = sorted(set(r["category"] for r in rows))
    print(f"Corpus: {len(rows) // 4} records, {len(categories)} categories, levels L M Q H")
    print("Bits: the segment bits of the symbols made. a<b: records whose symbol by a has a "
          "smaller version\nthan by b; bits a<b: records with fewer segment bits by a.\n")
    header = ["level", "greedy bits", "optimal bits", "saved", "npm bits", "opt<greedy",
              "npm<greedy", "opt<npm", "npm<opt", "bits opt<npm", "bits npm<opt"]
    levels = [level_line(level, [r for r in fitting if r["level"] == level]) for level in "LMQH"]
    print_table(header, levels + [level_line("all", fitting)])
    if len(fitting) < len(rows):
        left_out = len(rows) - len(fitting)
        print(f"  ({left_out} record-levels fit no symbol one way and are left out)")

    print("\nPer category at level M:")
    by_category: Dict[str, List[Row]] = defaultdict(list)
    for r in fitting:
        if r["level"] == "M":
            by_category[r["category"]].append(r)
    print_table(["category"] + header[1:],
                [level_line(category, at) for category, at in by_category.items()])

    micro_greedy = sum(value(r, "micro_greedy_version") > 0 for r in rows)
    micro_optimal = sum(value(r, "micro_optimal_version") > 0 for r in rows)
    micro_smaller = sum(0 < value(r, "micro_optimal_version") < value(r, "micro_greedy_version")
                        for r in rows)
    micro_new = sum(value(r, "micro_optimal_version") > 0 and value(r, "micro_greedy_version") == 0
                    for r in rows)
    print(f"\nMicro QR Code (all levels): {micro_greedy} record-levels fit greedily, "
          f"{micro_optimal} optimally; {micro_smaller} on a smaller version, "
          f"{micro_new} that only the optimal division fits")

    worse = [r for r in rows
             if value(r, "optimal_version") > value(r, "greedy_version") > 0
             or (value(r, "optimal_version") == value(r, "greedy_version")
                 and value(r, "optimal_bits") > value(r, "greedy_bits"))]
    print(f"Optimal worse than greedy anywhere: {len(worse)}")
    return 1 if worse else 0


def main() -> int:
    if len(sys.argv) == 3 and sys.argv[1] == "hex":
        return write_hex(sys.argv[2])
    if len(sys.argv) == 4 and sys.argv[1] == "report":
        return report(sys.argv[2], sys.argv[3])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
