#!/usr/bin/env python3
"""Prints the first sheet of a workbook read with xlrd: a line per row, at
least six cells, each as hex-encoded UTF-8 or "-" when empty. The formatting
records are parsed too, so a malformed XF or FONT fails."""
import sys

import xlrd

EMPTY = (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK)

sheet = xlrd.open_workbook(sys.argv[1], formatting_info=True).sheet_by_index(0)
for r in range(sheet.nrows):
    cells = []
    for c in range(max(6, sheet.ncols)):
        value = "" if c >= sheet.row_len(r) or sheet.cell_type(r, c) in EMPTY else sheet.cell_value(r, c)
        if not isinstance(value, str):
            value = f"<not text: {value!r}>"
        cells.append(value.encode("utf-8").hex() or "-")
    print(" ".join(cells))
