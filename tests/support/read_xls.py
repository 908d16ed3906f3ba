#!/usr/bin/env python3
"""Reads a workbook with xlrd and prints its first sheet for the tests.

Output: "sheets N", "rows N", then one line per row: its cells as
hex-encoded UTF-8 separated by blanks, "-" for an empty cell, always six
columns or as many as the sheet has, whichever is more. The formatting
records are parsed too (formatting_info), so a malformed XF or FONT fails.
"""
import sys

import xlrd


def main():
    book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
    sheet = book.sheet_by_index(0)
    cols = max(6, sheet.ncols)
    out = [f"sheets {book.nsheets}", f"rows {sheet.nrows}"]
    for r in range(sheet.nrows):
        cells = []
        for c in range(cols):
            if c >= sheet.row_len(r) or sheet.cell_type(r, c) in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                cells.append("-")
            else:
                value = sheet.cell_value(r, c)
                if not isinstance(value, str):
                    value = f"<not text: {value!r}>"
                cells.append(value.encode("utf-8").hex())
        out.append(" ".join(cells))
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
