#!/usr/bin/python3
"""Compares the cells of two workbooks as tests/workbook/read_workbook.py
reads them: sheets, panes, filters, widths, and every cell's place, type,
value and number format must be the same.

Number cells may differ in their last bits only: Debian's libxlsxwriter
prints a number with 16 significant digits (%.16G), the Windows build the
shortest text that reads back as the same number. Two numbers count as the
same when they are no further apart than what 16 digits can lose (half a
unit in the 16th digit) plus one unit in the last place.

usage: compare-workbooks.py EXPECTED.xlsx ACTUAL.xlsx
Prints the first difference and exits 1, or prints how many number cells
differed in their last bits and exits 0."""
import math
import os
import subprocess
import sys

READER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "workbook", "read_workbook.py")


def cells(path):
    return subprocess.run([sys.executable, READER, path], check=True, capture_output=True,
                          text=True).stdout.splitlines()


def close_numbers(a, b):
    """Whether the texts are numbers within what %.16G printing can lose."""
    try:
        x, y = float(a), float(b)
    except ValueError:
        return False
    if x == y:
        return True
    largest = max(abs(x), abs(y))
    digit = 10.0 ** (math.floor(math.log10(largest)) - 15)
    return abs(x - y) <= digit / 2 + math.ulp(largest)


def same_cell(expected, actual):
    """Whether two lines of the reader differ at most in a number's last bits."""
    e, a = expected.split(" "), actual.split(" ")
    return (len(e) == len(a) and len(e) >= 3 and e[1] == "n" and e[:2] == a[:2] and e[3:] == a[3:]
            and close_numbers(e[2], a[2]))


def main(expected_path, actual_path):
    expected, actual = cells(expected_path), cells(actual_path)
    nearly = 0
    for number, (e, a) in enumerate(zip(expected, actual), 1):
        if e == a:
            continue
        if not same_cell(e, a):
            print(f"compare-workbooks: line {number} of the reader differs:\n  {expected_path}: {e}\n"
                  f"  {actual_path}: {a}", file=sys.stderr)
            return 1
        nearly += 1
    if len(expected) != len(actual):
        print(f"compare-workbooks: {expected_path} reads as {len(expected)} lines, {actual_path} as {len(actual)}",
              file=sys.stderr)
        return 1
    print(f"{len(expected)} lines alike; {nearly} number cells differ in their last bits only")
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        print("usage: compare-workbooks.py EXPECTED.xlsx ACTUAL.xlsx", file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2]))
