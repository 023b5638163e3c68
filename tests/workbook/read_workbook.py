#!/usr/bin/python3
"""Prints what a workbook holds, as a reader other than the one that wrote
it sees it: each sheet with its frozen pane, autofilter and column widths,
then every cell that is there with its type, value and number format."""
import datetime
import sys

import openpyxl


def shown(value):
    if isinstance(value, (datetime.time, datetime.datetime)):
        return value.isoformat()
    return repr(value)


def main(path):
    book = openpyxl.load_workbook(path)
    for sheet in book.worksheets:
        widths = ",".join(f"{letter}:{dim.width:g}" for letter, dim in sorted(sheet.column_dimensions.items())
                          if dim.width)
        print(f"sheet {sheet.title} freeze={sheet.freeze_panes} filter={sheet.auto_filter.ref} widths={widths}")
        for row in sheet.iter_rows():
            for cell in row:
                if cell.value is None:
                    continue
                text = f"{cell.coordinate} {cell.data_type} {shown(cell.value)}"
                if cell.number_format != "General":
                    text += f" {cell.number_format}"
                print(text)


if __name__ == "__main__":
    main(sys.argv[1])
